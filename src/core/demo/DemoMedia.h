#pragma once
// Sounds and pictures for the demo library, made by the program itself so that the core
// needs no media library.

#include <cstdint>
#include <string>

namespace vorn::DemoMedia {

/// A short chime as the card plays it: unsigned 8-bit mono at 21973 Hz, no zero byte.
std::string chimePcm();
/// A ready SHR screen: 16 colour bands, each line with its own palette (32712 bytes).
std::string rainbowShr();
/// A 24-bit BMP picture of a moon base under a starry sky.
std::string moonBaseBmp(int width, int height);

} // namespace vorn::DemoMedia
