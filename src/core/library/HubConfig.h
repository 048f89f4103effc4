#pragma once
// The user's choice of "Your source" categories: library folders the card lists.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorn {

/// One category: a library folder, optionally shown under another name.
struct HubCategory {
    /// Relative folder path of the category's folder.
    std::string path;
    /// Name the card shows instead of the folder name.
    std::optional<std::string> label;

    /// The trimmed label when it has text, else the folder's last component; 30 characters at most.
    std::string displayLabel() const;

    bool operator==(const HubCategory&) const = default;
};

/// The categories in the order the card lists them, plus the naming option.
struct HubConfig {
    std::vector<HubCategory> cats;
    /// Items in subfolders of a category are shown as "Subfolder: name".
    bool prefixSubfolder = false;

    /// The card shows at most this many category rows.
    static constexpr std::size_t maxCategories = 12;
    /// A label is at most this many characters wide on the card.
    static constexpr std::size_t labelMax = 30;

    /// Every top-level folder of `folders`, sorted, unlabelled.
    static HubConfig defaults(const std::vector<std::string>& folders);
    /// The categories in force: the user's own, else the defaults of the shared folders.
    static HubConfig effective(const std::optional<HubConfig>& own,
                               const std::vector<std::string>& sharedFolders) {
        return own ? *own : defaults(sharedFolders);
    }
    /// Whether some category has exactly this path.
    bool contains(std::string_view path) const;
    /// `displayLabel` of the first category with this path.
    std::optional<std::string> label(std::string_view path) const;

    /// A text cut to its first `labelMax` characters.
    static std::string clip(std::string_view text);
    /// Whether `folder` is the category folder `cat` or lies below it.
    static bool under(std::string_view folder, std::string_view cat);
    /// `name` as shown inside category `cat`: prefixed by its subfolder's name when below it.
    static std::string prefixed(std::string_view name, std::string_view folder,
                                std::string_view cat);

    /// The persisted JSON form.
    std::optional<std::string> encoded() const;
    /// Reads the persisted form; absent on any malformed or incomplete input.
    static std::optional<HubConfig> decode(std::string_view json);

    bool operator==(const HubConfig&) const = default;
};

/// How many items (records with a `folder`) lie in the category folder `cat` or below it.
template <class T> std::int64_t countInCategory(const std::vector<T>& items, std::string_view cat) {
    return std::int64_t(std::count_if(items.begin(), items.end(), [&](const T& item) {
        return HubConfig::under(item.folder, cat);
    }));
}

} // namespace vorn
