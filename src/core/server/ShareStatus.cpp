#include "server/ShareStatus.h"

#include "platform/CopyOnWrite.h"

namespace vorn {

std::optional<Date> ItemDates::find(const std::string& key) const {
    if (!m_entries) {
        return std::nullopt;
    }
    const auto it = m_entries->find(key);
    return it == m_entries->end() ? std::nullopt : std::optional(it->second);
}

void ItemDates::set(const std::string& key, Date date) {
    // Only the server's thread changes a status; readers elsewhere hold their own copies.
    if (!m_entries || !exclusivelyOwned(m_entries)) {
        m_entries = m_entries ? std::make_shared<std::map<std::string, Date>>(*m_entries)
                              : std::make_shared<std::map<std::string, Date>>();
    }
    (*m_entries)[key] = date;
}

const std::map<std::string, Date>& ItemDates::entries() const {
    static const std::map<std::string, Date> none;
    return m_entries ? *m_entries : none;
}

} // namespace vorn
