#include "demo/DemoMedia.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vorn::DemoMedia {
namespace {

void put16(std::string& bytes, std::size_t at, unsigned value) {
    bytes[at] = char(value & 0xFF);
    bytes[at + 1] = char((value >> 8) & 0xFF);
}

void put32(std::string& bytes, std::size_t at, unsigned value) {
    put16(bytes, at, value);
    put16(bytes, at + 2, value >> 16);
}

struct Rgb {
    double r, g, b;
};

// The scene, in 0..1 coordinates: sky gradient, stars, a moon, grey ground and a dome.
Rgb sceneAt(double x, double y) {
    if (y > 0.72) {
        const double shade = 0.35 + 0.15 * std::sin(x * 40.0) * std::sin(y * 30.0);
        const double dx = (x - 0.5) / 0.18, dy = (y - 0.72) / 0.16;
        if (dx * dx + dy * dy < 1.0) {
            return {0.85, 0.85, 0.9}; // the dome's lower half is buried
        }
        return {shade, shade, shade * 1.05};
    }
    const double dx = (x - 0.5) / 0.18, dy = (y - 0.72) / 0.16;
    if (dx * dx + dy * dy < 1.0) {
        return {0.8 + 0.15 * (1 - y), 0.82, 0.9};
    }
    const double mx = (x - 0.78) * 1.6, my = y - 0.22; // 1.6: the picture is wider than tall
    if (mx * mx + my * my < 0.01) {
        return {0.95, 0.9, 0.7};
    }
    const unsigned hash = unsigned(x * 997.0) * 2654435761u ^ unsigned(y * 991.0) * 40503u;
    if (hash % 211 == 0) {
        return {1, 1, 1};
    }
    return {0.02, 0.03 + 0.2 * y, 0.12 + 0.45 * y};
}

} // namespace

std::string chimePcm() {
    constexpr int rate = 21973;
    const int samples = rate * 3 / 2;
    std::string pcm(std::size_t(samples), '\0');
    for (int i = 0; i < samples; ++i) {
        const double t = double(i) / rate;
        const double envelope = std::exp(-3.0 * t);
        const double wave = 0.6 * std::sin(2 * std::numbers::pi * 660.0 * t) +
                            0.4 * std::sin(2 * std::numbers::pi * 990.0 * t);
        const int sample = int(std::lround(128.0 + 120.0 * envelope * wave));
        pcm[std::size_t(i)] = char(std::clamp(sample, 1, 255)); // the card's audio has no zero byte
    }
    return pcm;
}

std::string rainbowShr() {
    std::string shr(32712, '\0');
    for (int y = 0; y < 200; ++y) {
        const int palette = y / 13 % 16;
        shr[32000 + std::size_t(y)] = char(palette);
        for (int i = 0; i < 160; ++i) {
            const int left = (2 * i) / 20 % 16, right = (2 * i + 1) / 20 % 16;
            shr[std::size_t(y) * 160 + std::size_t(i)] = char(left << 4 | right);
        }
    }
    for (int p = 0; p < 16; ++p) {
        for (int c = 0; c < 16; ++c) {
            // Colour c of palette p: hue from c, brightness from p.
            const double hue = c / 16.0 * 6.0, level = 0.3 + 0.7 * (p + 1) / 16.0;
            const double f = hue - std::floor(hue);
            const double parts[6][3] = {{1, f, 0},     {1 - f, 1, 0}, {0, 1, f},
                                        {0, 1 - f, 1}, {f, 0, 1},     {1, 0, 1 - f}};
            const double* rgb = parts[int(hue) % 6];
            const unsigned r = unsigned(std::lround(rgb[0] * level * 15));
            const unsigned g = unsigned(std::lround(rgb[1] * level * 15));
            const unsigned b = unsigned(std::lround(rgb[2] * level * 15));
            const std::size_t at = 32200 + std::size_t(p * 16 + c) * 2;
            shr[at] = char(g << 4 | b);
            shr[at + 1] = char(r);
        }
    }
    return shr;
}

std::string moonBaseBmp(int width, int height) {
    const std::size_t rowBytes = (std::size_t(width) * 3 + 3) / 4 * 4;
    const std::size_t dataBytes = rowBytes * std::size_t(height);
    std::string bmp(54 + dataBytes, '\0');
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(bmp, 2, unsigned(bmp.size()));
    put32(bmp, 10, 54); // pixel data offset
    put32(bmp, 14, 40); // BITMAPINFOHEADER
    put32(bmp, 18, unsigned(width));
    put32(bmp, 22, unsigned(height));
    put16(bmp, 26, 1);  // planes
    put16(bmp, 28, 24); // bits per pixel
    put32(bmp, 34, unsigned(dataBytes));
    for (int row = 0; row < height; ++row) {
        const int y = height - 1 - row; // rows are stored bottom-up
        for (int x = 0; x < width; ++x) {
            const Rgb c = sceneAt(double(x) / width, double(y) / height);
            const std::size_t at = 54 + std::size_t(row) * rowBytes + std::size_t(x) * 3;
            bmp[at] = char(std::lround(std::clamp(c.b, 0.0, 1.0) * 255));
            bmp[at + 1] = char(std::lround(std::clamp(c.g, 0.0, 1.0) * 255));
            bmp[at + 2] = char(std::lround(std::clamp(c.r, 0.0, 1.0) * 255));
        }
    }
    return bmp;
}

} // namespace vorn::DemoMedia
