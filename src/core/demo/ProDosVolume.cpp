#include "demo/ProDosVolume.h"

#include <stdexcept>

namespace vorn::ProDosVolume {
namespace {

constexpr std::size_t kBlock = 512;
constexpr std::size_t kEntryLength = 39;
constexpr std::size_t kEntriesPerBlock = 13;
constexpr std::uint16_t kDirectoryFirst = 2, kDirectoryLast = 5, kBitmapFirst = 6;

void put16(std::string& bytes, std::size_t at, unsigned value) {
    bytes[at] = char(value & 0xFF);
    bytes[at + 1] = char((value >> 8) & 0xFF);
}

void put24(std::string& bytes, std::size_t at, unsigned value) {
    put16(bytes, at, value);
    bytes[at + 2] = char((value >> 16) & 0xFF);
}

void put32(std::string& bytes, std::size_t at, unsigned value) {
    put16(bytes, at, value);
    put16(bytes, at + 2, value >> 16);
}

void checkName(const std::string& name) {
    bool ok = !name.empty() && name.size() <= 15 && name[0] >= 'A' && name[0] <= 'Z';
    for (char c : name) {
        ok = ok && ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.');
    }
    if (!ok) {
        throw std::invalid_argument("not a ProDOS name: " + name);
    }
}

// Name field of an entry: storage type in the high nibble, name length in the low one.
void putName(std::string& bytes, std::size_t at, unsigned storage, const std::string& name) {
    bytes[at] = char(storage << 4 | unsigned(name.size()));
    bytes.replace(at + 1, name.size(), name);
}

struct Layout {
    std::string bytes;
    std::uint16_t nextFree = 0;

    std::uint16_t allocate(std::uint16_t total) {
        if (nextFree >= total) {
            throw std::invalid_argument("files do not fit in the volume");
        }
        return nextFree++;
    }
};

// Writes one file's blocks: a seedling for one block of data, a sapling (index block
// plus data blocks) for more. Returns (storage type, key block, blocks used).
struct Placed {
    unsigned storage;
    std::uint16_t key;
    std::uint16_t used;
};

Placed placeFile(Layout& layout, const ProDosFile& file, std::uint16_t total) {
    const std::size_t dataBlocks =
        std::max<std::size_t>(1, (file.data.size() + kBlock - 1) / kBlock);
    if (dataBlocks > 256) {
        throw std::invalid_argument("file too large for the demo writer: " + file.name);
    }
    std::uint16_t index = 0;
    if (dataBlocks > 1) {
        index = layout.allocate(total);
    }
    std::uint16_t first = 0;
    for (std::size_t i = 0; i < dataBlocks; ++i) {
        const std::uint16_t block = layout.allocate(total);
        first = i == 0 ? block : first;
        const std::size_t from = i * kBlock;
        if (from < file.data.size()) {
            layout.bytes.replace(block * kBlock, std::min(kBlock, file.data.size() - from),
                                 file.data.substr(from, kBlock));
        }
        if (index != 0) {
            // Index blocks keep low bytes in the first half, high bytes in the second.
            layout.bytes[index * kBlock + i] = char(block & 0xFF);
            layout.bytes[index * kBlock + 256 + i] = char(block >> 8);
        }
    }
    if (index != 0) {
        return {2, index, std::uint16_t(dataBlocks + 1)};
    }
    return {1, first, 1};
}

// Loaded at $0800 and entered at $0801 by the boot firmware. The leading $01 is the boot
// marker every formatted ProDOS volume carries.
void putBootBlock(std::string& bytes, const std::string& message) {
    const std::string code = '\x01' + printProgram(0x0801, message);
    bytes.replace(0, code.size(), code);
}

void markUsedBlocks(std::string& bytes, std::uint16_t used, std::uint16_t total) {
    // A set bit means free; block 0 is the high bit of the bitmap's first byte.
    for (std::uint32_t b = used; b < total; ++b) {
        bytes[kBitmapFirst * kBlock + b / 8] |= char(0x80 >> (b % 8));
    }
}

} // namespace

std::string printProgram(std::uint16_t origin, const std::string& message) {
    const unsigned text = origin + 16u; // the message follows the code
    const auto low = static_cast<unsigned char>(text & 0xFF);
    const auto high = static_cast<unsigned char>(text >> 8);
    const unsigned char code[] = {
        0xA0, 0x00,       // LDY #0
        0xB9, low,  high, // LDA text,Y
        0xF0, 0x06,       // BEQ done
        0x20, 0xED, 0xFD, // JSR COUT
        0xC8,             // INY
        0xD0, 0xF5,       // BNE LDA
        0x4C, 0x69, 0xFF, // done: JMP monitor
    };
    std::string program(reinterpret_cast<const char*>(code), sizeof code);
    for (const char c : "\r" + message + "\r") {
        program += char(static_cast<unsigned char>(c) | 0x80); // the screen's high-bit ASCII
    }
    return program + '\0';
}

std::string build(const ProDosVolumeSpec& spec) {
    checkName(spec.volumeName);
    const std::size_t bitmapBlocks = (spec.blocks + 4095) / 4096;
    const std::size_t capacity = 12 + 3 * kEntriesPerBlock;
    if (spec.files.size() > capacity || spec.blocks < kBitmapFirst + bitmapBlocks) {
        throw std::invalid_argument("volume too small for its directory");
    }
    Layout layout{std::string(std::size_t(spec.blocks) * kBlock, '\0'),
                  std::uint16_t(kBitmapFirst + bitmapBlocks)};
    const unsigned date =
        unsigned(spec.year % 100) << 9 | unsigned(spec.month) << 5 | unsigned(spec.day);
    std::string& b = layout.bytes;
    putBootBlock(b, spec.bootMessage);
    for (std::uint16_t block = kDirectoryFirst; block <= kDirectoryLast; ++block) {
        put16(b, block * kBlock, block == kDirectoryFirst ? 0 : block - 1);
        put16(b, block * kBlock + 2, block == kDirectoryLast ? 0 : block + 1);
    }
    const std::size_t header = kDirectoryFirst * kBlock + 4;
    putName(b, header, 0x0F, spec.volumeName);
    put32(b, header + 24, date);
    b[header + 30] = char(0xC3);
    b[header + 31] = char(kEntryLength);
    b[header + 32] = char(kEntriesPerBlock);
    put16(b, header + 33, unsigned(spec.files.size()));
    put16(b, header + 35, kBitmapFirst);
    put16(b, header + 37, spec.blocks);
    for (std::size_t i = 0; i < spec.files.size(); ++i) {
        const ProDosFile& file = spec.files[i];
        checkName(file.name);
        const std::size_t slot = i + 1; // slot 0 of the first block is the header
        const std::size_t at = (kDirectoryFirst + slot / kEntriesPerBlock) * kBlock + 4 +
                               (slot % kEntriesPerBlock) * kEntryLength;
        const Placed placed = placeFile(layout, file, spec.blocks);
        putName(b, at, placed.storage, file.name);
        b[at + 16] = char(file.type);
        put16(b, at + 17, placed.key);
        put16(b, at + 19, placed.used);
        put24(b, at + 21, unsigned(file.data.size()));
        put32(b, at + 24, date);
        b[at + 30] = char(0xE3);
        put16(b, at + 31, file.auxType);
        put32(b, at + 33, date);
        put16(b, at + 37, kDirectoryFirst);
    }
    markUsedBlocks(b, layout.nextFree, spec.blocks);
    return std::move(layout.bytes);
}

std::string wrapTwoImg(const std::string& volume) {
    std::string header(64, '\0');
    header.replace(0, 4, "2IMG");
    header.replace(4, 4, "VORN");
    put16(header, 8, 64); // header size
    put16(header, 10, 1); // version
    put32(header, 12, 1); // image format: ProDOS order
    put32(header, 20, unsigned(volume.size() / kBlock));
    put32(header, 24, 64);                      // data offset
    put32(header, 28, unsigned(volume.size())); // data length
    return header + volume;
}

} // namespace vorn::ProDosVolume
