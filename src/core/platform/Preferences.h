#pragma once
// The settings shared by the desktop program and vorn-share: one JSON object in
// preferences.json, read whole at start and rewritten atomically on every change. Several
// programs may write it at once (the desktop, a running share, `vorn-share config`): each
// change is applied under a file lock on top of the file's current contents.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace vorn {

class Preferences {
public:
    /// Reads `file`; a file that does not parse is moved aside to "<file>.bad".
    explicit Preferences(std::filesystem::path file = defaultFile());
    ~Preferences();
    Preferences(const Preferences&) = delete;
    Preferences& operator=(const Preferences&) = delete;

    /// $XDG_CONFIG_HOME/VornImageManager/preferences.json.
    static std::filesystem::path defaultFile();

    // Typed reads: a value stored with another type reads as absent.
    std::optional<std::string> string(std::string_view key) const;
    std::optional<bool> boolean(std::string_view key) const;
    /// Whole numbers only; 8271.0 reads as 8271, 1.5 as absent.
    std::optional<std::int64_t> integer(std::string_view key) const;
    std::optional<double> number(std::string_view key) const;
    /// Whether a value of any type is stored under `key`.
    bool contains(std::string_view key) const;

    // Writes replace the value and rewrite the file; false when the file could not be written.
    bool set(std::string_view key, std::string_view value);
    bool set(std::string_view key, const char* value) { return set(key, std::string_view(value)); }
    bool set(std::string_view key, bool value);
    bool set(std::string_view key, std::int64_t value);
    bool set(std::string_view key, double value);
    /// Stores an object of named numbers and flags (used for per-picture settings).
    bool setObject(std::string_view key, const std::string& jsonObject);
    /// The JSON text of an object value; absent for other types.
    std::optional<std::string> object(std::string_view key) const;
    bool remove(std::string_view key);
    /// Reads the file again, for changes other programs made; true when something changed.
    bool reload();
    /// The file this store reads and writes.
    const std::filesystem::path& file() const { return m_file; }

private:
    struct Store;
    bool change(const std::function<bool(Store&)>& edit);

    std::filesystem::path m_file;
    mutable std::mutex m_mutex;
    std::unique_ptr<Store> m_store;
};

} // namespace vorn
