#include "demo/ProDosVolume.h"

#include "demo/DemoLibrary.h"
#include "library/Catalog.h"
#include "library/FolderWalk.h"
#include "support/TempDir.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <stdexcept>

namespace vorn {
namespace {

unsigned byte(const std::string& bytes, std::size_t at) {
    return static_cast<unsigned char>(bytes[at]);
}

unsigned le16(const std::string& bytes, std::size_t at) {
    return byte(bytes, at) | byte(bytes, at + 1) << 8;
}

ProDosVolumeSpec manyFiles(std::size_t count, std::uint8_t lastType) {
    ProDosVolumeSpec spec{"MANY", 280, {}};
    for (std::size_t i = 1; i <= count; ++i) {
        // Appended rather than "F" + to_string: GCC 12 at -O3 warns falsely (-Wrestrict)
        // about the insert that operator+ does.
        std::string name = "F";
        name += std::to_string(i);
        spec.files.push_back({name, 0x04, 0, "x"});
    }
    spec.files.back() = {"START.SYSTEM", lastType, 0x2000, std::string(600, 'S')};
    return spec;
}

// The probe is the reader the card's view depends on; the demo writer must agree with it.
TEST(ProDosVolumeTest, WrittenVolumesReadBackThroughTheProbe) {
    const std::string volume = ProDosVolume::build(manyFiles(20, 0x06));
    EXPECT_EQ(volume.size(), 280u * 512);
    EXPECT_EQ(DiskImage::bootProbe(volume, 0), (BootInfo{false, "MANY"}))
        << "a boot marker without a system file does not make a startup disk";
    // The twentieth file lands in the second directory block, reached by the chain.
    EXPECT_TRUE(DiskImage::bootProbe(ProDosVolume::build(manyFiles(20, 0xFF)), 0).bootable);
    const std::string wrapped = ProDosVolume::wrapTwoImg(volume);
    EXPECT_EQ(DiskImage::dataOffset(wrapped, wrapped.size()), 64u);
    EXPECT_EQ(wrapped.substr(64), volume);

    // Entry 1 of block 2 is F1, a seedling: its key block holds the data itself. The last
    // file is a sapling: its index block lists the two data blocks (low bytes, then high).
    EXPECT_EQ(byte(volume, 2 * 512 + 4 + 39), 0x12u) << "seedling, name of two characters";
    EXPECT_EQ(volume[le16(volume, 2 * 512 + 4 + 39 + 17) * 512], 'x');
    const std::size_t last = 3 * 512 + 4 + 39 * (20 % 13);
    EXPECT_EQ(volume.substr(last + 1, 12), "START.SYSTEM");
    const unsigned index = le16(volume, last + 17);
    EXPECT_EQ(byte(volume, last) >> 4, 2u) << "sapling";
    EXPECT_EQ(volume.substr(byte(volume, index * 512) * 512, 512), std::string(512, 'S'));
    EXPECT_EQ(volume.substr(byte(volume, index * 512 + 1) * 512, 89), std::string(88, 'S') + '\0');

    EXPECT_THROW(ProDosVolume::build({"lower", 280, {}}), std::invalid_argument);
    EXPECT_THROW(ProDosVolume::build(manyFiles(52, 0x04)), std::invalid_argument);
    EXPECT_THROW(ProDosVolume::build({"TINY", 8, {{"BIG", 0x06, 0, std::string(4096, 'b')}}}),
                 std::invalid_argument);
}

TEST(ProDosVolumeTest, DemoLibraryScansAsDescribed) {
    test::TempDir dir;
    // The files it reports, and its refusal to write into a folder in use, are checked with
    // vorn-share demo.
    DemoLibrary::write(dir / "demo", std::nullopt);
    const Catalog catalog = Catalog::scan(FolderWalk::files(dir / "demo"), true);
    ASSERT_EQ(catalog.images().size(), 2u) << "the Disk II image is not shared";
    const auto facts = [](const DiskImage& d) {
        return std::tuple(d.relPath(), d.displayName, d.volumeName.value_or("-"), d.blocks, d.bytes,
                          d.bootable);
    };
    EXPECT_EQ(facts(catalog.images()[0]), std::tuple("Games/Lunar_Base.po", "Lunar Base",
                                                     "LUNAR.BASE", 280u, 280u * 512, true))
        << "a startup disk, for the window's bootable mark";
    EXPECT_EQ(facts(catalog.images()[1]), std::tuple("Utilities/Toolbox.2mg", "Toolbox", "TOOLBOX",
                                                     1600u, 64u + 1600 * 512, false));
}

} // namespace
} // namespace vorn
