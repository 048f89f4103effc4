# Cross build for Debian's armhf with its own toolchain (crossbuild-essential-armhf) and
# the multiarch development packages (scripts/install-deps --arch armhf). The test
# programs run under qemu's user emulation, which ctest starts through the emulator below.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(VORN_DEBIAN_ARCH armhf)
set(VORN_TRIPLET arm-linux-gnueabihf)
set(VORN_QEMU_NAME qemu-arm-static)
include(${CMAKE_CURRENT_LIST_DIR}/DebianCross.cmake)
