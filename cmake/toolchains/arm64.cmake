# Cross build for Debian's arm64 with its own toolchain (crossbuild-essential-arm64) and
# the multiarch development packages (scripts/install-deps --arch arm64). The test
# programs run under qemu's user emulation, which ctest starts through the emulator below.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(VORN_DEBIAN_ARCH arm64)
set(VORN_TRIPLET aarch64-linux-gnu)
set(VORN_QEMU_NAME qemu-aarch64-static)
include(${CMAKE_CURRENT_LIST_DIR}/DebianCross.cmake)
