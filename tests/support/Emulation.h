#pragma once
// Whether the tests run under qemu's user emulation (a cross build's ctest starts them
// with VORN_EMULATED set). Everything there is several times slower, and a program that
// cannot be started looks like one that ran and exited with status 127: the emulator
// turns posix_spawn's shared-memory vfork into a plain fork, so the child's exec error
// never reaches the parent.

#include <cstdlib>

namespace vorn::test {

inline bool emulated() { return std::getenv("VORN_EMULATED") != nullptr; }

inline constexpr const char* kNoSpawnErrors =
    "under qemu's user emulation a program that cannot start exits with status 127";

} // namespace vorn::test
