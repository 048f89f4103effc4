#include "VersionsSheet.h"

#include "model/ShareModel.h"
#include "ui/A2Button.h"
#include "ui/ThemedLabel.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace vorn {
namespace {

QString qText(const std::string& text) {
    return QString::fromStdString(text);
}

// "2026-12-05 14:03:22-05:00   12 blocks   6 KB", and what the listing notes of it (changed
// behind the share's back, damaged). A journal of a block or two is smaller than a kilobyte.
QString rowText(const Version& version) {
    QString when = qText(version.id);
    when.replace('T', ' ');
    const QString size = version.bytes < 1024 ? QString::number(version.bytes) + " bytes"
                                              : qText(ShareModel::sizeString(version.bytes));
    QString text = when + "   " + QString::number(version.blocks) +
                   (version.blocks == 1 ? " block" : " blocks") + "   " + size;
    if (const std::string note = version.note(); !note.empty()) {
        text += "   " + qText(note);
    }
    return text;
}

} // namespace

VersionsSheet::VersionsSheet(ShareModel& model, bool snapshotMode, QWidget* parent)
    : Sheet(model, snapshotMode, "Versions", "Done", parent),
      m_empty(text(11, Tone::dim,
                   "No versions yet. One is kept before the first write of each session of "
                   "the card's writes.",
                   true)),
      m_list(new QListWidget(this)), m_copy(new A2Button(model, "Restore as Copy", this)),
      m_inPlace(new A2Button(model, "Restore in Place", this)),
      m_outcome(text(11, Tone::dim, QString(), true)) {
    setMinimumSize(560, 380);
    body()->addWidget(text(11, Tone::dim,
                           "The image as it was before each session of the card's writes, "
                           "newest first. Restoring in place keeps the image as it is now as a "
                           "version too, so a restore can be undone.",
                           true));
    m_list->setAccessibleName("Versions");
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    body()->addWidget(m_empty);
    body()->addWidget(m_list, 1);
    m_copy->setToolTip("Write the chosen version into a new file beside the image.");
    m_inPlace->setToolTip("Bring the image itself back to the chosen version.");
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(12);
    buttons->addWidget(m_copy);
    buttons->addWidget(m_inPlace);
    buttons->addStretch(1);
    body()->addLayout(buttons);
    body()->addWidget(m_outcome);
    connect(m_list, &QListWidget::itemSelectionChanged, this, [this] {
        m_copy->setEnabled(chosenId().has_value());
        m_inPlace->setEnabled(chosenId().has_value());
    });
    connect(m_copy, &QPushButton::clicked, this, &VersionsSheet::restoreAsCopy);
    connect(m_inPlace, &QPushButton::clicked, this, &VersionsSheet::restoreInPlace);
    connect(&model, &ShareModel::sheetsChanged, this, &VersionsSheet::follow);
    connect(&model, &ShareModel::lookChanged, this, &VersionsSheet::restyleList);
    connect(&model, &ShareModel::logChanged, this, &VersionsSheet::readLog);
    restyleList();
    follow();
    resize(620, 420);
}

void VersionsSheet::closeByUser() {
    model().setVersionsImage(std::nullopt);
}

void VersionsSheet::follow() {
    const std::optional<DiskImage>& image = model().versionsImage();
    if (!image) {
        m_image.reset(); // opened again later, the sheet reads the versions afresh
        followFlag(false);
        return;
    }
    if (image != m_image) {
        m_image = image;
        setTitle("Versions of " + qText(image->url.filename().string()));
        m_outcome->setShownText(QString());
        const std::vector<std::string>& log = model().logLines();
        m_lastLogLine = log.empty() ? std::string() : log.back();
        reload();
    }
}

// The card may begin a new session while the sheet is open: the share's log says so, in
// one of the lines that came since the sheet last looked.
void VersionsSheet::readLog() {
    const std::vector<std::string>& log = model().logLines();
    const bool kept =
        m_image && std::any_of(log.rbegin(), std::find(log.rbegin(), log.rend(), m_lastLogLine),
                               [this](const std::string& line) {
                                   return line.ends_with("version kept: " + m_image->relPath());
                               });
    m_lastLogLine = log.empty() ? std::string() : log.back();
    if (kept) {
        reload();
    }
}

void VersionsSheet::reload() {
    m_list->clear();
    m_ids.clear();
    for (const Version& version : model().versions(*m_image)) {
        m_list->addItem(rowText(version));
        m_ids.push_back(version.id);
    }
    m_empty->setVisible(m_ids.empty());
    m_list->setVisible(!m_ids.empty());
    if (!m_ids.empty()) {
        m_list->setCurrentRow(0);
    }
    m_copy->setEnabled(chosenId().has_value());
    m_inPlace->setEnabled(chosenId().has_value());
}

// The list's font and row height follow the look, as the table's do.
void VersionsSheet::restyleList() {
    m_list->setFont(model().theme().font(12));
}

std::optional<std::string> VersionsSheet::chosenId() const {
    const int row = m_list->currentRow();
    if (row < 0 || std::size_t(row) >= m_ids.size() || m_list->selectedItems().isEmpty()) {
        return std::nullopt;
    }
    return m_ids[std::size_t(row)];
}

void VersionsSheet::restoreAsCopy() {
    const std::optional<std::string> id = chosenId();
    if (!m_image || !id) {
        return;
    }
    if (const auto copy = model().restoreAsCopy(*m_image, *id)) {
        tell("Restored as " + qText(copy->filename().string()) + ".", false);
    } else {
        tell(qText(model().lastError().value_or("Restore failed")), true);
    }
}

void VersionsSheet::restoreInPlace() {
    const std::optional<std::string> id = chosenId();
    if (!m_image || !id) {
        return;
    }
    if (model().restoreInPlace(*m_image, *id)) {
        tell(qText(model().lastError().value_or("Restored " + m_image->url.filename().string() +
                                                " to " + *id + ".")),
             false);
        reload();
    } else {
        tell(qText(model().lastError().value_or("Restore failed")), true);
    }
}

void VersionsSheet::tell(const QString& text, bool failed) {
    m_outcome->setTone(failed ? Tone::error : Tone::accent);
    m_outcome->setShownText(text);
}

} // namespace vorn
