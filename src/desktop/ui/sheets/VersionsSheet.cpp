#include "VersionsSheet.h"

#include "model/QtText.h"
#include "model/ShareModel.h"
#include "platform/SizeText.h"
#include "ui/A2Button.h"
#include "ui/ThemedLabel.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace vorn {
namespace {

const char* const kNoVersions = "No versions yet. One is kept before the first write of "
                                "each session of the card's writes.";

// "2026-12-05 14:03:22-05:00   12 blocks   6 KB", and what the listing notes of it (changed
// behind the share's back, damaged). A journal of a block or two is smaller than a kilobyte.
QString rowText(const Version& version) {
    QString when = qText(version.id);
    when.replace('T', ' ');
    const QString size = qText(SizeText::withBytes(version.bytes, "bytes"));
    QString text = when + "   " + QString::number(version.blocks) +
                   (version.blocks == 1 ? " block" : " blocks") + "   " + size;
    if (const std::string note = version.note(); !note.empty()) {
        text += "   " + qText(note);
    }
    return text;
}

} // namespace

VersionsSheet::VersionsSheet(ShareModel& model, VersionsModel& versions, bool snapshotMode,
                             QWidget* parent)
    : Sheet(model, snapshotMode, "Versions", "Done", parent), m_versions(versions),
      m_empty(text(11, Tone::dim, kNoVersions, true)), m_list(new QListWidget(this)),
      m_copy(new A2Button(model.look(), "Restore as Copy", this)),
      m_inPlace(new A2Button(model.look(), "Restore in Place", this)),
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
    connect(m_list, &QListWidget::itemSelectionChanged, this, &VersionsSheet::showWork);
    connect(m_copy, &QPushButton::clicked, this, &VersionsSheet::restoreAsCopy);
    connect(m_inPlace, &QPushButton::clicked, this, &VersionsSheet::restoreInPlace);
    connect(&versions, &VersionsModel::imageChanged, this, &VersionsSheet::follow);
    connect(&model.look(), &Look::changed, this, &VersionsSheet::restyleList);
    connect(&versions, &VersionsModel::versionsChanged, this, &VersionsSheet::reload);
    connect(&model, &ShareModel::workChanged, this, &VersionsSheet::showWork);
    connect(&versions, &VersionsModel::restoreEnded, this,
            [this](bool restored, const std::string& message) { tell(qText(message), !restored); });
    restyleList();
    follow();
    resize(620, 420);
}

void VersionsSheet::closeByUser() {
    m_versions.setImage(std::nullopt);
}

void VersionsSheet::follow() {
    const std::optional<DiskImage>& image = m_versions.image();
    if (!image) {
        m_image.reset(); // opened again later, the sheet reads the versions afresh
        followFlag(false);
        return;
    }
    if (image != m_image) {
        m_image = image;
        setTitle("Versions of " + qText(image->path.filename().string()));
        m_outcome->setShownText(QString());
        m_list->clear();
        m_ids.clear();
        m_empty->setShownText("Reading versions...");
        m_empty->setVisible(true);
        m_list->setVisible(false);
        showWork();
        m_versions.list(*image);
    }
}

void VersionsSheet::reload() {
    if (!m_image || m_versions.versionsOf() != m_image->relPath()) {
        return; // the listing of another image, asked for before this one
    }
    m_list->clear();
    m_ids.clear();
    m_empty->setShownText(kNoVersions);
    for (const Version& version : m_versions.versions()) {
        m_list->addItem(rowText(version));
        m_ids.push_back(version.id);
    }
    m_empty->setVisible(m_ids.empty());
    m_list->setVisible(!m_ids.empty());
    if (!m_ids.empty()) {
        m_list->setCurrentRow(0);
    }
    showWork();
}

// A restore under way names itself on its button; no other starts until it is done.
void VersionsSheet::showWork() {
    const bool copying = model().work().busy(ModelWorker::Job::copy);
    const bool restoring = model().work().busy(ModelWorker::Job::restore);
    m_copy->setText(copying ? "Copying..." : "Restore as Copy");
    m_inPlace->setText(restoring ? "Restoring..." : "Restore in Place");
    const bool free = chosenId().has_value() && !copying && !restoring;
    m_copy->setEnabled(free);
    m_inPlace->setEnabled(free);
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
    m_outcome->setShownText(QString());
    m_versions.restoreAsCopy(*m_image, *id);
}

void VersionsSheet::restoreInPlace() {
    const std::optional<std::string> id = chosenId();
    if (!m_image || !id) {
        return;
    }
    m_outcome->setShownText(QString());
    m_versions.restoreInPlace(*m_image, *id);
}

void VersionsSheet::tell(const QString& text, bool failed) {
    m_outcome->setTone(failed ? Tone::error : Tone::accent);
    m_outcome->setShownText(text);
}

} // namespace vorn
