#include "library/LibraryHub.h"

#include "library/CategoryEdits.h"
#include "library/ShareSettings.h"

namespace vorn {

HubConfig LibraryHub::hub(const std::vector<std::string>& folders) const {
    return m_override ? *m_override : HubConfig::defaults(folders);
}

bool LibraryHub::load(const std::string& libraryFolder) {
    m_folder = libraryFolder;
    const std::string key = ShareSettings::hubKey(m_folder);
    const std::optional<std::string> stored =
        m_folder.empty() ? std::nullopt : m_preferences.string(key);
    m_override = stored ? HubConfig::decode(*stored) : std::nullopt;
    // Writing back drops undecodable data and brings decoded data to the current form;
    // data already in that form is left alone, so loading alone never rewrites the file.
    if (!m_folder.empty() && m_preferences.contains(key) &&
        (!m_override || m_override->encoded() != stored)) {
        save();
    }
    return m_override.has_value();
}

void LibraryHub::setOverride(std::optional<HubConfig> hub) {
    m_override = std::move(hub);
    save();
}

void LibraryHub::save() {
    if (m_folder.empty()) {
        return;
    }
    const std::string key = ShareSettings::hubKey(m_folder);
    const std::optional<std::string> encoded = m_override ? m_override->encoded() : std::nullopt;
    if (encoded) {
        m_preferences.set(key, *encoded);
    } else {
        m_preferences.remove(key);
    }
}

void LibraryHub::toggleCategory(const std::string& path, const std::vector<std::string>& folders) {
    setOverride(CategoryEdits::toggleCategory(hub(folders), path));
}

void LibraryHub::moveCategories(const std::set<std::size_t>& offsets, std::size_t destination,
                                const std::vector<std::string>& folders) {
    setOverride(CategoryEdits::moveCategories(hub(folders), offsets, destination));
}

bool LibraryHub::setCategoryLabel(const std::string& path, const std::string& label,
                                  const std::vector<std::string>& folders) {
    std::optional<HubConfig> edited = CategoryEdits::setCategoryLabel(hub(folders), path, label);
    if (!edited) {
        return false;
    }
    setOverride(std::move(edited));
    return true;
}

void LibraryHub::setPrefixSubfolder(bool on, const std::vector<std::string>& folders) {
    setOverride(CategoryEdits::setPrefixSubfolder(hub(folders), on));
}

} // namespace vorn
