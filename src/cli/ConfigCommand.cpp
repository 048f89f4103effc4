#include "ConfigCommand.h"

#include "library/ShareSettings.h"
#include "platform/Numbers.h"
#include "platform/Text.h"
#include "versions/VersionSettings.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <optional>
#include <variant>

namespace vorn::ConfigCommand {
namespace {

constexpr int kBadInput = 2;

// A value ready to store, with the text that shows it, or the sentence that says why it
// was refused.
struct Parsed {
    std::variant<std::string, std::int64_t, bool> stored;
    std::string text;
};
struct Refusal {
    std::string why;
};

std::variant<Parsed, Refusal> parseFolder(const std::string& value) {
    if (value.empty()) {
        return Refusal{"the folder must be named"};
    }
    std::error_code ec;
    if (!std::filesystem::exists(value, ec)) {
        return Refusal{"no such folder: " + value};
    }
    if (!std::filesystem::is_directory(value, ec)) {
        return Refusal{"not a folder: " + value};
    }
    // Stored absolute: the service and the desktop run from other working folders, and
    // the categories are stored under this exact path.
    const std::string absolute = ShareSettings::libraryPath(value);
    if (!Text::isValidUtf8(absolute)) {
        return Refusal{"the folder's path is not UTF-8 text, so it cannot be stored"};
    }
    return Parsed{absolute, absolute};
}

// A whole number inside the setting's range.
std::variant<Parsed, Refusal> parseCount(const std::string& key, const std::string& value,
                                         WholeRange range) {
    const std::optional<std::int64_t> n = parseIn(value, range);
    if (!n) {
        return Refusal{key + " must be a whole number from " + std::to_string(range.low) + " to " +
                       std::to_string(range.high) + ", not " + value};
    }
    return Parsed{*n, std::to_string(*n)};
}

std::variant<Parsed, Refusal> parseFlag(const std::string& key, const std::string& value) {
    if (value == "true" || value == "false") {
        return Parsed{value == "true", value};
    }
    return Refusal{key + " must be true or false, not " + value};
}

std::optional<std::variant<Parsed, Refusal>> parse(const std::string& key,
                                                   const std::string& value) {
    if (key == "folder") {
        return parseFolder(value);
    }
    if (key == "port") {
        return parseCount(key, value, ShareSettings::portRange);
    }
    if (key == "writable" || key == "advertise") {
        return parseFlag(key, value);
    }
    if (key == "versionGap") {
        return parseCount(key, value, {1, VersionSettings::maxGapSeconds});
    }
    if (key == "versionsKept") {
        return parseCount(key, value, {0, VersionSettings::maxKept});
    }
    if (key == "conversionJobs") {
        return parseCount(key, value, {1, ShareSettings::maxConversionJobs});
    }
    if (key == "versionsMaxBytes") {
        return parseCount(key, value, {0, std::int64_t(1) << 50});
    }
    return std::nullopt;
}

// When a running share sees the change.
std::string_view takesEffect(const std::string& key) {
    return key == "folder" || key == "port" || key == "conversionJobs"
               ? "a running share uses it from its next start"
               : "a running share picks it up at once";
}

constexpr std::string_view kKeys[] = {
    "folder",         "port",       "writable",     "advertise",
    "conversionJobs", "versionGap", "versionsKept", "versionsMaxBytes"};

bool known(const std::string& key) {
    return std::find(std::begin(kKeys), std::end(kKeys), key) != std::end(kKeys);
}

int unknownKey(const std::string& key) {
    std::cerr << "vorn-share: unknown setting: " << key << " (settings: folder, port, writable, "
              << "advertise, conversionJobs, versionGap, versionsKept, versionsMaxBytes)\n";
    return kBadInput;
}

int notStored(const Preferences& preferences) {
    std::cerr << "vorn-share: not stored: "
              << preferences.problem().value_or("cannot write " + preferences.file().string())
              << "\n";
    return 1;
}

} // namespace

int show(const Preferences& preferences) {
    const ShareSettings settings = ShareSettings::load(preferences);
    const auto line = [&](std::string_view key, const std::string& value, bool stored) {
        std::cout << key << std::string(18 - key.size(), ' ') << value
                  << (stored ? "" : " (default)") << "\n";
    };
    const bool hasFolder = !settings.folder.empty();
    line("folder", hasFolder ? settings.folder : "none", hasFolder);
    // A stored port outside the allowed range reads as the default, and says so.
    const std::optional<std::int64_t> port = preferences.integer("port");
    line("port", std::to_string(settings.port), port && *port == settings.port);
    line("writable", settings.writable ? "true" : "false",
         preferences.boolean("writable").has_value());
    line("advertise", settings.advertise ? "true" : "false",
         preferences.boolean("advertise").has_value());
    // Like the port, a stored value out of range reads as the default, and says so.
    const auto count = [&](std::string_view key, std::int64_t value) {
        line(key, std::to_string(value), preferences.integer(key) == value);
    };
    count("conversionJobs", settings.conversionJobs);
    const VersionSettings versions = VersionSettings::load(preferences);
    count("versionGap", std::chrono::duration_cast<std::chrono::seconds>(versions.gap).count());
    count("versionsKept", versions.kept);
    count("versionsMaxBytes", std::int64_t(versions.maxBytes));
    return 0;
}

int set(Preferences& preferences, const std::string& key, const std::string& value) {
    const std::optional<std::variant<Parsed, Refusal>> parsed = parse(key, value);
    if (!parsed) {
        return unknownKey(key);
    }
    if (const auto* refusal = std::get_if<Refusal>(&*parsed)) {
        std::cerr << "vorn-share: " << refusal->why << "\n";
        return kBadInput;
    }
    const Parsed& parsedValue = std::get<Parsed>(*parsed);
    if (!std::visit([&](const auto& v) { return preferences.set(key, v); }, parsedValue.stored)) {
        return notStored(preferences);
    }
    std::cout << key << " set to " << parsedValue.text << "; " << takesEffect(key) << "\n";
    return 0;
}

int unset(Preferences& preferences, const std::string& key) {
    if (!known(key)) {
        return unknownKey(key);
    }
    if (!preferences.remove(key)) {
        return notStored(preferences);
    }
    std::cout << key << " back to its default; " << takesEffect(key) << "\n";
    return 0;
}

} // namespace vorn::ConfigCommand
