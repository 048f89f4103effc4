#include "Commands.h"

#include "ScanReport.h"
#include "audio/AudioCatalog.h"
#include "audio/AudioTranscoder.h"
#include "convert/ConversionTools.h"
#include "demo/DemoLibrary.h"
#include "library/DiskCatalog.h"
#include "library/FolderWalk.h"
#include "pictures/PictureCatalog.h"
#include "pictures/PictureTranscoder.h"
#include "platform/Preferences.h"
#include "platform/XdgPaths.h"
#include "scan/LibraryScan.h"

#include <iostream>

namespace vorn::Commands {
namespace {

constexpr int kBadInput = 2;

YourHub::Kind hubKind(Kind kind) {
    return kind == Kind::audio      ? YourHub::Kind::audio
           : kind == Kind::pictures ? YourHub::Kind::pictures
                                    : YourHub::Kind::disks;
}

// The converters of a command that prints what is converted already: they know the cache
// and the pictures' knobs but run nothing, so a scan starts no converter.
struct IdleConverters {
    explicit IdleConverters(Preferences& preferences)
        : audio(XdgPaths::cacheDir(), std::nullopt),
          pictures(preferences, XdgPaths::cacheDir(), std::nullopt, std::nullopt) {}
    Converters get() { return {audio, pictures}; }

    AudioTranscoder audio;
    PictureTranscoder pictures;
};

std::string mediaJSON(const CatalogOptions& o, const std::vector<WalkedFile>& files,
                      Converters converters) {
    const bool search = o.search || o.cat;
    if (o.kind == Kind::audio) {
        const AudioCatalog audio = AudioCatalog::scan(files, converters.audio);
        return search ? audio.searchJSON(o.search.value_or(""), o.page, o.base, o.cat,
                                         o.prefixSubfolder)
                      : audio.pageJSON(o.page, o.base);
    }
    const PictureCatalog pictures = PictureCatalog::scan(files, converters.pictures);
    return search ? pictures.searchJSON(o.search.value_or(""), o.page, o.base, o.cat,
                                        o.prefixSubfolder)
                  : pictures.pageJSON(o.page, o.base);
}

void printTool(const char* what, const std::optional<std::string>& path, std::string_view install) {
    if (path) {
        std::cout << what << ": " << *path << "\n";
    } else {
        std::cout << what << ": not found; install it with: " << install << "\n";
    }
}

} // namespace

int scan(const std::string& folder, Preferences& preferences) {
    IdleConverters converters(preferences);
    const LibraryScan scan = LibraryScan::run(converters.get(), folder, true);
    std::cout << scanReport(scan.catalog, std::size_t(scan.diskIIFiles));
    // What the share leaves out, and logs, is said here too.
    for (const std::string& note : scan.notes) {
        std::cout << note << "\n";
    }
    std::cout << failedReport(scan.audio, scan.pictures);
    return 0;
}

int catalog(const CatalogOptions& o, Preferences& preferences) {
    const std::vector<WalkedFile> files = FolderWalk::files(o.folder);
    if (o.kind != Kind::disks) {
        IdleConverters converters(preferences);
        std::cout << mediaJSON(o, files, converters.get());
        return 0;
    }
    const DiskCatalog catalog = DiskCatalog::scan(files, !o.readOnly);
    if (o.search || o.cat) {
        std::cout << catalog.searchJSON(o.search.value_or(""), o.page, o.base, {}, o.cat,
                                        o.prefixSubfolder);
    } else {
        std::cout << catalog.pageJSON(o.page, o.base, {});
    }
    return 0;
}

int hub(const std::string& folder, Kind kind, Preferences& preferences) {
    IdleConverters converters(preferences);
    const LibraryScan scan = LibraryScan::run(converters.get(), folder, true);
    std::cout << scan.yourHubJSON(hubKind(kind), HubConfig::defaults(scan.sharedFolders()));
    return 0;
}

int demo(const std::string& dir) {
    try {
        for (const auto& path : DemoLibrary::write(dir, ConversionTools::findFFmpeg())) {
            std::cout << "wrote " << path.string() << "\n";
        }
    } catch (const DemoLibrary::Error& e) {
        std::cerr << "vorn-share: " << e.what() << "\n";
        return kBadInput;
    }
    return 0;
}

int tools() {
    const ConversionTools::Status status = ConversionTools::probe();
    printTool("ffmpeg (audio conversion)", status.ffmpegPath, ConversionTools::ffmpegInstall);
    const std::optional<std::string> script = PictureTranscoder::findScript();
    if (status.picturesReady) {
        std::cout << "python3 with numpy and Pillow (picture conversion): " << *status.pythonPath
                  << "\n";
    } else if (status.pythonPath) {
        std::cout << "python3 (picture conversion): " << *status.pythonPath
                  << " lacks numpy or Pillow; install them with: " << ConversionTools::pythonInstall
                  << "\n";
    } else {
        printTool("python3 (picture conversion)", std::nullopt, ConversionTools::pythonInstall);
    }
    std::cout << "picture converter script: " << script.value_or("not found (tools/img2shr.py)")
              << "\n";
    printTool("package manager", status.packageManagerPath, ConversionTools::packageManagerInstall);
    if (!status.ffmpegReady() && !status.picturesReady) {
        std::cout << "to install everything at once: " << ConversionTools::allInstall << "\n";
    }
    return 0;
}

} // namespace vorn::Commands
