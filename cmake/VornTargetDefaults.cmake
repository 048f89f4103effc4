# Compiler settings shared by every target of ours; third-party headers come in as SYSTEM.
#
# Warnings are errors only where VORN_WERROR is on (the development presets): a
# distribution's compiler or flags must not break a release build over a new warning.
#
# The hardening is the one Debian's dpkg-buildflags asks for: fortified libc calls (which
# need the optimiser, so optimised configurations only), a strong stack protector, stack
# clash protection, control-flow protection where the target has it, position-independent
# executables and full RELRO. A packager's own _FORTIFY_SOURCE level wins over ours.
include(CheckCXXCompilerFlag)

# 64-bit file offsets: on a 32-bit system (armhf) off_t and the file calls are otherwise
# 32 bits wide, and images over 2 GB or journal offsets past it break. Everything of ours
# is built with it, so no interface sees two sizes of off_t. (64-bit systems have nothing
# else.)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    add_compile_definitions(_FILE_OFFSET_BITS=64)
endif()
include(CheckPIESupported)

option(VORN_WERROR "Treat compiler warnings as errors" OFF)
# A whole build from nothing (CI, a package) spends most of its time parsing the same
# headers again for every source file; compiled in batches, the program's libraries build
# in about half the time. A developer's one-file rebuild would recompile its whole batch,
# so it is off unless asked for, by this option or by VORN_UNITY_BUILD=ON in the
# environment of the first configure; the sanitizer, cross and package builds, which are
# built whole, ask for it, so two helpers of the same name in anonymous namespaces of one
# library fail there. The tests stay one file per unit: their files repeat the same small
# constants in anonymous namespaces.
set(vorn_unity_default OFF)
if("$ENV{VORN_UNITY_BUILD}")
    set(vorn_unity_default ON)
endif()
option(VORN_UNITY_BUILD "Compile the program's own sources in batches" ${vorn_unity_default})
option(VORN_HARDENING "Build with the distribution hardening flags" ON)

set(VORN_HARDENING_COMPILE_OPTIONS "")
set(VORN_HARDENING_LINK_OPTIONS "")
if(VORN_HARDENING)
    set(CMAKE_POSITION_INDEPENDENT_CODE ON)
    check_pie_supported(LANGUAGES CXX)
    list(APPEND VORN_HARDENING_COMPILE_OPTIONS -fstack-protector-strong -Wformat -Wformat-security)
    foreach(flag -fstack-clash-protection -fcf-protection)
        string(MAKE_C_IDENTIFIER "VORN_HAS${flag}" probe)
        check_cxx_compiler_flag(${flag} ${probe})
        if(${probe})
            list(APPEND VORN_HARDENING_COMPILE_OPTIONS ${flag})
        endif()
    endforeach()
    if(NOT CMAKE_CXX_FLAGS MATCHES "_FORTIFY_SOURCE")
        list(APPEND VORN_HARDENING_COMPILE_OPTIONS
             "$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-D_FORTIFY_SOURCE=2>")
    endif()
    list(APPEND VORN_HARDENING_LINK_OPTIONS -Wl,-z,relro,-z,now)
endif()

function(vorn_target_defaults target)
    target_compile_options(${target} PRIVATE -Wall -Wextra ${VORN_HARDENING_COMPILE_OPTIONS})
    if(VORN_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
    target_link_options(${target} PRIVATE ${VORN_HARDENING_LINK_OPTIONS})
endfunction()

function(vorn_unity_build target)
    if(VORN_UNITY_BUILD)
        set_target_properties(${target} PROPERTIES UNITY_BUILD ON)
    endif()
endfunction()
