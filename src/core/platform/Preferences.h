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
    /// Reads `file`; a file that does not parse is moved aside to "<file>.bad". One that
    /// cannot be read is left alone, and problem() says why.
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

    // Writes replace the value and rewrite the file; false when nothing was stored: the text
    // is not UTF-8, or the file could not be read or written. A failed write changes nothing,
    // here or in the file.
    [[nodiscard]] bool set(std::string_view key, std::string_view value);
    [[nodiscard]] bool set(std::string_view key, const char* value) {
        return set(key, std::string_view(value));
    }
    [[nodiscard]] bool set(std::string_view key, bool value);
    [[nodiscard]] bool set(std::string_view key, std::int64_t value);
    [[nodiscard]] bool set(std::string_view key, double value);
    /// Stores an object of named numbers and flags (used for per-picture settings, which
    /// are a convenience: their callers may let a failed save go).
    bool setObject(std::string_view key, const std::string& jsonObject);
    /// Changes the text stored under `key` as the file holds it at this moment, under the
    /// file's lock, so that edits made at once by several programs all count: `edit` gets
    /// the text (absent: none, or a value that is no text) and changes it in place (absent:
    /// remove the key), or returns false to leave everything as it is. False when nothing
    /// was stored.
    [[nodiscard]] bool update(std::string_view key,
                              const std::function<bool(std::optional<std::string>&)>& edit);
    /// The JSON text of an object value; absent for other types.
    std::optional<std::string> object(std::string_view key) const;
    [[nodiscard]] bool remove(std::string_view key);
    /// Reads the file again, for changes other programs made; true when something changed.
    /// A file that is missing or cannot be read keeps the settings known, and problem()
    /// says why.
    bool reload();
    /// Why the file could not be used the last time it was read; absent when it could.
    std::optional<std::string> problem() const;
    /// The file this store reads and writes.
    const std::filesystem::path& file() const { return m_file; }

private:
    struct Store;
    bool change(const std::function<bool(Store&)>& edit);

    std::filesystem::path m_file;
    mutable std::mutex m_mutex;
    std::unique_ptr<Store> m_store;
    std::optional<std::string> m_problem;
};

} // namespace vorn
