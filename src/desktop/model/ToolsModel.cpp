#include "ToolsModel.h"

#include "LibraryModel.h"
#include "ModelWorker.h"
#include "audio/AudioTranscoder.h"
#include "pictures/PictureTranscoder.h"
#include "platform/Preferences.h"

#include <functional>
#include <utility>

namespace vorn {

ToolsModel::ToolsModel(ModelWorker& worker, AudioTranscoder& audio, PictureTranscoder& pictures,
                       Preferences& preferences, LibraryModel& library, QObject* parent)
    : QObject(parent), m_worker(worker), m_audio(audio), m_pictures(pictures),
      m_preferences(preferences), m_library(library) {}

void ToolsModel::probe(bool thenRescan) {
    probeTools(false, thenRescan);
}

void ToolsModel::recheck() {
    probeTools(true, true);
}

// Looking for python3 runs it with numpy and Pillow to import, which takes a good part of
// a second: the worker does it, and the newest look wins.
void ToolsModel::probeTools(bool retryFailed, bool thenRescan) {
    AudioTranscoder& audio = m_audio;
    PictureTranscoder& pictures = m_pictures;
    m_worker.run<ConversionTools::Status>(
        ModelWorker::Job::tools,
        [&audio, &pictures, retryFailed] {
            audio.findTools();
            pictures.findTools();
            if (retryFailed) { // "Recheck": what failed is tried again too
                audio.retryFailures();
                pictures.retryFailures();
            }
            ConversionTools::Status status;
            status.packageManagerPath = ConversionTools::findPackageManager();
            status.ffmpegPath = audio.ffmpegPath();
            status.pythonPath = pictures.pythonPath();
            if (!status.pythonPath) {
                status.pythonPath = ConversionTools::findPythonBinary();
            }
            status.picturesReady = pictures.converterReady();
            return status;
        },
        [this, thenRescan](ConversionTools::Status status) {
            if (status != m_conversion) {
                m_conversion = std::move(status);
                emit conversionChanged();
            }
            if (std::exchange(m_offerHelpWhenProbed, false)) {
                offerHelpIfNeeded();
            }
            if (thenRescan && !m_library.folder().empty()) {
                m_library.rescan();
            }
        },
        true);
}

void ToolsModel::offerHelpIfNeeded() {
    if (m_worker.busy(ModelWorker::Job::tools)) {
        m_offerHelpWhenProbed = true; // asked again once the tools are known
        return;
    }
    const bool dismissed = m_preferences.boolean(conversionHelpDismissedKey).value_or(false);
    if (!dismissed && !(m_conversion.ffmpegPath && m_conversion.picturesReady)) {
        setShowHelp(true);
    }
}

void ToolsModel::setShowHelp(bool on) {
    if (on != m_showHelp) {
        m_showHelp = on;
        emit helpChanged();
    }
}

void ToolsModel::dismissHelp() {
    setShowHelp(false);
    if (!m_preferences.set(conversionHelpDismissedKey, true)) {
        emit notStored();
    }
}

void ToolsModel::reconvert(const StillPic& picture, const StillPic::Knobs& knobs) {
    if (!m_pictures.saveKnobs(knobs, picture.sourcePath)) {
        emit notStored();
    }
    const std::function<void()> done = m_library.conversionEnded();
    m_pictures.convert(picture.sourcePath, knobs, true, done,
                       [done](const std::string&) { done(); });
}

} // namespace vorn
