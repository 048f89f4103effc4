#include "library/DiskImage.h"

#include "library/CleanName.h"
#include "support/DosDisks.h"
#include "support/ProDosBytes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace vorn {
namespace {

using test::ProDosBytes;
using test::TempDir;
using test::twoImgHeader;

std::optional<DiskImage> probeBytes(const TempDir& dir, const std::string& name,
                                    const std::string& bytes) {
    return DiskImage::probe(dir.write(name, bytes), "");
}

TEST(DiskImageTest, NameAndSizeDecideWhetherAFileIsAnImageAndHowManyBlocks) {
    TempDir dir;
    const auto probe = [&](const std::string& name, std::uint64_t bytes) {
        const auto file = dir.write("Hard Disks/" + name, "");
        std::filesystem::resize_file(file, bytes); // sparse: only the first 16 KiB are read
        return DiskImage::probe(file, "Hard Disks");
    };
    EXPECT_FALSE(probe("short.po", 511)) << "below one block";
    for (const std::uint64_t bytes : {512u, 280u * 512 + 100, 65535u * 512, 65536u * 512}) {
        const auto image = probe("x.hdv", bytes);
        ASSERT_TRUE(image) << bytes << " bytes";
        EXPECT_EQ(image->blocks, bytes / 512) << "whole blocks only, from " << bytes << " bytes";
        EXPECT_EQ(image->bytes, bytes);
        EXPECT_EQ(image->relPath(), "Hard Disks/x.hdv");
    }
    for (const char* name : {"GAME.PO", "Game.Hdv", "x.2MG", "Lunar_Base.1.5.po"}) {
        EXPECT_TRUE(probe(name, 512)) << name << " is a block image";
    }
    for (const char* name : {"x.dsk", "x.do", "notes.txt", "po", "x.po.bak", "x.po "}) {
        EXPECT_FALSE(probe(name, 512)) << name << " is not a block image";
    }
    EXPECT_FALSE(DiskImage::probe(dir / "missing.po", "")) << "unreadable attributes";
    for (const char* name : {"Old.WOZ", "x.nib"}) {
        EXPECT_TRUE(DiskImage::needsDiskII(name)) << name;
    }
    EXPECT_FALSE(DiskImage::needsDiskII("x.po"));
}

TEST(DiskImageTest, TwoImgDataOffsetIsCorrectedWhenImplausible) {
    TempDir dir;
    const std::string volume =
        ProDosBytes(1600).volume("TWO.IMG").entry(2, 1, 1, "PRODOS", 0xFF).bytes();
    const std::uint32_t size = std::uint32_t(64 + volume.size());
    const std::pair<const char*, std::string> cases[] = {
        {"offset64.2mg", twoImgHeader(64) + volume},
        {"offset0.2mg", twoImgHeader(0) + volume},
        {"offset10.2mg", twoImgHeader(10) + volume},
        {"offsetSize.2mg", twoImgHeader(size) + volume},
        {"offsetBeyond.2mg", twoImgHeader(size + 4096) + volume},
        {"offset128.2mg", twoImgHeader(128) + std::string(64, '\0') + volume},
        {"container.po", twoImgHeader(64) + volume},
        {"nomagic.2mg", volume},
    };
    for (const auto& [name, bytes] : cases) {
        const auto image = probeBytes(dir, name, bytes);
        ASSERT_TRUE(image) << name;
        EXPECT_EQ(image->blocks, 1600u) << name;
        EXPECT_EQ(image->volumeName, "TWO.IMG") << name << ": directory read at the wrong offset";
        EXPECT_TRUE(image->bootable) << name;
    }
    // Header plus less than one block: still listed, but there is nothing to read.
    const auto tiny = probeBytes(dir, "tiny.2mg", twoImgHeader(64) + std::string(448, '\0'));
    ASSERT_TRUE(tiny);
    EXPECT_EQ(tiny->blocks, 0u);
    EXPECT_EQ(tiny->volumeName, std::nullopt);
}

TEST(DiskImageTest, BootRuleNeedsMarkerAndProDosOrSystemFile) {
    const ProDosBytes plain = ProDosBytes(8).volume("games");
    const auto with = [&](std::size_t index, unsigned storage, const char* name, int type) {
        return ProDosBytes(plain).entry(2, index, storage, name, std::uint8_t(type));
    };
    const std::tuple<const char*, ProDosBytes, BootInfo> cases[] = {
        {"names are upper-cased", plain, {false, "GAMES"}},
        {"a deleted PRODOS entry", with(1, 0, "PRODOS", 0xFF), {false, "GAMES"}},
        {"PRODOS of any file type", with(1, 2, "PRODOS", 0x06), {true, "GAMES"}},
        {"a .SYSTEM file", with(5, 1, "BASIS.SYSTEM", 0xFF), {true, "GAMES"}},
        {"last entry, lower case", with(12, 1, "basis.system", 0xFF), {true, "GAMES"}},
        {".SYSTEM of type $06", with(1, 1, "FOO.SYSTEM", 0x06), {false, "GAMES"}},
        {"SYSTEM.FOO", with(1, 1, "SYSTEM.FOO", 0xFF), {false, "GAMES"}},
        {"PRODOS.BAK", with(1, 1, "PRODOS.BAK", 0xFF), {false, "GAMES"}},
        {"no boot marker: nothing read", with(1, 1, "PRODOS", 4).bootMarker(0), {}},
        {"UTF-8 name", ProDosBytes(8).volume("caf\xC3\xA9"), {false, "CAF\xC3\x89"}},
        {"invalid UTF-8", ProDosBytes(8).volume("A\xFF"), {false, "A\xEF\xBF\xBD"}},
        {"a chain back to block 2 ends after one pass",
         ProDosBytes(8).volume("LOOP").next(2, 3).entry(3, 0, 1, "PRODOS").next(3, 2),
         {true, "LOOP"}},
        {"a block pointing to itself", ProDosBytes(4).volume("SELF").next(2, 2), {false, "SELF"}},
        {"a pointer past the end", ProDosBytes(4).volume("FAR").next(2, 0xFFFF), {false, "FAR"}},
    };
    for (const auto& [what, image, expected] : cases) {
        EXPECT_EQ(DiskImage::bootProbe(image.bytes(), 0), expected) << what;
    }
    EXPECT_EQ(DiskImage::bootProbe(plain.bytes().substr(0, 511), 0), BootInfo{});
    EXPECT_EQ(DiskImage::bootProbe(plain.bytes(), plain.bytes().size()), BootInfo{});
}

// Block 31 ends exactly at byte 16384, the last byte the probe reads; block 32 is past it.
TEST(DiskImageTest, DirectoryBlocksBeyondTheBytesReadAreNotRead) {
    TempDir dir;
    const auto edge = [](std::uint16_t block) {
        return ProDosBytes(64).volume("EDGE").next(2, block).entry(block, 0, 1, "PRODOS").bytes();
    };
    const auto lastRead = DiskImage::probe(dir.write("edge.po", edge(31)), "");
    EXPECT_TRUE(lastRead && lastRead->bootable) << "block 31 lies inside the bytes read";
    EXPECT_TRUE(DiskImage::bootProbe(edge(32), 0).bootable) << "the entry itself is valid";
    const auto unread = DiskImage::probe(dir.write("beyond.po", edge(32)), "");
    EXPECT_EQ(unread.value().volumeName, "EDGE");
    EXPECT_FALSE(unread->bootable) << "a directory block beyond the first 16384 bytes is not read";
}

TEST(DiskImageTest, DskAndDoFilesAreListedWhenEitherOrderHoldsAProDosVolume) {
    TempDir dir;
    const std::string volume = test::proDosDisk("ADVENTURE");
    const auto dos = probeBytes(dir, "Adventure.DSK", test::dosOrdered(volume));
    ASSERT_TRUE(dos) << "a ProDOS volume in DOS order";
    EXPECT_TRUE(dos->dosOrder);
    EXPECT_EQ(dos->blocks, 280u);
    EXPECT_EQ(dos->bytes, test::kDiskBytes);
    EXPECT_EQ(dos->volumeName, "ADVENTURE") << "the directory is read through the ProDOS view";
    EXPECT_TRUE(dos->bootable) << "PRODOS on a DOS-ordered disk boots";
    EXPECT_EQ(dos->displayName, "Adventure");

    const auto asIs = probeBytes(dir, "Adventure.do", volume);
    ASSERT_TRUE(asIs) << "a ProDOS volume in ProDOS order";
    EXPECT_FALSE(asIs->dosOrder) << "served as it is";
    EXPECT_EQ(asIs->volumeName, "ADVENTURE");

    const std::pair<const char*, std::string> neither[] = {
        {"dos33.dsk", test::dos33Disk()},
        {"empty.dsk", std::string(test::kDiskBytes, '\0')},
        {"random.do", test::pattern(test::kDiskBytes, 77)},
        {"long.dsk", test::dosOrdered(volume) + std::string(256, '\0')},
        {"short.dsk", test::dosOrdered(volume).substr(0, test::kDiskBytes - 256)},
        {"nibbles.woz", volume},
        {"nibbles.nib", volume},
    };
    for (const auto& [name, bytes] : neither) {
        EXPECT_FALSE(probeBytes(dir, name, bytes)) << name << " is not shared";
        EXPECT_TRUE(DiskImage::needsDiskII(name)) << name << " counts as skipped";
    }
}

TEST(DiskImageTest, VolumeDirectoryKeyBlockNeedsEveryMark) {
    const std::string key = test::proDosDisk("KEY").substr(1024, 512);
    ASSERT_TRUE(DiskImage::volumeDirectoryKey(key));
    const std::tuple<const char*, std::size_t, char> misses[] = {
        {"a previous block", 0, 3},           {"a previous block above 255", 1, 1},
        {"storage type $E", 4, '\xE3'},       {"a name of no characters", 4, '\xF0'},
        {"entries of $28 bytes", 0x23, 0x28}, {"12 entries per block", 0x24, 12},
    };
    for (const auto& [what, at, value] : misses) {
        std::string block = key;
        block[at] = value;
        EXPECT_FALSE(DiskImage::volumeDirectoryKey(block)) << what;
    }
    EXPECT_FALSE(DiskImage::volumeDirectoryKey(key.substr(0, 511))) << "less than a block";
}

TEST(DiskImageTest, CleanNameMakesDisplayNames) {
    const std::pair<const char*, const char*> cases[] = {
        {"Lunar_Base.1.5.po", "Lunar Base 1.5"},
        {"Grand__Tour.hdv", "Grand Tour"},
        {"Disk.One.po", "Disk One"},
        {"___.po", "___.po"},
        {"  Spaced _ Out .2mg", "Spaced Out"},
        {"v.2.po", "v 2"},
        {"Ver 2..1.po", "Ver 2 1"},
        {"Disk \xD9\xA1.\xD9\xA2.po", "Disk \xD9\xA1.\xD9\xA2"},
        {"Game.po.po", "Game po"},
        {"NoExtension", "NoExtension"},
    };
    for (const auto& [file, display] : cases) {
        EXPECT_EQ(cleanName(file), display) << file;
    }
}

} // namespace
} // namespace vorn
