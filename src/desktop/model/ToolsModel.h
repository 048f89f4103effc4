#pragma once
// The conversion tools as the window knows them: which of ffmpeg, python3 with numpy and
// Pillow, and Homebrew were found, the conversion help that offers to install what is
// missing, and a picture converted again with new knobs. The conversion help sheet reads
// it. Looking for the tools runs on the model's worker.

#include "convert/ConversionTools.h"
#include "pictures/StillPic.h"

#include <QObject>
#include <string_view>

namespace vorn {

class AudioTranscoder;
class LibraryModel;
class ModelWorker;
class PictureTranscoder;
class Preferences;

/// Lives on the GUI thread; every operation is called there.
class ToolsModel : public QObject {
    Q_OBJECT
public:
    /// Preference: the user closed the conversion help; it no longer opens by itself.
    static constexpr std::string_view conversionHelpDismissedKey = "vxm.conversionHelpDismissed";

    /// Everything given must outlive this model; `library` is rescanned once the tools
    /// are known, so that what waited for them is listed and converted.
    ToolsModel(ModelWorker& worker, AudioTranscoder& audio, PictureTranscoder& pictures,
               Preferences& preferences, LibraryModel& library, QObject* parent = nullptr);

    const ConversionTools::Status& conversion() const { return m_conversion; }
    /// Lets the transcoders look for their tools again, on the worker, and takes what they
    /// found; with `thenRescan`, the library is scanned again once they are known.
    void probe(bool thenRescan = false);
    /// The same, forgetting every failed conversion, then a rescan, so that files waiting
    /// for a tool, and those that failed, are converted.
    void recheck();
    /// Opens the conversion help when a tool is missing and the user has not closed the
    /// help before (once the tools are known, when they are being looked for).
    void offerHelpIfNeeded();
    bool showHelp() const { return m_showHelp; }
    void setShowHelp(bool on);
    /// "Done" in the conversion help: closes it and no longer opens it by itself.
    void dismissHelp();
    /// Stores the picture's knobs and converts it again with them.
    void reconvert(const StillPic& picture, const StillPic::Knobs& knobs);

signals:
    /// conversion.
    void conversionChanged();
    /// showHelp.
    void helpChanged();
    /// A change could not be stored in the preferences.
    void notStored();

private:
    void probeTools(bool retryFailed, bool thenRescan);

    ModelWorker& m_worker;
    AudioTranscoder& m_audio;
    PictureTranscoder& m_pictures;
    Preferences& m_preferences;
    LibraryModel& m_library;
    ConversionTools::Status m_conversion;
    bool m_offerHelpWhenProbed = false;
    bool m_showHelp = false;
};

} // namespace vorn
