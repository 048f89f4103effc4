#pragma once
// The line under the table's title: how many images (and bootable), tracks and pictures
// the filter shows, what is still converting, what was skipped (with a way to the
// conversion help), and "Rescan".

#include <QWidget>

namespace vorn {

class A2Button;
class LibraryModel;
class Look;
class ToolsModel;

class CountsLine : public QWidget {
    Q_OBJECT
public:
    CountsLine(LibraryModel& library, ToolsModel& tools, Look& look, QWidget* parent = nullptr);

    /// The parts shown now, as the user reads them.
    QStringList texts() const;
    A2Button* rescanButton() const { return m_rescan; }

private:
    void rebuild();

    LibraryModel& m_library;
    ToolsModel& m_tools;
    Look& m_look;
    QWidget* m_parts;
    A2Button* m_rescan;
};

} // namespace vorn
