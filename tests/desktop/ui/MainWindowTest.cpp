// The window driven by real clicks and keys on the offscreen platform: sharing with the
// card, sorting, filtering by kind and folder, the categories the card sees, the preview
// of a picture row, the menus and the rows' context menus.

#include "ui/MainWindow.h"

#include "WindowFixture.h"
#include "model/FileRevealer.h"
#include "model/LibraryTableModel.h"
#include "model/SidebarFit.h"
#include "model/TableColumn.h"
#include "support/DosDisks.h"
#include "ui/A2Button.h"
#include "ui/A2Toggle.h"
#include "ui/ContentView.h"
#include "ui/FolderTreeView.h"
#include "ui/KindRow.h"
#include "ui/LibraryHeader.h"
#include "ui/LibraryPane.h"
#include "ui/LibraryView.h"
#include "ui/LookSwitch.h"
#include "ui/QtFolderChooser.h"
#include "ui/RowDelegate.h"
#include "ui/ShareCard.h"
#include "ui/Sidebar.h"
#include "ui/SplitHandle.h"
#include "ui/StatusStrip.h"
#include "ui/ThemedField.h"
#include "ui/ThemedLabel.h"
#include "ui/TitleRow.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <future>

namespace vorn {
namespace {

using Part = FolderTreeView::Part;

class RecordingRevealer : public FileRevealer {
public:
    explicit RecordingRevealer(std::vector<std::filesystem::path>& shown) : m_shown(shown) {}
    void reveal(const std::filesystem::path& file) override { m_shown.push_back(file); }

private:
    std::vector<std::filesystem::path>& m_shown;
};

class MainWindowTest : public test::WindowFixture {
protected:
    ContentView& content() { return *m_window->content(); }
    LibraryView& table() { return *content().library()->view(); }
    FolderTreeView& tree() { return *content().sidebar()->tree(); }
    // What the table lists now (replaced by the next scan).
    const LibraryContents& listed() { return m_model->library().contents(); }

    // The Name column of the table, top to bottom, as shown.
    QStringList names() {
        QStringList shown;
        const QAbstractItemModel& rows = *table().model();
        for (int row = 0; row < rows.rowCount(); ++row) {
            shown << rows.index(row, int(TableColumn::name)).data().toString();
        }
        return shown;
    }
    void clickHeader(TableColumn column) {
        LibraryHeader& header = *table().header();
        const int x =
            header.sectionViewportPosition(int(column)) + header.sectionSize(int(column)) / 2;
        QTest::mouseClick(header.viewport(), Qt::LeftButton, {}, QPoint(x, header.height() / 2));
    }
    void clickFolder(const std::optional<std::string>& path, Part part,
                     Qt::KeyboardModifiers keys = {}) {
        const std::optional<int> row = tree().rowOf(path);
        ASSERT_TRUE(row) << path.value_or("(root)") << " is not listed in the sidebar";
        const QPoint at = tree().partRect(*row, part).center();
        QTest::mouseMove(&tree(), at);
        QTest::mouseClick(&tree(), Qt::LeftButton, keys, at);
    }
    QStringList listedFolders() {
        QStringList listed;
        for (const auto& row : tree().rows()) {
            listed << QString::fromStdString(row.value_or("(root)"));
        }
        return listed;
    }
    // The row menu of the item `id` (as "i:Games/Zork.po"), as a right click opens it.
    std::unique_ptr<QMenu> menuOf(const std::string& id) {
        auto menu = std::make_unique<QMenu>();
        const LibraryTableModel& rows = m_model->library().tableModel();
        table().fillMenu(*menu, rows.tableRow(*rows.rowOf(id)));
        return menu;
    }
    bool hubLists(const std::string& folder) {
        return ask("/vorn-your-hub.json").body.find("\"cat\": \"" + folder + "\"") !=
               std::string::npos;
    }
};

TEST_F(MainWindowTest, StartButtonAndReturnKeyShareAndStop) {
    open();
    A2Button& start = *content().card()->startButton();
    EXPECT_EQ(start.text(), "Start Sharing");
    QTest::mouseClick(&start, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_model->sharing(); }, 5000))
        << "a click on Start Sharing starts the share";
    EXPECT_EQ(ask("/vorn-volumes.json").status, 200) << "the card reaches the share";
    EXPECT_TRUE(QTest::qWaitFor([&] { return start.text() == "Stop Sharing"; }, 2000));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return content().statusStrip()->parts().contains("req 1"); }, 5000))
        << content().statusStrip()->parts().join(" | ").toStdString();
    EXPECT_EQ(content().statusStrip()->parts().value(0), "Sharing");

    // Return presses the button wherever the focus is, even in the table.
    table().setFocus();
    QTest::keyClick(&table(), Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_model->sharing(); }, 2000)) << "Return stops";
    EXPECT_EQ(ask("/vorn-volumes.json").status, 0) << "nothing listens any more";
    EXPECT_EQ(start.text(), "Start Sharing");

    // Without a library there is nothing to start, by click or by key.
    m_model->setFolderPath("");
    QTest::qWait(0);
    EXPECT_FALSE(start.isEnabled());
    QTest::keyClick(m_window.get(), Qt::Key_Return);
    EXPECT_FALSE(m_model->starting() || m_model->sharing()) << "a start begins at once, or never";
}

TEST_F(MainWindowTest, ThePortFieldAndTheAddressFollowTheShare) {
    open();
    ShareCard& card = *content().card();
    ThemedField& field = *card.portField();
    const auto shownPort = [&] {
        return card.addressLabel()->shownText().section(':', -1).chopped(1).toInt();
    };
    const int before = m_model->port();
    const int typed = test::freePort();
    ASSERT_NE(typed, before);
    field.setFocus();
    field.selectAll();
    QTest::keyClicks(&field, QString::number(typed));
    QTest::keyClick(&field, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_model->sharing(); }, 5000));
    EXPECT_EQ(m_model->port(), typed) << "Return takes the typed port before it starts";
    EXPECT_EQ(ask("/vorn-volumes.json").status, 200) << "the share listens on the typed port";
    EXPECT_EQ(shownPort(), typed);
    EXPECT_FALSE(field.isEnabled()) << "the port cannot change under a running share";

    // A port set meanwhile belongs to the next start: the card still needs this one.
    m_model->setPort(std::uint16_t(before));
    QTest::qWait(0);
    EXPECT_EQ(shownPort(), typed);
    QTest::mouseClick(card.startButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_model->sharing(); }, 2000));
    EXPECT_TRUE(field.isEnabled());
    EXPECT_EQ(shownPort(), before) << "stopped, the address is that of the next start";
    EXPECT_EQ(field.text().toInt(), before);
}

TEST_F(MainWindowTest, TheFolderDialogShowsItsExplanationInside) {
    m_dir.write("other/Other.po", test::ProDosBytes(280).volume("OTHER").bytes());
    open();
    m_model->setFolderChooser(std::make_unique<QtFolderChooser>(m_window.get()));
    const QString explanation =
        QString::fromUtf8(FolderChooser::message.data(), qsizetype(FolderChooser::message.size()));
    bool shown = false;
    QTimer::singleShot(0, m_window.get(), [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            return;
        }
        EXPECT_FALSE(dialog->windowTitle().contains("Pick")) << "title bars cut it off";
        for (const QLabel* label : dialog->findChildren<QLabel*>()) {
            shown = shown || (label->isVisible() && label->text() == explanation);
        }
        dialog->setDirectory(QString::fromStdString((m_dir / "other").string()));
        QMetaObject::invokeMethod(dialog, "accept"); // as its "Share This Folder" button
    });
    QTest::mouseClick(content().card()->chooseButton(), Qt::LeftButton);
    EXPECT_TRUE(shown) << "the explanation is a text inside the dialog";
    EXPECT_EQ(m_model->folderPath(), (m_dir / "other").string()) << "the folder chosen";
}

TEST_F(MainWindowTest, ASelectedRowReadsInEitherLook) {
    open();
    const int row = *m_model->library().tableModel().rowOf("i:Games/Zork.po");
    for (UITheme look : {UITheme::eightBit, UITheme::gs}) {
        m_model->setUITheme(look);
        const auto cell = [&](TableColumn column) {
            return table().visualRect(table().model()->index(row, int(column)));
        };
        QTest::mouseClick(table().viewport(), Qt::LeftButton, {}, cell(TableColumn::name).center());
        ASSERT_TRUE(table().selectionModel()->isRowSelected(row, {}));
        // The inverse of the look: its background colour on the selection, as the sidebar's.
        const Theme& theme = m_model->theme();
        const QColor ink = theme.isPhosphor ? theme.background : QColor(Qt::white);
        for (TableColumn column : {TableColumn::name, TableColumn::volume}) {
            const QImage shown = table().viewport()->grab(cell(column)).toImage();
            int inked = 0;
            for (int y = 0; y < shown.height(); ++y) {
                for (int x = 0; x < shown.width(); ++x) {
                    const QColor c = shown.pixelColor(x, y);
                    inked += std::abs(c.red() - ink.red()) + std::abs(c.green() - ink.green()) +
                                 std::abs(c.blue() - ink.blue()) <
                             60;
                }
            }
            EXPECT_GT(inked, 15) << "no text in the inverse colour in column " << int(column)
                                 << " of the " << storedName(look) << " look";
        }
    }
}

TEST_F(MainWindowTest, HeaderClicksSortAndFlip) {
    open();
    clickHeader(TableColumn::name);
    EXPECT_EQ(names(), QStringList({"Alpha", "Beta", "Pic", "Song", "Zork"}));
    clickHeader(TableColumn::name);
    EXPECT_EQ(names(), QStringList({"Zork", "Song", "Pic", "Beta", "Alpha"}))
        << "a second click on the same header turns the order round";
    clickHeader(TableColumn::blocks);
    EXPECT_EQ(names().mid(0, 2), QStringList({"Beta", "Zork"}))
        << "a new column sorts ascending: 280 blocks before 560";
}

TEST_F(MainWindowTest, KindRowsAndFoldersFilterTheTable) {
    open();
    LibraryPane& pane = *content().library();
    QTest::mouseClick(content().sidebar()->kindRow(KindFilter::audio), Qt::LeftButton);
    EXPECT_EQ(names(), QStringList({"Song"}));
    EXPECT_EQ(pane.title(), "Audio");

    QTest::mouseClick(content().sidebar()->kindRow(KindFilter::all), Qt::LeftButton);
    clickFolder("Games", Part::row);
    EXPECT_EQ(m_model->library().table().selectedFolder(), "Games");
    EXPECT_EQ(names().size(), 3) << names().join(", ").toStdString();
    EXPECT_EQ(pane.title(), "Disk Images, Audio & Pictures in Games");
    clickFolder("Games/Arcade/Old", Part::row);
    EXPECT_EQ(names(), QStringList({"Beta"}));
    EXPECT_EQ(pane.title(), "Disk Images, Audio & Pictures in Old");

    // Folding the tree above the selection keeps the table on that folder.
    QTest::mouseClick(content().sidebar()->collapseButton(), Qt::LeftButton);
    EXPECT_EQ(listedFolders(), QStringList({"(root)", "Art", "Games", "Music"}));
    EXPECT_EQ(names(), QStringList({"Beta"}));

    // Alt-click opens a folder with everything below it; a plain click only the folder.
    clickFolder("Games", Part::disclosure);
    EXPECT_EQ(listedFolders(), QStringList({"(root)", "Art", "Games", "Games/Arcade", "Music"}));
    clickFolder("Games", Part::disclosure);
    clickFolder("Games", Part::disclosure, Qt::AltModifier);
    EXPECT_EQ(listedFolders(),
              QStringList({"(root)", "Art", "Games", "Games/Arcade", "Games/Arcade/Old", "Music"}));

    clickFolder(std::nullopt, Part::row);
    EXPECT_FALSE(m_model->library().table().selectedFolder())
        << "the root row shows the whole library";
}

TEST_F(MainWindowTest, TheFolderTreeWorksFromTheKeyboard) {
    open();
    tree().setFocus();
    QTest::keyClick(&tree(), Qt::Key_Down);
    EXPECT_EQ(m_model->library().table().selectedFolder(), "Art") << "Down from the whole library";
    EXPECT_EQ(names(), QStringList({"Pic"}));
    QTest::keyClick(&tree(), Qt::Key_Down);
    QTest::keyClick(&tree(), Qt::Key_Left);
    EXPECT_EQ(listedFolders(), QStringList({"(root)", "Art", "Games", "Music"}))
        << "Left folds the selected folder";
    QTest::keyClick(&tree(), Qt::Key_Right, Qt::AltModifier);
    EXPECT_EQ(listedFolders().size(), 6) << "Alt-Right unfolds it with everything below";
    ASSERT_TRUE(m_model->library().hub().contains("Games"));
    QTest::keyClick(&tree(), Qt::Key_Space);
    EXPECT_FALSE(m_model->library().hub().contains("Games")) << "Space takes the category off";
}

TEST_F(MainWindowTest, TheLookSwitchShowsTheLookAndMeasuresTheColumnsAgain) {
    open();
    LookSwitch& looks = *content().titleRow()->lookSwitch();
    QTest::mouseClick(looks.eightBit(), Qt::LeftButton);
    EXPECT_TRUE(looks.eightBit()->isChecked()) << "a click on the look shown keeps it lit";
    EXPECT_FALSE(looks.gs()->isChecked());
    EXPECT_EQ(m_prefs.string("theme"), "8bit") << "and stores it";
    EXPECT_EQ(content().sidebar()->shownTitle().toStdString(), "LIBRARY")
        << "the 8-bit look's headers";
    EXPECT_EQ(content().library()->shownTitle().toStdString(), "DISK IMAGES, AUDIO & PICTURES");

    LibraryHeader& header = *table().header();
    const auto widths = [&] {
        QList<int> sizes;
        for (TableColumn column : allColumns) {
            sizes << header.sectionSize(int(column));
        }
        return sizes;
    };
    const QList<int> eightBit = widths();
    QTest::mouseClick(looks.gs(), Qt::LeftButton);
    EXPECT_EQ(m_model->uiTheme(), UITheme::gs);
    EXPECT_EQ(m_prefs.string("theme"), "gs");
    EXPECT_TRUE(looks.gs()->isChecked() && !looks.eightBit()->isChecked());
    EXPECT_EQ(content().sidebar()->shownTitle().toStdString(), "Library");
    EXPECT_NE(widths(), eightBit) << "the IIGS look's proportional font takes other widths";
    EXPECT_EQ(header.sectionSize(int(TableColumn::name)),
              int(std::lround(m_model->library().table().cols().width(TableColumn::name))))
        << "the header shows the model's new widths";
}

TEST_F(MainWindowTest, BadgeClicksChangeWhatTheCardLists) {
    open();
    QTest::mouseClick(content().card()->startButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_model->sharing(); }, 5000));
    ASSERT_TRUE(hubLists("Games")) << ask("/vorn-your-hub.json").body;

    clickFolder("Games", Part::badge);
    EXPECT_FALSE(m_model->library().hub().contains("Games"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !hubLists("Games"); }, 5000))
        << "taken off: " << ask("/vorn-your-hub.json").body;
    EXPECT_NE(tree()
                  .help(tree().partRect(*tree().rowOf("Games"), Part::badge).center())
                  .indexOf("Click to list this folder"),
              -1);

    clickFolder("Games", Part::badge);
    EXPECT_TRUE(QTest::qWaitFor([&] { return hubLists("Games"); }, 5000))
        << "put back: " << ask("/vorn-your-hub.json").body;
    EXPECT_NE(ask("/vorn-your-hub.json?i=a").body.find("\"cat\": \"Music\""), std::string::npos)
        << "the other categories stay";
}

TEST_F(MainWindowTest, SheetsFollowTheModelAndClear) {
    open();
    // A click on a picture row previews it; closing the preview forgets the picture.
    const auto row = m_model->library().tableModel().rowOf("pic:Art/Pic.shr");
    ASSERT_TRUE(row);
    const QModelIndex cell = table().model()->index(*row, int(TableColumn::name));
    QTest::mouseClick(table().viewport(), Qt::LeftButton, {}, table().visualRect(cell).center());
    ASSERT_TRUE(m_model->previewPic());
    EXPECT_EQ(m_model->previewPic()->displayName, "Pic");
    ASSERT_TRUE(m_window->previewSheet() && m_window->previewSheet()->isVisible());
    EXPECT_TRUE(m_window->previewSheet()->isModal()) << "a sheet blocks its window";
    m_window->previewSheet()->reject();
    EXPECT_FALSE(m_model->previewPic());

    // The Help menu: no "New" anywhere, and both sheets open and close through the model.
    QAction* categories = nullptr;
    QAction* tools = nullptr;
    for (QAction* action : m_window->menuBar()->findChildren<QAction*>()) {
        EXPECT_FALSE(action->text().contains("New")) << action->text().toStdString();
        categories = action->text() == "Apple II Categories..." ? action : categories;
        tools = action->text() == "Conversion Tools..." ? action : tools;
    }
    ASSERT_TRUE(categories && tools);
    categories->trigger();
    ASSERT_TRUE(m_window->categoriesSheet() && m_window->categoriesSheet()->isVisible());
    m_model->setShowCategories(false);
    EXPECT_FALSE(m_window->categoriesSheet() && m_window->categoriesSheet()->isVisible())
        << "the model's flag closes the sheet";
    tools->trigger();
    EXPECT_TRUE(m_window->conversionHelpSheet() && m_window->conversionHelpSheet()->isVisible())
        << "the tools part's flag opens its sheet";
}

TEST_F(MainWindowTest, RowMenusActOnTheirFile) {
    std::vector<std::filesystem::path> shown;
    open();
    m_model->setFileRevealer(std::make_unique<RecordingRevealer>(shown));
    const auto texts = [](const QMenu& menu) {
        QStringList list;
        for (const QAction* action : menu.actions()) {
            list << action->text();
        }
        return list;
    };
    auto image = menuOf("i:Games/Zork.po");
    EXPECT_EQ(texts(*image), QStringList({"Show in File Manager",
                                          "Snapshot (copy with today's date)", "Versions..."}));
    EXPECT_EQ(texts(*menuOf("a:Music/Song.pcm")), QStringList({"Show in File Manager"}));
    EXPECT_EQ(texts(*menuOf("pic:Art/Pic.shr")),
              QStringList({"Show in File Manager", "Preview SHR"}));

    image->actions().at(0)->trigger();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], m_dir / "lib/Games/Zork.po");
    image->actions().at(2)->trigger();
    ASSERT_TRUE(m_model->versions().image());
    EXPECT_EQ(m_model->versions().image()->relPath(), "Games/Zork.po");
    image->actions().at(1)->trigger();
    EXPECT_TRUE(QTest::qWaitFor([&] { return listed().images().size() == 4; }, 10000))
        << "the dated copy joins the library";
}

// The notice of a person's own action stays in sight when the card's next request brings
// a status from the share, which knows nothing of it.
TEST_F(MainWindowTest, AFailedSnapshotsNoticeOutlivesTheCardsNextRequest) {
    open();
    QTest::mouseClick(content().card()->startButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_model->sharing(); }, 5000));
    const auto menu = menuOf("i:Games/Zork.po");
    std::filesystem::remove(m_dir / "lib/Games/Zork.po");
    menu->actions().at(1)->trigger(); // "Snapshot (copy with today's date)"
    const auto shownError = [&] {
        for (const ThemedLabel* label : content().card()->findChildren<ThemedLabel*>()) {
            if (label->shownText().startsWith("Snapshot failed") &&
                label->isVisibleTo(m_window.get())) {
                return label->shownText();
            }
        }
        return QString();
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return !shownError().isEmpty(); }, 5000))
        << "the failed snapshot is not told";
    EXPECT_EQ(ask("/vorn-volumes.json").status, 200);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return content().statusStrip()->parts().contains("req 1"); }, 5000))
        << "the card's request did not reach the window";
    EXPECT_EQ(shownError().toStdString(), "Snapshot failed: No such file or directory")
        << "the share's status wiped the notice";
}

// A dated copy of a large image takes a while: the row's menu and the status line say it
// is under way until it is made. The copy is held at its start (it reads the clock first).
TEST_F(MainWindowTest, ASnapshotSaysCopyingUntilItIsMade) {
    open();
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    struct Releaser { // a failed assertion must not leave the worker waiting
        std::promise<void>& promise;
        ~Releaser() {
            try {
                promise.set_value();
            } catch (const std::future_error&) {
            }
        }
    } releaser{release};
    m_model->setClock([released] {
        released.wait();
        return std::chrono::system_clock::now();
    });
    menuOf("i:Games/Zork.po")->actions().at(1)->trigger();
    m_model->setClock([] { return std::chrono::system_clock::now(); });
    // The entry's text, with " (off)" when it cannot be chosen.
    const auto snapshotEntry = [&] {
        const auto menu = menuOf("i:Games/Zork.po");
        const QAction* entry = menu->actions().at(1);
        return (entry->text() + (entry->isEnabled() ? "" : " (off)")).toStdString();
    };
    const auto statusSays = [&] { return content().statusStrip()->parts().contains("Copying..."); };
    EXPECT_EQ(snapshotEntry(), "Copying... (off)") << "one copy at a time";
    EXPECT_TRUE(statusSays());

    release.set_value();
    ASSERT_TRUE(QTest::qWaitFor([&] { return listed().images().size() == 4; }, 10000))
        << "the copy is made and listed";
    EXPECT_EQ(snapshotEntry(), "Snapshot (copy with today's date)");
    EXPECT_FALSE(statusSays());
}

TEST_F(MainWindowTest, ADosOrderDiskSaysWhyItIsListed) {
    m_dir.write("lib/Games/Adventure.dsk", test::dosOrdered(test::proDosDisk("ADVENTURE")));
    open();
    const auto help = [&](const std::string& id) {
        const LibraryTableModel& rows = m_model->library().tableModel();
        const auto row = rows.rowOf(id);
        return row ? table().delegate()->help(rows.index(*row, int(TableColumn::name)), 40)
                   : QString("(not listed)");
    };
    EXPECT_EQ(help("i:Games/Adventure.dsk"), "DOS-order disk, served in ProDOS order");
    EXPECT_EQ(help("i:Games/Zork.po"), "");
}

TEST_F(MainWindowTest, SplitHandleKeepsTheSidebarWithinItsLimits) {
    open();
    QWidget& handle = *content().splitHandle();
    const QPoint middle(handle.width() / 2, handle.height() / 2);
    const auto drag = [&](int dx) {
        QTest::mousePress(&handle, Qt::LeftButton, {}, middle);
        QTest::mouseMove(&handle, middle + QPoint(dx / 2, 0));
        QTest::mouseMove(&handle, middle + QPoint(dx, 0));
        QTest::mouseRelease(&handle, Qt::LeftButton, {}, middle + QPoint(dx, 0));
        return content().sidebar()->width();
    };
    EXPECT_EQ(drag(-190), 40) << "200 - 190 is kept at the least width";
    EXPECT_EQ(drag(600), 420) << "40 + 600 is kept at the greatest";
    EXPECT_EQ(drag(-100), 320) << "a drag starts from the width the sidebar has";
    EXPECT_EQ(m_prefs.number("sidebarWidth"), 320.0) << "the width is kept for the next run";

    QTest::mouseDClick(&handle, Qt::LeftButton, {}, middle);
    const int fit = int(std::lround(SidebarFit::width(*m_model)));
    EXPECT_TRUE(QTest::qWaitFor([&] { return content().sidebar()->width() == fit; }, 2000))
        << "a double click fits the sidebar to its rows: " << fit << ", not "
        << content().sidebar()->width();
}

TEST_F(MainWindowTest, ClosingTheWindowEndsTheProgram) {
    open();
    m_model->setShowCategories(true);
    ASSERT_TRUE(m_window->categoriesSheet() && m_window->categoriesSheet()->isVisible());
    // The main loop, as main() runs it: closing the window must end it.
    QTimer::singleShot(0, m_window.get(), [this] { m_window->close(); });
    QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(2); });
    EXPECT_EQ(QApplication::exec(), 0) << "an open sheet does not keep the program running";
}

TEST_F(MainWindowTest, TabFollowsTheReadingOrder) {
    open();
    const auto after = [&](QWidget* from) {
        from->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(from, Qt::Key_Tab);
        return QApplication::focusWidget();
    };
    EXPECT_EQ(after(content().card()->advertiseToggle()),
              static_cast<QWidget*>(content().card()->portField()))
        << "the port field comes after the toggles beside it";
    EXPECT_EQ(after(content().card()->startButton()),
              static_cast<QWidget*>(content().sidebar()->kindRow(KindFilter::all)))
        << "from the share card into the sidebar's first row";
}

} // namespace
} // namespace vorn
