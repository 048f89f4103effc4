#pragma once
// The library table: the model's rows in its order, at the model's column widths, drawn by
// the row delegate. A click on a picture row opens its preview; each kind of row has its
// own context menu. The width it has is reported to the model, which lays the columns out.

#include <QTableView>

namespace vorn {

class LibraryHeader;
class RowDelegate;
class LibraryModel;
class Look;
class ShareModel;
class VersionsModel;
class TableRow;

class LibraryView : public QTableView {
    Q_OBJECT
public:
    /// `model` for its own actions (preview, reveal, snapshot), its work and the lights.
    LibraryView(ShareModel& model, LibraryModel& library, VersionsModel& versions, Look& look,
                QWidget* parent = nullptr);

    LibraryHeader* header() const { return m_header; }
    RowDelegate* delegate() const { return m_delegate; }
    /// The menu of a row, as a right click shows it; empty for items still converting.
    void fillMenu(QMenu& menu, const TableRow& row);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void applyColumns();
    void clickedAt(const QModelIndex& index);
    void restyle();

    ShareModel& m_model;
    LibraryModel& m_library;
    VersionsModel& m_versions;
    Look& m_look;
    LibraryHeader* m_header;
    RowDelegate* m_delegate;
};

} // namespace vorn
