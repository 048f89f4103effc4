#include "library/HubConfig.h"

#include "library/FileName.h"
#include "platform/Text.h"

#include <nlohmann/json.hpp>

namespace vorn {

std::string HubCategory::displayLabel() const {
    std::string_view text;
    if (label) {
        text = Text::trimBlanks(*label);
    }
    if (text.empty()) {
        text = FileName::lastComponent(path);
    }
    return HubConfig::clip(text);
}

HubConfig HubConfig::defaults(const std::vector<std::string>& folders) {
    std::vector<std::string> top;
    for (const std::string& folder : folders) {
        if (folder.find('/') == std::string::npos) {
            top.push_back(folder);
        }
    }
    Text::stableSort(top, [](const std::string& s) { return s; });
    HubConfig config;
    for (std::string& path : top) {
        config.cats.push_back({std::move(path), std::nullopt});
    }
    return config;
}

bool HubConfig::contains(std::string_view path) const {
    return label(path).has_value();
}

std::optional<std::string> HubConfig::label(std::string_view path) const {
    for (const HubCategory& cat : cats) {
        if (cat.path == path) {
            return cat.displayLabel();
        }
    }
    return std::nullopt;
}

std::string HubConfig::clip(std::string_view text) {
    return Text::prefixCharacters(text, labelMax);
}

bool HubConfig::under(std::string_view folder, std::string_view cat) {
    return folder == cat ||
           (folder.size() > cat.size() && folder.starts_with(cat) && folder[cat.size()] == '/');
}

std::string HubConfig::prefixed(std::string_view name, std::string_view folder,
                                std::string_view cat) {
    if (folder != cat && under(folder, cat)) {
        std::string out(FileName::lastComponent(folder));
        return out.append(": ").append(name);
    }
    return std::string(name);
}

std::optional<std::string> HubConfig::encoded() const {
    try {
        nlohmann::json list = nlohmann::json::array();
        for (const HubCategory& cat : cats) {
            nlohmann::json item = {{"path", cat.path}};
            if (cat.label) {
                item["label"] = *cat.label;
            }
            list.push_back(std::move(item));
        }
        const nlohmann::json doc = {{"cats", std::move(list)},
                                    {"prefixSubfolder", prefixSubfolder}};
        return doc.dump();
    } catch (const nlohmann::json::exception&) {
        return std::nullopt; // a path or label that is not UTF-8
    }
}

std::optional<HubConfig> HubConfig::decode(std::string_view json) {
    try {
        const nlohmann::json doc = nlohmann::json::parse(json);
        if (!doc.is_object() || !doc.contains("cats") || !doc.contains("prefixSubfolder") ||
            !doc.at("cats").is_array()) {
            return std::nullopt;
        }
        HubConfig config;
        config.prefixSubfolder = doc.at("prefixSubfolder").get<bool>();
        for (const nlohmann::json& item : doc.at("cats")) {
            if (!item.is_object()) {
                return std::nullopt;
            }
            HubCategory cat{item.at("path").get<std::string>(), std::nullopt};
            if (const auto it = item.find("label"); it != item.end() && !it->is_null()) {
                cat.label = it->get<std::string>();
            }
            config.cats.push_back(std::move(cat));
        }
        return config;
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

} // namespace vorn
