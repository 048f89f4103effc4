#include "library/DiskImage.h"

#include "library/FileStamp.h"
#include "support/ProDosBytes.h"
#include "support/TempDir.h"

#include <ctime>
#include <gtest/gtest.h>

namespace vorn {
namespace {

using test::ProDosBytes;
using test::TempDir;
using test::twoImgHeader;

constexpr std::size_t kBlock = ProDosBytes::blockSize;

std::optional<DiskImage> probeBytes(const TempDir& dir, const std::string& name,
                                    const std::string& bytes) {
    return DiskImage::probe(dir.write(name, bytes), "");
}

TEST(DiskImageTest, SizeDecidesWhetherAFileIsAnImageAndHowManyBlocks) {
    TempDir dir;
    EXPECT_FALSE(probeBytes(dir, "short.po", std::string(511, '\0'))) << "below one block";
    const auto one = probeBytes(dir, "one.po", std::string(512, '\0'));
    ASSERT_TRUE(one) << "exactly one block is an image";
    EXPECT_EQ(one->blocks, 1u);
    EXPECT_EQ(one->bytes, 512u);
    EXPECT_EQ(probeBytes(dir, "floppy.po", std::string(280 * kBlock + 100, '\0'))->blocks, 280u)
        << "a partial last block does not count";
    // Large images are made sparse: only the first 16 KiB are ever read.
    for (const std::uint64_t blocks : {65535u, 65536u}) {
        const auto file = dir.write("big" + std::to_string(blocks) + ".hdv", "");
        std::filesystem::resize_file(file, blocks * kBlock);
        const auto big = DiskImage::probe(file, "Hard Disks");
        ASSERT_TRUE(big) << blocks << " blocks must still be listed";
        EXPECT_EQ(big->blocks, blocks);
        EXPECT_EQ(big->relPath(), "Hard Disks/big" + std::to_string(blocks) + ".hdv");
    }
    EXPECT_FALSE(DiskImage::probe(dir / "missing.po", "")) << "unreadable attributes";
}

TEST(DiskImageTest, ExtensionsAreComparedIgnoringCase) {
    TempDir dir;
    const std::string block(512, '\0');
    for (const char* name : {"GAME.PO", "Game.Hdv", "x.2MG", "Lunar_Base.1.5.po"}) {
        EXPECT_TRUE(probeBytes(dir, name, block)) << name << " is a block image";
    }
    for (const char* name : {"x.dsk", "x.do", "notes.txt", "po", "x.po.bak", "x.po "}) {
        EXPECT_FALSE(probeBytes(dir, name, block)) << name << " is not a block image";
    }
    EXPECT_TRUE(DiskImage::needsDiskII("Old.WOZ"));
    EXPECT_TRUE(DiskImage::needsDiskII("x.nib"));
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
    EXPECT_EQ(readLE32("\x01\x02\x03", 0), 0u) << "fewer than four bytes";
    EXPECT_EQ(readLE32(std::string_view("\x00\x78\x56\x34\x12", 5), 1), 0x12345678u);
}

TEST(DiskImageTest, BootRuleNeedsMarkerAndProDosOrSystemFile) {
    const auto probe = [](const ProDosBytes& image) {
        return DiskImage::bootProbe(image.bytes(), 0);
    };
    const ProDosBytes plain = ProDosBytes(8).volume("games");
    EXPECT_EQ(probe(plain), (BootInfo{false, "GAMES"})) << "names are upper-cased";
    EXPECT_EQ(probe(ProDosBytes(plain).entry(2, 1, 0, "PRODOS", 0xFF)).bootable, false)
        << "a deleted PRODOS entry does not boot";
    EXPECT_EQ(probe(ProDosBytes(plain).entry(2, 1, 2, "PRODOS", 0x06)).bootable, true)
        << "PRODOS boots whatever its file type";
    EXPECT_EQ(probe(ProDosBytes(plain).entry(2, 5, 1, "BASIS.SYSTEM", 0xFF)).bootable, true);
    EXPECT_EQ(probe(ProDosBytes(plain).entry(2, 12, 1, "basis.system", 0xFF)).bootable, true)
        << "last entry of the block, lower-case name";
    EXPECT_EQ(probe(ProDosBytes(plain).entry(2, 1, 1, "FOO.SYSTEM", 0x06)).bootable, false)
        << "a .SYSTEM name needs file type $FF";
    EXPECT_EQ(probe(ProDosBytes(plain).entry(2, 1, 1, "SYSTEM.FOO", 0xFF)).bootable, false);
    EXPECT_EQ(probe(ProDosBytes(plain).entry(2, 1, 1, "PRODOS.BAK", 0xFF)).bootable, false);
    EXPECT_EQ(probe(ProDosBytes(8).volume("caf\xC3\xA9")).volumeName, "CAF\xC3\x89");
    EXPECT_EQ(probe(ProDosBytes(8).volume("A\xFF")).volumeName, "A\xEF\xBF\xBD");
    EXPECT_EQ(probe(ProDosBytes(plain).entry(2, 1, 1, "PRODOS").bootMarker(0x00)), BootInfo{})
        << "without the boot marker the directory is not read at all";
    EXPECT_EQ(DiskImage::bootProbe(plain.bytes().substr(0, 511), 0), BootInfo{});
    EXPECT_EQ(DiskImage::bootProbe(plain.bytes(), plain.bytes().size()), BootInfo{});
}

TEST(DiskImageTest, DirectoryWalkEndsOnLoopsAndAtTheReadLimit) {
    const ProDosBytes loop =
        ProDosBytes(8).volume("LOOP").next(2, 3).entry(3, 0, 1, "PRODOS").next(3, 2);
    EXPECT_EQ(DiskImage::bootProbe(loop.bytes(), 0), (BootInfo{true, "LOOP"}))
        << "a chain back to block 2 ends after one pass";
    EXPECT_EQ(DiskImage::bootProbe(ProDosBytes(4).volume("SELF").next(2, 2).bytes(), 0),
              (BootInfo{false, "SELF"}));
    EXPECT_EQ(DiskImage::bootProbe(ProDosBytes(4).volume("FAR").next(2, 0xFFFF).bytes(), 0),
              (BootInfo{false, "FAR"}));

    // Block 31 ends exactly at byte 16384, the last byte the probe reads; block 32 is past it.
    TempDir dir;
    const auto lastRead =
        probeBytes(dir, "edge.po",
                   ProDosBytes(64).volume("EDGE").next(2, 31).entry(31, 0, 1, "PRODOS").bytes());
    EXPECT_TRUE(lastRead && lastRead->bootable) << "block 31 lies inside the bytes read";
    const ProDosBytes beyond = ProDosBytes(64).volume("EDGE").next(2, 32).entry(32, 0, 1, "PRODOS");
    EXPECT_TRUE(DiskImage::bootProbe(beyond.bytes(), 0).bootable) << "the entry itself is valid";
    const auto unread = probeBytes(dir, "beyond.po", beyond.bytes());
    ASSERT_TRUE(unread);
    EXPECT_FALSE(unread->bootable) << "a directory block beyond the first 16384 bytes is not read";
    EXPECT_EQ(unread->volumeName, "EDGE");
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
        EXPECT_EQ(DiskImage::cleanName(file), display) << file;
    }
}

TEST(DiskImageTest, FileStampShortTextAndDates) {
    EXPECT_EQ(FileStamp::shortText(kDistantPast), "-");
    std::tm local{};
    local.tm_year = 2026 - 1900;
    local.tm_mon = 11;
    local.tm_mday = 4;
    local.tm_hour = 12;
    local.tm_isdst = -1;
    EXPECT_EQ(FileStamp::shortText(std::chrono::system_clock::from_time_t(std::mktime(&local))),
              "12/4/26");
    local.tm_year = 2009 - 1900;
    local.tm_mon = 0;
    local.tm_mday = 5;
    EXPECT_EQ(FileStamp::shortText(std::chrono::system_clock::from_time_t(std::mktime(&local))),
              "1/5/09");

    TempDir dir;
    EXPECT_EQ(FileStamp::of(dir / "missing"), FileDates{});
    const auto modified = FileStamp::of(dir.write("x.po", "x")).modified;
    EXPECT_LT(std::chrono::abs(std::chrono::system_clock::now() - modified),
              std::chrono::minutes(5))
        << "the modification date is the file's, not the sentinel";
}

} // namespace
} // namespace vorn
