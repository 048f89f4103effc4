// vorn-image-manager: the desktop program. Answers --help and --version without a
// display, picks the offscreen platform for snapshot mode before Qt starts, then makes the
// process's one preference store, the converters and the model, and either renders a
// snapshot or opens the window.

#include "VornVersion.h"
#include "audio/AudioTranscoder.h"
#include "library/ShareSettings.h"
#include "model/ShareModel.h"
#include "model/WindowTexts.h"
#include "pictures/PictureTranscoder.h"
#include "platform/Preferences.h"
#include "platform/XdgPaths.h"
#include "ui/FileManagerRevealer.h"
#include "ui/LookStyle.h"
#include "ui/MainWindow.h"
#include "ui/QtFolderChooser.h"
#include "ui/Snapshot.h"
#include "ui/SnapshotOptions.h"

#include <QApplication>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

namespace {

using namespace vorn;

constexpr const char* kHelp =
    "Usage: vorn-image-manager\n"
    "  or:  vorn-image-manager --snapshot OUT.png [FOLDER] [--theme 8bit|gs] [--sheet categories] "
    "[--size WxH]\n"
    "\n"
    "Shares a folder of Apple II disk images, audio and pictures with a Vorn network\n"
    "card, in a window: choose the library folder, press Start Sharing and type the\n"
    "address it shows into the card. With --snapshot it draws the window into a PNG\n"
    "file instead and exits, without showing anything; that needs no display.\n"
    "vorn-share(1) is the same share without a window.\n"
    "\n"
    "The exit status is 0 when the window was closed or the snapshot written (it prints\n"
    "\"snapshot written: PATH\"), and 1 when the snapshot failed (\"snapshot failed\") or\n"
    "there is no display to open the window on.\n"
    "\n"
    "Options:\n"
    "  --snapshot OUT.png  draw the window into OUT.png at twice its size and exit\n"
    "  FOLDER              with --snapshot: the library folder to show (it becomes the\n"
    "                      stored library)\n"
    "  --theme 8bit|gs     with --snapshot: the look (stored, like a choice in the window)\n"
    "  --sheet categories  with --snapshot: draw the Apple II categories sheet\n"
    "  --size WxH          with --snapshot: the window's size in points (default 1240x800)\n"
    "  --help              print this help and exit\n"
    "  --version           print the version and exit\n"
    "\n"
    "Files:\n"
    "  ~/.config/VornImageManager/preferences.json  the settings, shared with vorn-share\n"
    "  ~/.cache/VornImageManager                     converted audio and pictures\n";

bool has(const std::vector<std::string>& args, const char* option) {
    return std::find(args.begin() + 1, args.end(), option) != args.end();
}

// Whether Qt can open a window: a display server, or a platform chosen by the user.
bool hasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        if (const char* value = std::getenv(name); value != nullptr && *value != '\0') {
            return true;
        }
    }
    return false;
}

AppInfo appInfo() {
    return {QString::fromStdString(WindowTexts::versionText(version::number, version::build)),
            QString::fromUtf8(version::homepage)};
}

int run(int argc, char** argv) {
    const std::vector<std::string> args(argv, argv + argc);
    const std::optional<SnapshotOptions> snapshot = SnapshotOptions::parse(args);
    if (!snapshot && (has(args, "--help") || has(args, "-h"))) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (!snapshot && has(args, "--version")) {
        std::puts(version::line("vorn-image-manager").c_str());
        return 0;
    }
    if (snapshot) {
        // No display is needed, nor used when there is one.
        qputenv("QT_QPA_PLATFORM", "offscreen");
    } else if (!hasDisplay()) {
        // Qt would abort with a message about its platform plugin; say what to do instead.
        std::fputs("vorn-image-manager: no display to open the window on (neither DISPLAY nor "
                   "WAYLAND_DISPLAY is set).\nTo share a library without a window, use "
                   "vorn-share; to draw the window into a picture, use --snapshot OUT.png.\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("vorn-image-manager");
    QApplication::setDesktopFileName("org.vorn.ImageManager");
    QApplication::setStyle(new LookStyle);

    Preferences preferences;
    const unsigned jobs = ShareSettings::load(preferences).conversionJobs;
    const std::unique_ptr<AudioTranscoder> audio =
        AudioTranscoder::found(XdgPaths::cacheDir(), jobs);
    // Whether python3 has numpy and Pillow takes running it (a good part of a second):
    // the model looks on its worker, once, while the window opens.
    const auto pictures = std::make_unique<PictureTranscoder>(
        preferences, XdgPaths::cacheDir(), std::nullopt, PictureTranscoder::findScript(),
        ConversionLimit{}, jobs);
    ShareModel model(preferences, *audio, *pictures);
    LookStyle::applyToApplication(model.theme());
    QObject::connect(&model.look(), &Look::changed, &model,
                     [&model] { LookStyle::applyToApplication(model.theme()); });
    if (snapshot) {
        return Snapshot::run(model, appInfo(), *snapshot);
    }
    MainWindow window(model, appInfo());
    model.setFolderChooser(std::make_unique<QtFolderChooser>(&window));
    model.setFileRevealer(std::make_unique<FileManagerRevealer>());
    window.show();
    return app.exec();
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vorn-image-manager: %s\n", e.what());
        return 1;
    }
}
