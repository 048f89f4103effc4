#pragma once
// The user's own categories of the current library, kept in the preferences per library
// folder, so that each library remembers its own and the others are untouched.

#include "library/HubConfig.h"
#include "platform/Preferences.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace vorn {

/// Every edit takes the categories in force as the preferences file holds them at that
/// moment (the user's, else the defaults of the folders given), changes them, makes the
/// result the user's own and stores it, all under the file's lock: the desktop program and
/// any number of `vorn-share categories` may edit at once without losing each other's
/// edits. The owner hands hubOverride() to a running server after each stored edit.
class LibraryHub {
public:
    /// How an edit ended.
    enum class Outcome {
        stored,   // the file holds the result
        declined, // the edit does not apply (no such category); nothing changed
        failed,   // the file could not be read or written, or the result holds text that is
                  // not UTF-8; what was stored is still there
    };
    /// An edit of the categories in force; absent declines it.
    using Change = std::function<std::optional<HubConfig>(HubConfig inForce)>;

    /// `preferences` is the process's one store and must outlive this object.
    explicit LibraryHub(Preferences& preferences) : m_preferences(preferences) {}

    /// The user's categories; absent when the library uses the defaults.
    const std::optional<HubConfig>& hubOverride() const { return m_override; }
    /// The categories in force: the user's, else every top-level folder.
    HubConfig hub(const std::vector<std::string>& folders) const;
    /// The library whose categories these are (an absolute path; empty for none).
    const std::string& libraryFolder() const { return m_folder; }

    /// Reads the categories stored for `libraryFolder`; data that does not decode is
    /// removed. True when a stored configuration was found.
    bool load(const std::string& libraryFolder);
    /// Applies `change`. Without a library folder the result stays in memory.
    Outcome edit(const Change& change, const std::vector<std::string>& folders);
    /// Replaces the user's categories and stores them; absent ("Reset to Defaults")
    /// removes the stored ones.
    Outcome setOverride(std::optional<HubConfig> hub);

    Outcome toggleCategory(const std::string& path, const std::vector<std::string>& folders);
    Outcome moveCategories(const std::set<std::size_t>& offsets, std::size_t destination,
                           const std::vector<std::string>& folders);
    /// Declined when `path` is not a category.
    Outcome setCategoryLabel(const std::string& path, const std::string& label,
                             const std::vector<std::string>& folders);
    Outcome setPrefixSubfolder(bool on, const std::vector<std::string>& folders);

private:
    Outcome store(const std::function<bool(std::optional<std::string>&)>& edit);

    Preferences& m_preferences;
    std::string m_folder;
    std::optional<HubConfig> m_override;
};

} // namespace vorn
