#pragma once
// The window's content: the title row, the share card, the sidebar and the library table
// on either side of the split handle, and the status strip, on the look's background with
// the 8-bit look's scanlines over everything. Snapshot mode draws the same content.

#include "AppInfo.h"

#include <QWidget>

class QVariantAnimation;

namespace vorn {

class LibraryPane;
class ShareCard;
class ShareModel;
class Sidebar;
class SplitHandle;
class StatusStrip;
class TitleRow;

class ContentView : public QWidget {
    Q_OBJECT
public:
    ContentView(ShareModel& model, const AppInfo& info, bool snapshotMode,
                QWidget* parent = nullptr);

    /// The limits of the sidebar's width.
    static constexpr double minSidebar = 40;
    static constexpr double maxSidebar = 420;

    TitleRow* titleRow() const { return m_title; }
    ShareCard* card() const { return m_card; }
    Sidebar* sidebar() const { return m_sidebar; }
    SplitHandle* splitHandle() const { return m_handle; }
    LibraryPane* library() const { return m_library; }
    StatusStrip* statusStrip() const { return m_status; }

    double sidebarWidth() const { return m_sidebarWidth; }
    /// Within the limits; not stored.
    void setSidebarWidth(double width);
    /// The sidebar's fitting width, within the limits, reached in 0.15 s and then stored.
    void fitSidebar();

private:
    void restyle();
    void orderTabs();
    void storeSidebarWidth();
    void pressStart();

    ShareModel& m_model;
    TitleRow* m_title;
    ShareCard* m_card;
    Sidebar* m_sidebar;
    SplitHandle* m_handle;
    LibraryPane* m_library;
    StatusStrip* m_status;
    QVariantAnimation* m_fit;
    double m_sidebarWidth = 200;
};

} // namespace vorn
