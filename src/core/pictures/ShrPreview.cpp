#include "pictures/ShrPreview.h"

#include "platform/Files.h"

namespace vorn::ShrPreview {
namespace {

constexpr std::size_t kControls = 32000;
constexpr std::size_t kPalettes = 32200;

} // namespace

std::optional<RgbaImage> decode(std::string_view shr) {
    if (shr.size() < bytes) {
        return std::nullopt;
    }
    const auto* data = reinterpret_cast<const std::uint8_t*>(shr.data());
    RgbaImage image{width, height, std::vector<std::uint8_t>(std::size_t(width) * height * 4)};
    std::uint8_t* out = image.pixels.data();
    for (int y = 0; y < height; ++y) {
        // Only the palette number counts: every line decodes as 320 pixels of 16 colours.
        const std::size_t palette = data[kControls + std::size_t(y)] & 0x0F;
        for (int i = 0; i < width / 2; ++i) {
            const std::uint8_t pair = data[std::size_t(y) * 160 + std::size_t(i)];
            for (const std::uint8_t colour : {std::uint8_t(pair >> 4), std::uint8_t(pair & 0x0F)}) {
                const std::size_t entry = kPalettes + (palette * 16 + colour) * 2;
                const std::uint8_t lo = data[entry];
                const std::uint8_t hi = data[entry + 1];
                *out++ = std::uint8_t((hi & 0x0F) * 17);
                *out++ = std::uint8_t((lo >> 4) * 17);
                *out++ = std::uint8_t((lo & 0x0F) * 17);
                *out++ = 255;
            }
        }
    }
    return image;
}

std::optional<RgbaImage> decodeFile(const std::filesystem::path& path) {
    const std::optional<std::string> contents = Files::read(path);
    return contents ? decode(*contents) : std::nullopt;
}

} // namespace vorn::ShrPreview
