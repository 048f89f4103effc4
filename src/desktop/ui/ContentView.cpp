#include "ContentView.h"

#include "A2Button.h"
#include "A2Toggle.h"
#include "CountsLine.h"
#include "FolderTreeView.h"
#include "KindRow.h"
#include "LibraryPane.h"
#include "LibraryView.h"
#include "LookStyle.h"
#include "LookSwitch.h"
#include "ScanlineOverlay.h"
#include "ShareCard.h"
#include "Sidebar.h"
#include "SplitHandle.h"
#include "StatusStrip.h"
#include "ThemedField.h"
#include "TitleRow.h"
#include "model/ShareModel.h"
#include "model/SidebarFit.h"

#include <QHBoxLayout>
#include <QShortcut>
#include <QVBoxLayout>
#include <QVariantAnimation>
#include <algorithm>

namespace vorn {

ContentView::ContentView(ShareModel& model, const AppInfo& info, bool snapshotMode, QWidget* parent)
    : QWidget(parent), m_model(model), m_title(new TitleRow(model, info, this)),
      m_card(new ShareCard(model, snapshotMode, this)),
      m_sidebar(new Sidebar(model, model.library(), model.look(), this)),
      m_handle(new SplitHandle(
          model.look(), [this] { return m_sidebarWidth; }, this)),
      m_library(new LibraryPane(model, this)), m_status(new StatusStrip(model, this)),
      m_fit(new QVariantAnimation(this)) {
    setAutoFillBackground(true);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 10, 12, 4);
    column->setSpacing(10);
    column->addWidget(m_title);
    column->addWidget(m_card);
    auto* split = new QHBoxLayout;
    split->setSpacing(0);
    split->addWidget(m_sidebar);
    split->addWidget(m_handle);
    split->addWidget(m_library, 1);
    column->addLayout(split, 1);
    column->addWidget(m_status);
    new ScanlineOverlay(model.look(), this);

    setSidebarWidth(model.sidebarWidth());
    connect(m_handle, &SplitHandle::resizeTo, this, &ContentView::setSidebarWidth);
    connect(m_handle, &SplitHandle::resizeEnded, this, &ContentView::storeSidebarWidth);
    connect(m_handle, &SplitHandle::fitRequested, this, &ContentView::fitSidebar);
    m_fit->setDuration(150);
    m_fit->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_fit, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { setSidebarWidth(value.toDouble()); });
    connect(m_fit, &QVariantAnimation::finished, this, &ContentView::storeSidebarWidth);
    for (auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, &ContentView::pressStart);
    }
    connect(&model.look(), &Look::changed, this, &ContentView::restyle);
    restyle();
    orderTabs();
}

// Tab goes through the window as it reads, top to bottom and left to right, rather than
// in the order the parts happened to be made.
void ContentView::orderTabs() {
    std::vector<QWidget*> chain{m_title->toolsButton(),      m_title->lookSwitch()->eightBit(),
                                m_title->lookSwitch()->gs(), m_card->chooseButton(),
                                m_card->writableToggle(),    m_card->advertiseToggle()};
    if (m_card->portField() != nullptr) {
        chain.push_back(m_card->portField());
    }
    chain.insert(chain.end(), {m_card->copyButton(), m_card->startButton()});
    for (KindFilter kind :
         {KindFilter::all, KindFilter::disks, KindFilter::audio, KindFilter::pictures}) {
        chain.push_back(m_sidebar->kindRow(kind));
    }
    chain.insert(chain.end(), {m_sidebar->categoriesButton(), m_sidebar->expandButton(),
                               m_sidebar->collapseButton(), m_sidebar->tree(), m_handle,
                               m_library->counts()->rescanButton(), m_library->view()});
    for (std::size_t i = 1; i < chain.size(); ++i) {
        QWidget::setTabOrder(chain[i - 1], chain[i]);
    }
}

void ContentView::restyle() {
    setPalette(LookStyle::palette(m_model.theme()));
    update();
}

void ContentView::setSidebarWidth(double width) {
    m_sidebarWidth = std::clamp(width, minSidebar, maxSidebar);
    m_sidebar->setFixedWidth(int(std::lround(m_sidebarWidth)));
}

void ContentView::storeSidebarWidth() {
    m_model.setSidebarWidth(m_sidebarWidth);
}

void ContentView::fitSidebar() {
    m_fit->stop();
    m_fit->setStartValue(m_sidebarWidth);
    m_fit->setEndValue(std::clamp(SidebarFit::width(m_model), minSidebar, maxSidebar));
    m_fit->start();
}

// Return presses the start (or stop) button, wherever the focus is in the window.
void ContentView::pressStart() {
    A2Button* start = m_card->startButton();
    if (start->isEnabled()) {
        start->animateClick();
    }
}

} // namespace vorn
