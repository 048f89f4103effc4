#pragma once
// One kind row of the sidebar ("All", "Disk Images", "Audio", "Pictures") with its count;
// the row of the table's current filter is highlighted, a click chooses the filter.

#include "model/TableKeys.h"

#include <QAbstractButton>

namespace vorn {

class LibraryModel;
class Look;

class KindRow : public QAbstractButton {
    Q_OBJECT
public:
    KindRow(LibraryModel& library, Look& look, KindFilter kind, QWidget* parent = nullptr);

    KindFilter kind() const { return m_kind; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();

    LibraryModel& m_library;
    Look& m_look;
    KindFilter m_kind;
};

} // namespace vorn
