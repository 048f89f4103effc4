#pragma once
// ProDOS-order images written byte by byte for the probe tests. Deliberately separate
// from the demo volume writer, so that the probe is checked against an independent
// reading of the on-disk layout rather than against its own assumptions.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vorn::test {

class ProDosBytes {
public:
    static constexpr std::size_t blockSize = 512;

    /// `blocks` zeroed blocks with the boot marker $01 in byte 0 of block 0.
    explicit ProDosBytes(std::size_t blocks) : m_bytes(blocks * blockSize, '\0') {
        m_bytes[0] = '\x01';
    }

    ProDosBytes& bootMarker(std::uint8_t value) {
        m_bytes[0] = char(value);
        return *this;
    }
    /// Entry `index` (0 to 12) of directory block `block`: storage type in the high
    /// nibble of byte 0, name length in the low one, name, file type at byte 16.
    ProDosBytes& entry(std::size_t block, std::size_t index, unsigned storage,
                       std::string_view name, std::uint8_t fileType = 0x04) {
        const std::size_t at = block * blockSize + 4 + 39 * index;
        m_bytes[at] = char(storage << 4 | unsigned(name.size() & 0x0F));
        m_bytes.replace(at + 1, name.size(), name);
        m_bytes[at + 16] = char(fileType);
        return *this;
    }
    /// The volume directory header: entry 0 of block 2, storage type $F.
    ProDosBytes& volume(std::string_view name) { return entry(2, 0, 0x0F, name, 0); }
    /// The next-block pointer (bytes 2 and 3, little-endian) of a directory block.
    ProDosBytes& next(std::size_t block, std::uint16_t nextBlock) {
        m_bytes[block * blockSize + 2] = char(nextBlock & 0xFF);
        m_bytes[block * blockSize + 3] = char(nextBlock >> 8);
        return *this;
    }
    /// Fills every block from `first` on with bytes that differ from their neighbours, so
    /// that a block put back from the wrong place shows.
    ProDosBytes& patterned(std::size_t first) {
        for (std::size_t i = first * blockSize; i < m_bytes.size(); ++i) {
            m_bytes[i] = char((i * 7 + i / blockSize) & 0xFF);
        }
        return *this;
    }
    const std::string& bytes() const { return m_bytes; }

private:
    std::string m_bytes;
};

/// A 64-byte 2IMG header whose data offset field (bytes 24 to 27) holds `offsetField`.
inline std::string twoImgHeader(std::uint32_t offsetField) {
    std::string header(64, '\0');
    header.replace(0, 4, "2IMG");
    for (int i = 0; i < 4; ++i) {
        header[std::size_t(24 + i)] = char((offsetField >> (8 * i)) & 0xFF);
    }
    return header;
}

} // namespace vorn::test
