#pragma once
// The user's own categories of the current library, kept in the preferences per library
// folder, so that each library remembers its own and the others are untouched.

#include "library/HubConfig.h"
#include "platform/Preferences.h"

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace vorn {

/// Every edit takes the categories in force (the user's, else the defaults of the
/// folders given), changes them, makes the result the user's own and stores it. The
/// owner hands hubOverride() to a running server after each edit that returns true.
class LibraryHub {
public:
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
    /// Replaces the user's categories and stores them; absent ("Reset to Defaults")
    /// removes the stored ones.
    void setOverride(std::optional<HubConfig> hub);

    void toggleCategory(const std::string& path, const std::vector<std::string>& folders);
    void moveCategories(const std::set<std::size_t>& offsets, std::size_t destination,
                        const std::vector<std::string>& folders);
    /// False (and nothing changes) when `path` is not a category.
    bool setCategoryLabel(const std::string& path, const std::string& label,
                          const std::vector<std::string>& folders);
    void setPrefixSubfolder(bool on, const std::vector<std::string>& folders);

private:
    void save();

    Preferences& m_preferences;
    std::string m_folder;
    std::optional<HubConfig> m_override;
};

} // namespace vorn
