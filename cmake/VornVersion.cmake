# The version that the programs report: the project version, and as build number the
# count of commits in the checkout when it was configured. Outside a git checkout (a
# source tarball) there is no build number unless the packager gives one with
# -DVORN_BUILD_NUMBER=N.
set(VORN_BUILD_NUMBER "" CACHE STRING "Build number (default: the commit count of the checkout)")
set(VORN_VERSION_BUILD "${VORN_BUILD_NUMBER}")
if(VORN_VERSION_BUILD STREQUAL "")
    find_package(Git QUIET)
    if(Git_FOUND)
        execute_process(
            COMMAND "${GIT_EXECUTABLE}" rev-list --count HEAD
            WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
            OUTPUT_VARIABLE VORN_VERSION_BUILD
            OUTPUT_STRIP_TRAILING_WHITESPACE
            ERROR_QUIET
            RESULT_VARIABLE gitStatus)
        if(NOT gitStatus EQUAL 0 OR NOT VORN_VERSION_BUILD MATCHES "^[0-9]+$")
            set(VORN_VERSION_BUILD "")
        endif()
    endif()
endif()

# The product's web address, shown in the desktop window's title row when set.
set(VORN_HOMEPAGE "" CACHE STRING "Web address shown in the desktop window (default: none)")

configure_file("${CMAKE_CURRENT_LIST_DIR}/VornVersion.h.in"
               "${PROJECT_BINARY_DIR}/generated/VornVersion.h" @ONLY)
# Programs link this to include "VornVersion.h"; only they recompile when it changes.
add_library(vornversion INTERFACE)
target_include_directories(vornversion INTERFACE "${PROJECT_BINARY_DIR}/generated")
