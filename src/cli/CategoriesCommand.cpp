#include "CategoriesCommand.h"

#include "audio/AudioTranscoder.h"
#include "library/FileName.h"
#include "library/LibraryHub.h"
#include "library/ShareSettings.h"
#include "pictures/PictureTranscoder.h"
#include "platform/Text.h"
#include "scan/LibraryScan.h"

#include <algorithm>
#include <filesystem>
#include <iostream>

namespace vorn::CategoriesCommand {
namespace {

constexpr int kBadInput = 2;

int refuse(const std::string& why) {
    std::cerr << "vorn-share: " << why << "\n";
    return kBadInput;
}

// "Games/", "./Games" and "Games" name one folder.
std::string folderPath(std::string path) {
    while (path.starts_with("./")) {
        path.erase(0, 2);
    }
    while (path.size() > 1 && path.ends_with("/")) {
        path.pop_back();
    }
    return path;
}

std::int64_t itemsIn(const LibraryScan& scan, const std::string& path) {
    return countInCategory(scan.catalog.images(), path) + countInCategory(scan.audio.tracks, path) +
           countInCategory(scan.pictures.pictures, path);
}

void print(const std::string& library, const HubConfig& hub, bool own, const LibraryScan& scan) {
    std::cout << "Apple II categories of " << library
              << (own ? " (your own)\n" : " (the defaults: every top-level folder, A to Z)\n");
    if (hub.cats.empty()) {
        std::cout << "  none: the Apple II shows the plain A-Z list\n";
    }
    std::size_t width = 0;
    for (const HubCategory& cat : hub.cats) {
        width = std::max(width, cat.path.size());
    }
    for (std::size_t i = 0; i < hub.cats.size(); ++i) {
        const HubCategory& cat = hub.cats[i];
        const std::int64_t n = itemsIn(scan, cat.path);
        std::cout << (i < 9 ? "   " : "  ") << i + 1 << "  " << cat.path
                  << std::string(width - cat.path.size(), ' ') << "  " << n
                  << (n == 1 ? " item" : " items");
        if (cat.label) {
            std::cout << "  shown as \"" << cat.displayLabel() << "\"";
        }
        std::cout << "\n";
    }
    std::cout << "Subfolder prefix in names: " << (hub.prefixSubfolder ? "on" : "off") << "\n";
    if (hub.cats.size() > HubConfig::maxCategories) {
        std::cout << hub.cats.size() << " categories: the card shows the first "
                  << HubConfig::maxCategories << "; the last "
                  << hub.cats.size() - HubConfig::maxCategories << " never reach the Apple II\n";
    }
}

// Applies one edit; an error sentence when it is refused.
std::optional<std::string> apply(LibraryHub& hub, const Edit& edit,
                                 const std::vector<std::string>& folders) {
    const std::string path = folderPath(edit.path);
    const bool isFolder = std::find(folders.begin(), folders.end(), path) != folders.end();
    const bool isCategory = hub.hub(folders).contains(path);
    using Kind = Edit::Kind;
    if ((edit.kind == Kind::add || edit.kind == Kind::remove || edit.kind == Kind::move ||
         edit.kind == Kind::label) &&
        !isFolder && !isCategory) {
        return "not a folder of the library that holds disk images, audio or pictures: " + path;
    }
    switch (edit.kind) {
    case Kind::add:
    case Kind::remove:
        if (isCategory != (edit.kind == Kind::remove)) {
            return path + (isCategory ? " is a category already" : " is not a category");
        }
        hub.toggleCategory(path, folders);
        break;
    case Kind::move: {
        const auto cats = hub.hub(folders).cats;
        const auto at = std::find_if(cats.begin(), cats.end(),
                                     [&](const HubCategory& c) { return c.path == path; });
        if (at == cats.end()) {
            return path + " is not a category";
        }
        if (edit.position < 1 || edit.position > cats.size()) {
            return "the position must be from 1 to " + std::to_string(cats.size());
        }
        const std::size_t from = std::size_t(at - cats.begin());
        const std::size_t to = edit.position - 1;
        hub.moveCategories({from}, to > from ? to + 1 : to, folders);
        break;
    }
    case Kind::label:
        if (!hub.setCategoryLabel(path, edit.text, folders)) {
            return path + " is not a category";
        }
        break;
    case Kind::prefix:
        hub.setPrefixSubfolder(edit.on, folders);
        break;
    case Kind::reset:
        hub.setOverride(std::nullopt);
        break;
    case Kind::list:
        break;
    }
    return std::nullopt;
}

} // namespace

int run(Preferences& preferences, const std::optional<std::string>& folder, const Edit& edit) {
    const std::string given = folder.value_or(ShareSettings::load(preferences).folder);
    if (given.empty()) {
        return refuse("no library folder: name one, or store one with: vorn-share config set "
                      "folder FOLDER");
    }
    std::error_code ec;
    if (!std::filesystem::is_directory(given, ec)) {
        return refuse("no such folder: " + given);
    }
    const std::string library = ShareSettings::libraryPath(given);
    // Idle converters: the counts need the converted files, not a converter.
    AudioTranscoder audio(std::nullopt);
    PictureTranscoder pictures(preferences, std::nullopt, std::nullopt);
    const LibraryScan scan = LibraryScan::run({audio, pictures}, library, true);
    const std::vector<std::string> folders = scan.sharedFolders();
    std::optional<HubConfig> own = ShareSettings::hub(preferences, library);
    if (edit.kind != Edit::Kind::list) {
        LibraryHub hub(preferences);
        hub.load(library);
        if (const std::optional<std::string> refused = apply(hub, edit, folders)) {
            return refuse(*refused);
        }
        own = hub.hubOverride();
    }
    print(library, own.value_or(HubConfig::defaults(folders)), own.has_value(), scan);
    const std::string_view label = Text::trimBlanks(edit.text);
    if (edit.kind == Edit::Kind::label && HubConfig::clip(label).size() < label.size()) {
        std::cout << "The card shows labels of up to " << HubConfig::labelMax
                  << " characters; the rest is cut\n";
    }
    return 0;
}

} // namespace vorn::CategoriesCommand
