#include "platform/Crc32c.h"

#include <array>

namespace vorn::Crc32c {
namespace {

// One byte at a time from a table of 256 words, made when compiling: plenty for records
// of half a kilobyte, and nothing for the build to find on the machine.
constexpr std::array<std::uint32_t, 256> makeTable() {
    constexpr std::uint32_t reflectedPolynomial = 0x82F6'3B78;
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t byte = 0; byte < 256; ++byte) {
        std::uint32_t crc = byte;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) != 0 ? (crc >> 1) ^ reflectedPolynomial : crc >> 1;
        }
        table[byte] = crc;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> table = makeTable();

} // namespace

std::uint32_t of(std::string_view bytes, std::uint32_t crc) {
    crc = ~crc;
    for (const char c : bytes) {
        crc = table[(crc ^ std::uint8_t(c)) & 0xFF] ^ (crc >> 8);
    }
    return ~crc;
}

} // namespace vorn::Crc32c
