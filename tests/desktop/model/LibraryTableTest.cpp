#include "model/LibraryTable.h"

#include "desktop/model/TableFixture.h"
#include "library/FileStamp.h"
#include "platform/SizeText.h"

#include "model/TextMeasure.h"

#include <gtest/gtest.h>
#include <numeric>
#include <thread>

namespace vorn {
namespace {

using test::names;
using Names = std::vector<std::string>;

class LibraryTableTest : public ::testing::Test {
protected:
    void SetUp() override { m_table.setContents(test::shared(test::sampleContents())); }

    Names sortedBy(SortKey key, bool ascending = true) {
        m_table.setSort(key);
        if (m_table.sortAscending() != ascending) {
            m_table.setSort(key);
        }
        return names(m_table.sortedRows());
    }
    // Sum of the widths of the columns the window shows.
    double shownWidth(bool withFolder) const {
        double sum = 0;
        for (TableColumn c : allColumns) {
            sum += c == TableColumn::folder && !withFolder ? 0 : m_table.cols().width(c);
        }
        return sum;
    }

    LibraryTable m_table;
};

TEST_F(LibraryTableTest, EverySortKeyOrdersAsTheHeaderPromises) {
    EXPECT_EQ(names(m_table.sortedRows()),
              (Names{"alpha", "Beta", "Zork", "Song", "Anthem", "Art Pic", "Abstract"}))
        << "a new table sorts by type: items before their pending kind, names ignoring case";
    EXPECT_EQ(sortedBy(SortKey::type, false),
              (Names{"Abstract", "Art Pic", "Anthem", "Song", "Zork", "Beta", "alpha"}));
    EXPECT_EQ(sortedBy(SortKey::boot),
              (Names{"Zork", "alpha", "Beta", "Abstract", "Anthem", "Art Pic", "Song"}));
    EXPECT_EQ(sortedBy(SortKey::folder),
              (Names{"Abstract", "alpha", "Anthem", "Art Pic", "Zork", "Beta", "Song"}))
        << "root and pending items (no folder) lead";
    EXPECT_EQ(sortedBy(SortKey::volume),
              (Names{"Song", "Beta", "Art Pic", "Zork", "Abstract", "alpha", "Anthem"}))
        << "empty volume keys trail in ascending order";
    EXPECT_EQ(sortedBy(SortKey::created),
              (Names{"Art Pic", "Song", "alpha", "Beta", "Zork", "Abstract", "Anthem"}));
    EXPECT_EQ(sortedBy(SortKey::size),
              (Names{"Abstract", "Anthem", "Art Pic", "Zork", "alpha", "Song", "Beta"}));
    EXPECT_EQ(sortedBy(SortKey::blocks, false),
              (Names{"Song", "Art Pic", "Anthem", "Abstract", "Beta", "alpha", "Zork"}))
        << "descending reverses the whole list: non-images first, then the largest image";
}

TEST_F(LibraryTableTest, FilterSelectedFolderAndCounts) {
    EXPECT_EQ(m_table.count(KindFilter::all), 5) << "pending items are not counted";
    m_table.setSelectedFolder("Games");
    EXPECT_EQ(names(m_table.sortedRows()), (Names{"Beta", "Zork"}))
        << "a subfolder's items are in; pending items never show with a folder selected";
    EXPECT_EQ(m_table.count(KindFilter::disks), 2);
    EXPECT_EQ(m_table.count(KindFilter::audio), 0);
    EXPECT_EQ(m_table.count(KindFilter::all), 2);
    EXPECT_EQ(m_table.bootableCount(), 1);
    EXPECT_EQ(m_table.libraryCount(), 5) << "the library count ignores the selection";
    EXPECT_EQ(m_table.count(std::string("Game")), 0) << "folders match whole names only";

    m_table.setSelectedFolder(std::nullopt);
    m_table.setKindFilter(KindFilter::audio);
    EXPECT_EQ(names(m_table.sortedRows()), (Names{"Song", "Anthem"}));
    m_table.setKindFilter(KindFilter::pictures);
    EXPECT_EQ(names(m_table.sortedRows()), (Names{"Art Pic", "Abstract"}));

    m_table.setSelectedFolder("Games/Arcade");
    test::ScanLists rescanned = test::sampleContents();
    rescanned.images[2].folder = "Games"; // Beta moved up out of Arcade
    m_table.setContents(test::shared(std::move(rescanned)));
    EXPECT_EQ(m_table.selectedFolder(), std::nullopt) << "a vanished folder is deselected";
}

TEST_F(LibraryTableTest, CellTexts) {
    m_table.setSort(SortKey::name);
    const std::vector<TableRow> rows =
        m_table.sortedRows(); // Abstract alpha Anthem Art Beta Song Zork
    const auto cells = [&](std::size_t i) {
        Names out;
        for (TableColumn c : allColumns) {
            out.push_back(LibraryTable::cellText(rows[i], c).value_or("<none>"));
        }
        return out;
    };
    const std::string jan3 = FileStamp::shortText(test::january(3));
    EXPECT_EQ(jan3, "1/3/26");
    EXPECT_EQ(cells(1),
              (Names{"<none>", "alpha", "-", "-", jan3, jan3, "800 KB", "1600", "<none>"}))
        << "root image without a volume name";
    EXPECT_EQ(cells(4)[6], "32.0 MB");
    EXPECT_EQ(cells(5)[3], "1:01") << "a track shows its length";
    EXPECT_EQ(cells(5)[6], "1.3 MB");
    EXPECT_EQ(cells(5)[7], "-");
    EXPECT_EQ(cells(3)[3], "SHR  click to preview");
    EXPECT_EQ(cells(3)[6], "32 KB");
    EXPECT_EQ(cells(2), (Names{"-", "Anthem", "-", "transcoding...", "-", "-", "-", "-", "-"}));
    EXPECT_EQ(cells(0)[3], "converting...");

    EXPECT_EQ(SizeText::kilobytesOrMegabytes(1023), "0 KB");
    EXPECT_EQ(SizeText::kilobytesOrMegabytes(1048575), "1023 KB");
    EXPECT_EQ(SizeText::kilobytesOrMegabytes(1048576), "1.0 MB");
    EXPECT_EQ(SizeText::kilobytesOrMegabytes(1572864), "1.5 MB");
    EXPECT_EQ(TableRow::durationText(10986), "0:00") << "just under half a second";
    EXPECT_EQ(TableRow::durationText(10987), "0:01") << "half a second rounds up";
    EXPECT_EQ(TableRow::durationText(21973 * 3600), "60:00");
}

TEST_F(LibraryTableTest, HandSetWidthsAreClampedAndKeptUntilFitAll) {
    m_table.setColumnWidth(TableColumn::boot, 5);
    m_table.setColumnWidth(TableColumn::name, 2000);
    m_table.setColumnWidth(TableColumn::type, 1);
    m_table.setColumnWidth(TableColumn::size, 10);
    EXPECT_EQ(m_table.cols().width(TableColumn::boot), 24);
    EXPECT_EQ(m_table.cols().width(TableColumn::name), 640);
    EXPECT_EQ(m_table.cols().width(TableColumn::type), 30);
    EXPECT_EQ(m_table.cols().width(TableColumn::size), 28);
    m_table.setTableWidth(900);
    EXPECT_EQ(m_table.cols().width(TableColumn::name), 640)
        << "automatic layout keeps hand-set widths";
    EXPECT_EQ(m_table.cols().width(TableColumn::size), 28);
    EXPECT_TRUE(m_table.fitAllColumns());
    EXPECT_TRUE(m_table.userCols().empty());
    EXPECT_GT(m_table.cols().width(TableColumn::size), 28) << "Fit All Columns measures again";
}

TEST_F(LibraryTableTest, AutomaticLayoutFillsTheTableAndShrinksTheNameToEighty) {
    EXPECT_TRUE(m_table.setTableWidth(2000));
    EXPECT_DOUBLE_EQ(shownWidth(true), 2000 - 20) << "the columns fill the table";
    EXPECT_EQ(m_table.cols().width(TableColumn::size), m_table.fitWidth(TableColumn::size) + 36)
        << "other columns get at most 36 extra, the name takes the rest";
    EXPECT_FALSE(m_table.setTableWidth(2000.5)) << "half a pixel is no change";
    EXPECT_EQ(m_table.tableWidth(), 2000);

    m_table.setTableWidth(300);
    EXPECT_EQ(m_table.cols().width(TableColumn::name), 80);

    test::ScanLists flat = test::sampleContents();
    flat.flatten();
    m_table.setContents(test::shared(std::move(flat)));
    m_table.setTableWidth(1500);
    EXPECT_DOUBLE_EQ(shownWidth(false), 1500 - 20) << "no Folder column without subfolders";
}

// A rescan's index arrives with its cells measured on the scanner's thread: the columns
// must come out as wide as when the GUI thread measures them, in the look measured and,
// after a switch, in the other.
TEST_F(LibraryTableTest, AnIndexMeasuredElsewhereLaysOutAsMeasuringHere) {
    test::ScanLists c = test::sampleContents();
    c.images[1].displayName = "A rather longer name than the others";
    const auto contents = test::shared(std::move(c));
    std::shared_ptr<const TableIndex> index;
    std::thread([&] {
        TextMeasure measure;
        index = std::make_shared<const TableIndex>(*contents, UITheme::eightBit, measure);
    }).join();
    LibraryTable measuredHere;
    measuredHere.setContents(contents);
    m_table.setContents(contents, index);
    for (UITheme look : {UITheme::eightBit, UITheme::gs}) {
        m_table.setLook(look);
        measuredHere.setLook(look);
        m_table.setTableWidth(look == UITheme::gs ? 900 : 1000);
        measuredHere.setTableWidth(look == UITheme::gs ? 900 : 1000);
        for (TableColumn column : allColumns) {
            EXPECT_EQ(m_table.cols().width(column), measuredHere.cols().width(column))
                << columnName(column) << " in the " << storedName(look) << " look";
        }
    }
}

TEST_F(LibraryTableTest, FittingMeasuresTheLongestCellWithinItsCap) {
    test::ScanLists c = test::sampleContents();
    c.images[0].folder = "Games/" + std::string(80, 'W');
    c.images[1].displayName = std::string(90, 'W');
    m_table.setContents(test::shared(std::move(c)));
    m_table.autoLayoutColumns();
    EXPECT_EQ(m_table.cols().width(TableColumn::folder), 150) << "automatic folder width cap";
    EXPECT_EQ(m_table.cols().width(TableColumn::name), 420);
    m_table.fitColumn(TableColumn::folder);
    EXPECT_EQ(m_table.cols().width(TableColumn::folder), 360) << "a double click allows more";
    EXPECT_EQ(m_table.fitWidth(TableColumn::name, 200), 200);
    const double blocks = m_table.fitWidth(TableColumn::blocks);
    EXPECT_GE(blocks, m_table.textWidth("65535", 11, false) + 20);

    m_table.setLook(UITheme::gs);
    EXPECT_NE(m_table.textWidth("iiii", 11, false), m_table.textWidth("MMMM", 11, false))
        << "the IIGS look measures in a proportional font";
}

} // namespace
} // namespace vorn
