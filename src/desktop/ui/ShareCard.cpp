#include "ShareCard.h"

#include "A2Button.h"
#include "A2Toggle.h"
#include "BadgeMark.h"
#include "ThemedField.h"
#include "ThemedLabel.h"
#include "library/ShareSettings.h"
#include "model/QtText.h"
#include "model/ShareModel.h"

#include <QHBoxLayout>
#include <QIntValidator>
#include <QVBoxLayout>

namespace vorn {
namespace {

ThemedLabel* label(ShareModel& model, int size, Tone tone, bool bold, const QString& text,
                   QWidget* parent) {
    auto* l = new ThemedLabel(model.look(), size, tone, bold, parent);
    l->setShownText(text);
    return l;
}

} // namespace

ShareCard::ShareCard(ShareModel& model, bool snapshotMode, QWidget* parent)
    : Panel(model.look(), parent), m_model(model),
      m_choose(new A2Button(model.look(), "Choose...", this)),
      m_writable(new A2Toggle(model.look(), "Writable", this)),
      m_advertise(new A2Toggle(model.look(), "Announce on LAN", this)),
      m_copy(new A2Button(model.look(), "Copy", this)),
      m_start(new A2Button(model.look(), "Start Sharing", this)),
      m_path(new ThemedLabel(model.look(), 12, Tone::text, false, this)),
      m_url(new ThemedLabel(model.look(), 12, Tone::text, true, this)) {
    setAccessibleName("Share");
    auto* column = new QVBoxLayout(this);
    column->setSpacing(7);
    column->addLayout(libraryLine());
    column->addLayout(settingsLine(snapshotMode));
    column->addWidget(label(model, 11, Tone::dim, false,
                            "On the Apple II: hold M at power-on, or open Vorn Config "
                            "(Ctrl-OpenApple-Esc on a IIGS). Press 7, enter this URL, then Y in "
                            "any Browse.",
                            this));
    column->addWidget(errorLine());
    column->addLayout(legendLine());
    connect(&model, &ShareModel::folderChanged, this, &ShareCard::showFolder);
    connect(&model, &ShareModel::settingsChanged, this, &ShareCard::showSettings);
    connect(&model, &ShareModel::sharingChanged, this, &ShareCard::showSharing);
    connect(&model, &ShareModel::workChanged, this, &ShareCard::showSharing);
    connect(&model.look(), &Look::changed, this, &ShareCard::showSharing);
    connect(&model, &ShareModel::copiedChanged, this,
            [this] { m_copy->setText(m_model.copiedPulse() ? "Copied" : "Copy"); });
    connect(&model, &ShareModel::lastErrorChanged, this, &ShareCard::showError);
    showFolder();
    showSettings();
    showSharing();
    showError();
}

QLayout* ShareCard::libraryLine() {
    auto* row = new QHBoxLayout;
    row->setSpacing(10);
    row->addWidget(label(m_model, 12, Tone::dim, true, "Library", this));
    m_path->setElide(Qt::ElideMiddle);
    m_path->setAccessibleName("Library folder");
    row->addWidget(m_path, 1);
    connect(m_choose, &QPushButton::clicked, this, [this] { m_model.chooseFolder(); });
    row->addWidget(m_choose);
    return row;
}

QLayout* ShareCard::settingsLine(bool snapshotMode) {
    auto* row = new QHBoxLayout;
    row->setSpacing(14);
    m_writable->setToolTip("Accept block writes from the card back into these images. Read-only "
                           "shares make GS/OS show every volume locked after its first write "
                           "attempt.");
    m_advertise->setToolTip("Advertise this share over Bonjour (_vorn-share._tcp) so cards can "
                            "find it without typing the address. Discovery is advisory only; "
                            "nothing is sent unless something asks.");
    connect(m_writable, &QAbstractButton::clicked, this,
            [this](bool on) { m_model.setWritable(on); });
    connect(m_advertise, &QAbstractButton::clicked, this,
            [this](bool on) { m_model.setAdvertise(on); });
    row->addWidget(m_writable);
    row->addWidget(m_advertise);
    if (snapshotMode) {
        m_portText = label(m_model, 11, Tone::text, false, "", this);
        row->addWidget(m_portText);
    } else {
        auto* caption = label(m_model, 11, Tone::text, false, "Port", this);
        m_portField = new ThemedField(m_model.look(), 11, this);
        m_portField->setFixedWidth(56);
        // Digits only while typing; the range is checked when the field is committed.
        m_portField->setValidator(
            new QIntValidator(0, int(ShareSettings::portRange.high), m_portField));
        m_portField->setAccessibleName("Port");
        m_portField->setToolTip("TCP port of the share; a change takes effect at the next start");
        caption->setBuddy(m_portField);
        connect(m_portField, &ThemedField::committed, this, &ShareCard::commitPort);
        row->addWidget(caption);
        row->addWidget(m_portField);
    }
    row->addSpacing(12);
    row->addLayout(addressPart());
    row->addStretch(1);
    m_start->setProminent(true);
    connect(m_start, &QPushButton::clicked, this, [this] {
        // Return presses this button without leaving the port field: a port typed there
        // counts before the share starts.
        if (m_portField) {
            m_portField->commit();
        }
        m_model.sharing() || m_model.starting() ? m_model.stop() : m_model.start();
    });
    row->addWidget(m_start);
    return row;
}

QLayout* ShareCard::addressPart() {
    auto* part = new QHBoxLayout;
    part->setSpacing(8);
    part->addWidget(label(m_model, 11, Tone::dim, false, "Image Source URL", this));
    m_url->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_url->setAccessibleName("Image Source URL");
    part->addWidget(m_url);
    m_copy->setAccessibleDescription("Copy the Image Source URL");
    connect(m_copy, &QPushButton::clicked, this, [this] { m_model.copyURL(); });
    part->addWidget(m_copy);
    return part;
}

QWidget* ShareCard::errorLine() {
    m_errorLine = new QWidget(this);
    auto* row = new QHBoxLayout(m_errorLine);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(label(m_model, 11, Tone::error, true, "ERROR: ", m_errorLine));
    m_error = label(m_model, 11, Tone::error, false, "", m_errorLine);
    m_error->setElide(Qt::ElideRight);
    row->addWidget(m_error, 1);
    return m_errorLine;
}

QLayout* ShareCard::legendLine() {
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    row->addWidget(new BadgeMark(m_model.look(), this));
    auto* legend = label(m_model, 11, Tone::dim, false,
                         "marks a folder the Apple II lists as a category under Your source. "
                         "Click a chip to take a folder off, hover a folder and click the "
                         "outline to put it on. Labels and order: the ][ button above the "
                         "folders.",
                         this);
    legend->setWordWrap(true);
    row->addWidget(legend, 1);
    return row;
}

void ShareCard::showFolder() {
    const std::string& folder = m_model.folderPath();
    m_path->setShownText(folder.empty() ? "no folder selected" : qText(folder));
    m_path->setTone(folder.empty() ? Tone::faint : Tone::text);
    m_path->setToolTip(qText(folder));
    m_start->setEnabled(!folder.empty());
}

void ShareCard::showSettings() {
    m_writable->setChecked(m_model.writable());
    m_advertise->setChecked(m_model.advertise());
    const QString port = QString::number(m_model.port());
    if (m_portField) {
        m_portField->showValue(port);
    } else {
        m_portText->setShownText("Port " + port);
    }
    m_url->setShownText(qText(m_model.shareURL()));
}

void ShareCard::showSharing() {
    // The share keeps the port it started on: the field waits until it stops, and the
    // address shows the port the card must use now. A start scans the library first; the
    // button says so, and a press meanwhile stops.
    if (m_portField) {
        m_portField->setEnabled(!m_model.sharing() && !m_model.starting());
    }
    showSettings();
    m_start->setText(m_model.sharing()    ? "Stop Sharing"
                     : m_model.starting() ? "Starting..."
                                          : "Start Sharing");
    m_start->setColor(m_model.sharing() ? std::optional(m_model.theme().error) : std::nullopt);
    m_start->updateGeometry();
}

void ShareCard::showError() {
    const auto& error = m_model.lastError();
    m_errorLine->setVisible(error.has_value());
    m_error->setShownText(error ? qText(*error) : QString());
}

// The share listens on an unprivileged port; anything else is put back as it was.
void ShareCard::commitPort(const QString& text) {
    if (const auto port = parseIn(text.trimmed().toStdString(), ShareSettings::portRange)) {
        m_model.setPort(std::uint16_t(*port));
    } else {
        m_portField->showValue(QString::number(m_model.port()));
        m_portField->setText(QString::number(m_model.port()));
    }
}

} // namespace vorn
