#include "CategoriesCommand.h"

#include "audio/AudioTranscoder.h"
#include "library/CategoryEdits.h"
#include "library/FileName.h"
#include "library/LibraryHub.h"
#include "library/ShareSettings.h"
#include "pictures/PictureTranscoder.h"
#include "platform/Text.h"
#include "platform/XdgPaths.h"
#include "scan/LibraryScan.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <variant>

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

// The edit applied to the categories in force, or the sentence that says why it does not
// apply. It runs under the preferences' lock on the categories the file holds at that
// moment, which another program may have changed since this one started.
std::variant<HubConfig, std::string> applyTo(HubConfig hub, const Edit& edit,
                                             const std::string& path, bool isFolder) {
    using Kind = Edit::Kind;
    const auto at = std::find_if(hub.cats.begin(), hub.cats.end(),
                                 [&](const HubCategory& c) { return c.path == path; });
    const bool isCategory = at != hub.cats.end();
    if (edit.kind != Kind::prefix && !isFolder && !isCategory) {
        return "not a folder of the library that holds disk images, audio or pictures: " + path;
    }
    if (edit.kind == Kind::add && isCategory) {
        return path + " is a category already";
    }
    if (edit.kind != Kind::add && edit.kind != Kind::prefix && !isCategory) {
        return path + " is not a category";
    }
    switch (edit.kind) {
    case Kind::add:
    case Kind::remove:
        return CategoryEdits::toggleCategory(std::move(hub), path);
    case Kind::move: {
        if (edit.position < 1 || edit.position > hub.cats.size()) {
            return "the position must be from 1 to " + std::to_string(hub.cats.size());
        }
        const std::size_t from = std::size_t(at - hub.cats.begin());
        const std::size_t to = edit.position - 1;
        return CategoryEdits::moveCategories(std::move(hub), {from}, to > from ? to + 1 : to);
    }
    case Kind::label:
        return *CategoryEdits::setCategoryLabel(std::move(hub), path, edit.text);
    default:
        return CategoryEdits::setPrefixSubfolder(std::move(hub), edit.on);
    }
}

// Text the preferences cannot hold (they are JSON, which is UTF-8) is refused up front,
// before anything is read or written.
std::optional<std::string> unstorable(const std::string& library, const Edit& edit) {
    if (!Text::isValidUtf8(library)) {
        return "the library's path is not UTF-8 text, so its categories cannot be stored";
    }
    if (!Text::isValidUtf8(edit.path)) {
        return "the folder's name is not UTF-8 text, so it cannot be stored";
    }
    if (!Text::isValidUtf8(edit.text)) {
        return "the label is not UTF-8 text, so it cannot be stored";
    }
    return std::nullopt;
}

int notStored(const Preferences& preferences) {
    std::cerr << "vorn-share: the categories were not stored: "
              << preferences.problem().value_or("cannot write " + preferences.file().string())
              << "\n";
    return 1;
}

// Runs an edit; the categories stored afterwards, or the exit status of a failure.
std::variant<std::optional<HubConfig>, int> store(Preferences& preferences,
                                                  const std::string& library, const Edit& edit,
                                                  const std::vector<std::string>& folders) {
    LibraryHub hub(preferences);
    hub.load(library);
    const std::string path = folderPath(edit.path);
    const bool isFolder = std::find(folders.begin(), folders.end(), path) != folders.end();
    std::optional<std::string> refused;
    const LibraryHub::Outcome outcome =
        edit.kind == Edit::Kind::reset
            ? hub.setOverride(std::nullopt)
            : hub.edit(
                  [&](HubConfig inForce) -> std::optional<HubConfig> {
                      auto result = applyTo(std::move(inForce), edit, path, isFolder);
                      if (auto* why = std::get_if<std::string>(&result)) {
                          refused = std::move(*why);
                          return std::nullopt;
                      }
                      return std::get<HubConfig>(std::move(result));
                  },
                  folders);
    if (refused) {
        return refuse(*refused);
    }
    if (outcome != LibraryHub::Outcome::stored) {
        return notStored(preferences);
    }
    return hub.hubOverride();
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
    AudioTranscoder audio(XdgPaths::cacheDir(), std::nullopt);
    PictureTranscoder pictures(preferences, XdgPaths::cacheDir(), std::nullopt, std::nullopt);
    const LibraryScan scan = LibraryScan::run({audio, pictures}, library, true);
    const std::vector<std::string> folders = scan.sharedFolders();
    std::optional<HubConfig> own = ShareSettings::hub(preferences, library);
    if (edit.kind != Edit::Kind::list) {
        if (const std::optional<std::string> why = unstorable(library, edit)) {
            return refuse(*why);
        }
        auto stored = store(preferences, library, edit, folders);
        if (const int* status = std::get_if<int>(&stored)) {
            return *status;
        }
        own = std::get<std::optional<HubConfig>>(std::move(stored));
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
