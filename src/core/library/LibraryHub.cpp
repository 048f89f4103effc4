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
        store([](std::optional<std::string>& text) {
            const std::optional<HubConfig> decoded = text ? HubConfig::decode(*text) : std::nullopt;
            text = decoded ? decoded->encoded() : std::nullopt;
            return true;
        });
    }
    return m_override.has_value();
}

LibraryHub::Outcome LibraryHub::edit(const Change& change,
                                     const std::vector<std::string>& folders) {
    if (m_folder.empty()) {
        std::optional<HubConfig> next = change(hub(folders));
        if (next) {
            m_override = std::move(next);
        }
        return next ? Outcome::stored : Outcome::declined;
    }
    bool declined = false;
    const Outcome outcome = store([&](std::optional<std::string>& text) {
        const std::optional<HubConfig> own = text ? HubConfig::decode(*text) : std::nullopt;
        const std::optional<HubConfig> next = change(HubConfig::effective(own, folders));
        declined = !next;
        text = next ? next->encoded() : std::nullopt;
        return text.has_value(); // a label that is not UTF-8 never replaces what is stored
    });
    return declined ? Outcome::declined : outcome;
}

LibraryHub::Outcome LibraryHub::setOverride(std::optional<HubConfig> hub) {
    if (m_folder.empty()) {
        m_override = std::move(hub);
        return Outcome::stored;
    }
    const std::optional<std::string> encoded = hub ? hub->encoded() : std::nullopt;
    return store([&](std::optional<std::string>& text) {
        text = encoded;
        return encoded.has_value() || !hub;
    });
}

// Whatever the outcome, the categories known here are the stored ones afterwards.
LibraryHub::Outcome
LibraryHub::store(const std::function<bool(std::optional<std::string>&)>& edit) {
    const std::string key = ShareSettings::hubKey(m_folder);
    const bool stored = m_preferences.update(key, edit);
    m_override = ShareSettings::hub(m_preferences, m_folder);
    return stored ? Outcome::stored : Outcome::failed;
}

LibraryHub::Outcome LibraryHub::toggleCategory(const std::string& path,
                                               const std::vector<std::string>& folders) {
    return edit([&](HubConfig hub) { return CategoryEdits::toggleCategory(std::move(hub), path); },
                folders);
}

LibraryHub::Outcome LibraryHub::moveCategories(const std::set<std::size_t>& offsets,
                                               std::size_t destination,
                                               const std::vector<std::string>& folders) {
    return edit(
        [&](HubConfig hub) {
            return CategoryEdits::moveCategories(std::move(hub), offsets, destination);
        },
        folders);
}

LibraryHub::Outcome LibraryHub::setCategoryLabel(const std::string& path, const std::string& label,
                                                 const std::vector<std::string>& folders) {
    return edit(
        [&](HubConfig hub) { return CategoryEdits::setCategoryLabel(std::move(hub), path, label); },
        folders);
}

LibraryHub::Outcome LibraryHub::setPrefixSubfolder(bool on,
                                                   const std::vector<std::string>& folders) {
    return edit(
        [&](HubConfig hub) { return CategoryEdits::setPrefixSubfolder(std::move(hub), on); },
        folders);
}

} // namespace vorn
