// The categories sheet clicked and typed into as a user does: what it changes in the
// model, what the model stores for the library, and what the sheet shows afterwards.

#include "ui/sheets/CategoriesSheet.h"

#include "SheetFixture.h"
#include "library/ShareSettings.h"
#include "ui/A2Button.h"
#include "ui/A2Toggle.h"
#include "ui/sheets/CategoryRow.h"
#include "ui/sheets/LabelField.h"

#include <QListWidget>

namespace vorn {
namespace {

class CategoriesSheetTest : public test::SheetFixture {
protected:
    // The folder paths the sheet's rows show, in order.
    static std::vector<std::string> shownPaths(const CategoriesSheet& sheet) {
        std::vector<std::string> paths;
        for (const CategoryRow* row : sheet.rows()) {
            paths.push_back(row->path().toStdString());
        }
        return paths;
    }
    // The categories stored for the library, as the next launch reads them.
    std::optional<HubConfig> stored() const {
        const std::optional<std::string> json = m_prefs.string(ShareSettings::hubKey(library()));
        return json ? HubConfig::decode(*json) : std::nullopt;
    }
    // Every row lists a category, so every row's box must show it on.
    static bool everyBoxOn(const CategoriesSheet& sheet) {
        return std::all_of(sheet.rows().begin(), sheet.rows().end(),
                           [](const CategoryRow* row) { return row->check()->isChecked(); });
    }
    static std::vector<std::string> paths(const HubConfig& hub) {
        std::vector<std::string> list;
        for (const HubCategory& category : hub.cats) {
            list.push_back(category.path);
        }
        return list;
    }
};

using Paths = std::vector<std::string>;

TEST_F(CategoriesSheetTest, ArrowsReorderAndTheOrderIsStored) {
    for (const char* folder : {"Arcade", "Games", "Utilities"}) {
        addDisk(folder);
    }
    auto model = libraryModel();
    CategoriesSheet sheet(*model, model->library(), false);
    sheet.show();
    ASSERT_EQ(shownPaths(sheet), (Paths{"Arcade", "Games", "Utilities"}));
    EXPECT_TRUE(showsText(sheet, "LABEL ON THE APPLE II")) << "the headings, upper case here";
    EXPECT_FALSE(showsText(sheet, "ITEMS")) << "the count column has no heading";
    EXPECT_FALSE(sheet.rows().front()->upButton()->isEnabled()) << "no way up from the top";
    EXPECT_FALSE(sheet.rows().back()->downButton()->isEnabled()) << "no way down from the bottom";

    click(sheet.rows()[0]->downButton());
    EXPECT_EQ(paths(model->library().hub()), (Paths{"Games", "Arcade", "Utilities"}));
    EXPECT_EQ(shownPaths(sheet), paths(model->library().hub()));
    ASSERT_TRUE(stored()) << "the first edit makes the categories the user's own";
    EXPECT_EQ(paths(*stored()), paths(model->library().hub()));
    EXPECT_EQ(sheet.focusWidget(), sheet.rows()[1]->downButton()) << "the focus follows the folder";

    click(sheet.rows()[1]->upButton());
    EXPECT_EQ(paths(*stored()), (Paths{"Arcade", "Games", "Utilities"})) << "down then up";
    click(sheet.rows()[0]->upButton());
    EXPECT_EQ(paths(model->library().hub()), (Paths{"Arcade", "Games", "Utilities"}))
        << "a dimmed arrow does nothing";
}

TEST_F(CategoriesSheetTest, LabelCommitsOnReturnAndTheFolderNameClearsIt) {
    addDisk("Games");
    auto model = libraryModel();
    CategoriesSheet sheet(*model, model->library(), false);
    sheet.show();
    sheet.activateWindow();
    LabelField* field = sheet.rows().at(0)->field();
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->placeholderText(), "Games") << "the folder's own name as placeholder";

    field->setFocus();
    QTest::keyClicks(field, "Arcade Hits");
    EXPECT_FALSE(model->library().hub().cats[0].label) << "nothing is stored while typing";
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(model->library().hub().cats[0].label, "Arcade Hits");
    ASSERT_TRUE(stored());
    EXPECT_EQ(stored()->cats[0].label, "Arcade Hits");

    field->selectAll();
    QTest::keyClicks(field, " Games ");
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_FALSE(model->library().hub().cats[0].label) << "the folder's own name is no label";
    EXPECT_FALSE(stored()->cats[0].label);
    EXPECT_EQ(field->text(), "") << "the field shows the placeholder again, though focused";
}

TEST_F(CategoriesSheetTest, TakeOffAddBackPrefixAndReset) {
    for (const char* folder : {"Arcade", "Games", "Utilities"}) {
        addDisk(folder);
    }
    auto model = libraryModel();
    CategoriesSheet sheet(*model, model->library(), false);
    sheet.show();
    EXPECT_FALSE(sheet.addButton()->isEnabled());
    EXPECT_EQ(sheet.addButton()->text(), "Every folder is already a category");

    click(sheet.rows()[0]->check());
    EXPECT_EQ(shownPaths(sheet), (Paths{"Games", "Utilities"})) << "the check mark takes it off";
    EXPECT_TRUE(everyBoxOn(sheet)) << "the row that moved up shows its own category's box on";
    ASSERT_TRUE(sheet.addButton()->isEnabled());
    click(sheet.addButton());
    ASSERT_TRUE(sheet.addList()->isVisible());
    ASSERT_EQ(sheet.addList()->count(), 1);
    QListWidgetItem* arcade = sheet.addList()->item(0);
    EXPECT_EQ(arcade->text(), "Arcade");
    QTest::mouseClick(sheet.addList()->viewport(), Qt::LeftButton, {},
                      sheet.addList()->visualItemRect(arcade).center());
    EXPECT_EQ(shownPaths(sheet), (Paths{"Games", "Utilities", "Arcade"})) << "added at the end";
    EXPECT_FALSE(sheet.addList()->isVisible()) << "choosing closes the list";

    click(sheet.prefixToggle());
    EXPECT_TRUE(model->library().hub().prefixSubfolder);
    ASSERT_TRUE(stored());
    EXPECT_TRUE(stored()->prefixSubfolder);

    click(sheet.resetButton());
    EXPECT_EQ(shownPaths(sheet), (Paths{"Arcade", "Games", "Utilities"})) << "A to Z again";
    EXPECT_TRUE(everyBoxOn(sheet)) << "after the reset too";
    EXPECT_FALSE(sheet.prefixToggle()->isChecked());
    EXPECT_FALSE(m_prefs.contains(ShareSettings::hubKey(library())))
        << "the library's stored categories are gone";
}

TEST_F(CategoriesSheetTest, NotesForNoFoldersAndForMoreThanTheCardShows) {
    m_dir.write("lib/Loose.po", test::ProDosBytes(280).volume("LOOSE").bytes());
    auto model = libraryModel();
    {
        CategoriesSheet sheet(*model, model->library(), false);
        sheet.show();
        EXPECT_TRUE(sheet.rows().empty());
        EXPECT_FALSE(sheet.addButton()->isEnabled()) << "no folder to offer";
        EXPECT_TRUE(showsText(sheet, "No subfolders in the library yet."));
        EXPECT_FALSE(showsText(sheet, "No categories.")) << "only the no-subfolders text";
    }
    for (int i = 1; i <= 13; ++i) {
        addDisk("Folder " + std::to_string(100 + i));
    }
    model->library().rescan();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model->library().scanning(); }, 10000));
    CategoriesSheet sheet(*model, model->library(), false);
    sheet.show();
    EXPECT_EQ(sheet.rows().size(), 13u);
    EXPECT_TRUE(showsText(sheet, "13 categories. The card shows the first 12; the last 1 never"))
        << "the thirteenth category never reaches the card";
}

} // namespace
} // namespace vorn
