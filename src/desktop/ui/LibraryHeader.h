#pragma once
// The library table's header: one sort header per shown column, titled as the look shows
// it, with the current sort marked. Each column's trailing edge is an 18-pixel handle that
// lights under the pointer: drag it to set the width, double-click it to fit the column.
// Its menu offers "Fit All Columns".

#include <QHeaderView>

namespace vorn {

class LibraryModel;
class Look;

class LibraryHeader : public QHeaderView {
    Q_OBJECT
public:
    LibraryHeader(LibraryModel& library, Look& look, QWidget* parent = nullptr);

    /// Gives every column the model's width; changes made here are not fed back.
    void applyColumns();
    QSize sizeHint() const override;

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    bool viewportEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    /// The column whose trailing handle lies under `x`, if any.
    int handleAt(int x) const;
    void resized(int logicalIndex, int oldSize, int newSize);

    LibraryModel& m_library;
    Look& m_look;
    bool m_applying = false;
    int m_hot = -1;
};

} // namespace vorn
