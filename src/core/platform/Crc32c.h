#pragma once
// CRC-32C (Castagnoli), the checksum that lets a file the share wrote prove that its bytes
// are the ones written: it catches every burst of up to 32 flipped bits.

#include <cstdint>
#include <string_view>

namespace vorn::Crc32c {

/// The checksum of `bytes`, continuing from `crc` (the checksum of what came before them).
std::uint32_t of(std::string_view bytes, std::uint32_t crc = 0);

} // namespace vorn::Crc32c
