#include "library/CategoryEdits.h"

#include "library/FileName.h"
#include "platform/Text.h"

#include <algorithm>

namespace vorn::CategoryEdits {

HubConfig toggleCategory(HubConfig hub, const std::string& path) {
    auto& cats = hub.cats;
    const auto found = std::find_if(cats.begin(), cats.end(),
                                    [&](const HubCategory& c) { return c.path == path; });
    if (found != cats.end()) {
        cats.erase(found);
    } else {
        cats.push_back({path, std::nullopt});
    }
    return hub;
}

HubConfig moveCategories(HubConfig hub, const std::set<std::size_t>& offsets,
                         std::size_t destination) {
    std::vector<HubCategory> before, moved, after;
    for (std::size_t i = 0; i < hub.cats.size(); ++i) {
        auto& target = offsets.count(i) > 0 ? moved : i < destination ? before : after;
        target.push_back(std::move(hub.cats[i]));
    }
    hub.cats = std::move(before);
    hub.cats.insert(hub.cats.end(), moved.begin(), moved.end());
    hub.cats.insert(hub.cats.end(), after.begin(), after.end());
    return hub;
}

std::optional<HubConfig> setCategoryLabel(HubConfig hub, const std::string& path,
                                          const std::string& label) {
    const auto found = std::find_if(hub.cats.begin(), hub.cats.end(),
                                    [&](const HubCategory& c) { return c.path == path; });
    if (found == hub.cats.end()) {
        return std::nullopt;
    }
    const std::string_view trimmed = Text::trimBlanks(label);
    // The label field starts out showing the folder's name; leaving it so is no label.
    if (trimmed.empty() || trimmed == FileName::lastComponent(path)) {
        found->label.reset();
    } else {
        found->label = std::string(trimmed);
    }
    return hub;
}

HubConfig setPrefixSubfolder(HubConfig hub, bool on) {
    hub.prefixSubfolder = on;
    return hub;
}

std::vector<std::string> hubCandidates(const HubConfig& hub,
                                       const std::vector<std::string>& folders) {
    std::vector<std::string> candidates;
    std::copy_if(folders.begin(), folders.end(), std::back_inserter(candidates),
                 [&](const std::string& f) { return !hub.contains(f); });
    return candidates;
}

} // namespace vorn::CategoryEdits
