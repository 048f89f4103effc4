#include "model/LibraryTableModel.h"

#include "desktop/model/TableFixture.h"

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace vorn {
namespace {

using Names = std::vector<std::string>;

// The model tester reports broken model contracts as warnings; every one is a failure.
QStringList g_warnings;

void collectWarnings(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtDebugMsg && type != QtInfoMsg) {
        g_warnings.append(message);
    }
}

class LibraryTableModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_warnings.clear();
        m_previousHandler = qInstallMessageHandler(collectWarnings);
        m_table.setContents(test::shared(test::sampleContents()));
        m_model.refresh();
    }
    void TearDown() override {
        qInstallMessageHandler(m_previousHandler);
        EXPECT_TRUE(g_warnings.isEmpty()) << g_warnings.join("\n").toStdString();
    }

    QString cell(int row, TableColumn column) const {
        return m_model.index(row, int(column)).data().toString();
    }
    Names modelNames() const {
        Names out;
        for (int r = 0; r < m_model.rowCount(); ++r) {
            out.push_back(cell(r, TableColumn::name).toStdString());
        }
        return out;
    }
    QString selectedId() const {
        const QModelIndexList rows = m_selection.selectedRows();
        return rows.size() == 1 ? rows[0].data(LibraryTableModel::IdRole).toString() : "<none>";
    }

    QtMessageHandler m_previousHandler = nullptr;
    LibraryTable m_table;
    LibraryTableModel m_model{m_table};
    QAbstractItemModelTester m_tester{&m_model,
                                      QAbstractItemModelTester::FailureReportingMode::Warning};
    QItemSelectionModel m_selection{&m_model};
};

TEST_F(LibraryTableModelTest, SelectionFollowsItsRowThroughResortAndRescan) {
    ASSERT_EQ(m_model.rowCount(), 7);
    const int zork = m_model.rowOf("i:Games/Zork.po").value();
    m_selection.select(m_model.index(zork, 0),
                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_selection.setCurrentIndex(m_model.index(zork, 1), QItemSelectionModel::NoUpdate);

    m_table.setSort(SortKey::name);
    m_model.refresh();
    EXPECT_EQ(modelNames(), test::names(m_table.sortedRows()));
    EXPECT_EQ(selectedId(), "i:Games/Zork.po");
    EXPECT_EQ(m_selection.currentIndex().row(), 6) << "Zork comes last by name";

    test::ScanLists rescanned = test::sampleContents();
    rescanned.images.erase(rescanned.images.begin() + 1); // alpha is gone
    rescanned.images.push_back(test::image("Gamma", "Games", 800, false, "GAMMA", 6));
    rescanned.images[0].blocks = 1600;
    rescanned.images[0].bytes = 1600 * 512;
    QSignalSpy resets(&m_model, &QAbstractItemModel::modelReset);
    QSignalSpy redraws(&m_model, &QAbstractItemModel::dataChanged);
    m_table.setContents(test::shared(std::move(rescanned)));
    m_model.refresh();
    EXPECT_EQ(modelNames(),
              (Names{"Abstract", "Anthem", "Art Pic", "Beta", "Gamma", "Song", "Zork"}));
    EXPECT_EQ(selectedId(), "i:Games/Zork.po") << "a rescan keeps the selection";
    EXPECT_EQ(cell(6, TableColumn::blocks), "1600") << "the kept row shows its new content";
    ASSERT_EQ(redraws.count(), 1) << "and the view is told to redraw it";
    EXPECT_LE(redraws[0][0].toModelIndex().row(), 6);
    EXPECT_GE(redraws[0][1].toModelIndex().row(), 6);
    EXPECT_EQ(resets.count(), 0) << "a small change is told row by row, not as a reset";
}

TEST_F(LibraryTableModelTest, AWholesaleChangeResetsCleanly) {
    // Every third disk leaves and another arrives between each pair that stays.
    const auto library = [](int skip) {
        test::ScanLists c;
        for (int n = 0; n < 600; ++n) {
            if (n % 3 != skip) {
                c.images.push_back(test::image("Disk " + std::to_string(1000 + n), "", 280, false,
                                               std::nullopt, 1));
            }
        }
        return test::shared(std::move(c));
    };
    m_table.setContents(library(0));
    m_model.refresh();
    ASSERT_EQ(cell(0, TableColumn::name), "Disk 1001");
    QSignalSpy resets(&m_model, &QAbstractItemModel::modelReset);
    m_table.setContents(library(1));
    m_model.refresh();
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(m_model.rowCount(), 400);
    EXPECT_EQ(cell(0, TableColumn::name), "Disk 1000");
    EXPECT_EQ(cell(1, TableColumn::name), "Disk 1002");
}

// A conversion that failed is not tried again until its source changes or the tools are
// rechecked; its row stays, dimmed as a pending one, so a person can see why.
TEST_F(LibraryTableModelTest, FailedConversionsStayListed) {
    test::ScanLists c = test::sampleContents();
    c.audio.failed = {"Broken"};
    c.audio.failedReasons = {"exit status 1"};
    c.stills.failed = {"Torn"};
    c.stills.failedReasons = {"too large"};
    m_table.setContents(test::shared(c));
    m_model.refresh();
    const std::optional<int> audio = m_model.rowOf("fa:Broken");
    const std::optional<int> picture = m_model.rowOf("fp:Torn");
    ASSERT_TRUE(audio && picture) << "failed rows are listed";
    EXPECT_EQ(cell(*audio, TableColumn::volume), "conversion failed");
    EXPECT_EQ(cell(*picture, TableColumn::volume), "conversion failed");
    EXPECT_EQ(cell(*audio, TableColumn::size), "-");
    EXPECT_EQ(m_model.index(*picture, 1).data(Qt::ToolTipRole).toString(),
              "Conversion failed: too large")
        << "the converter's reason is the row's help";
}

// The once-a-second tick while sharing must not redraw whole rows of a large library.
TEST_F(LibraryTableModelTest, ATickRedrawsOnlyTheLights) {
    const int song = m_model.rowOf("a:Music/Song.pcm").value();
    m_model.setActivityFunction([](const TableRow& row) {
        return row.kind() == TableRow::Kind::track ? Activity::read : Activity::none;
    });
    QSignalSpy changes(&m_model, &QAbstractItemModel::dataChanged);
    m_model.refreshActivity();
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes[0][0].toModelIndex().column(), 0) << "a tick redraws only the lights";
    EXPECT_EQ(changes[0][1].toModelIndex().column(), 0);
    EXPECT_EQ(m_model.index(song, 0).data(LibraryTableModel::ActivityRole).toInt(),
              int(Activity::read));
}

} // namespace
} // namespace vorn
