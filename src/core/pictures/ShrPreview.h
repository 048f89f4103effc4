#pragma once
// Decodes an SHR screen file into an ordinary RGBA picture, exactly as the card shows it.
//
// Layout (32712 bytes): 200 lines of 160 bytes of pixels (two 4-bit colour numbers per
// byte, left pixel in the high nibble); 200 line control bytes (low four bits: the line's
// palette); 16 palettes of 16 colours of 2 bytes, $0RGB little-endian.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace vorn {

/// A picture as red, green, blue, alpha bytes, top line first.
struct RgbaImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
    bool operator==(const RgbaImage&) const = default;
};

namespace ShrPreview {

inline constexpr int width = 320;
inline constexpr int height = 200;
inline constexpr std::size_t bytes = 32712;

/// The decoded screen; absent when fewer than 32712 bytes are given (more are ignored).
std::optional<RgbaImage> decode(std::string_view shr);
/// The decoded screen of a file; absent when it cannot be read or is too short.
std::optional<RgbaImage> decodeFile(const std::filesystem::path& path);

} // namespace ShrPreview
} // namespace vorn
