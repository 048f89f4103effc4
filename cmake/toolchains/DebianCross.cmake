# What every Debian cross build shares, for the toolchain files beside this one: the
# compilers named by the GNU triplet, libraries and headers from the multiarch folders
# only, pkg-config reading the foreign architecture's .pc files, and qemu's user
# emulation to run what was built. The foreign loader and libraries are the multiarch
# packages' own (libc6:ARCH and the rest), at the paths the programs name, so a test and
# every program it starts (through the kernel's binfmt handler) run the same way.
set(CMAKE_C_COMPILER ${VORN_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${VORN_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${VORN_TRIPLET})

set(CMAKE_FIND_ROOT_PATH /usr/${VORN_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
# Headers and libraries come from the multiarch folders below /usr as well as from
# /usr/TRIPLET: BOTH keeps /usr's arch-independent headers (Asio, nlohmann/json, CLI11)
# in reach, and CMAKE_LIBRARY_ARCHITECTURE makes the library search prefer lib/TRIPLET.
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/${VORN_TRIPLET}/pkgconfig:/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

find_program(VORN_QEMU NAMES ${VORN_QEMU_NAME})
if(VORN_QEMU)
    # VORN_EMULATED tells the tests, which check the few things the emulator cannot do
    # as a real machine would (they say which when they leave them out).
    set(CMAKE_CROSSCOMPILING_EMULATOR ${VORN_QEMU} -E VORN_EMULATED=1)
endif()
