#include "library/MediaList.h"

#include "library/Catalog.h"

namespace vorn::MediaList {

std::string render(std::int64_t pages, std::size_t total, const std::optional<std::string>& next,
                   std::string_view catalogName, const std::vector<std::string>& entries) {
    std::string out =
        "{ \"pages\": " + std::to_string(pages) + ", \"total\": " + std::to_string(total) + ",";
    if (next) {
        out += " \"next\": " + Catalog::jsonString(*next) + ",";
    }
    out.append(" \"catalog\": \"").append(catalogName).append("\", \"tracks\": [\n");
    for (std::size_t i = 0; i < entries.size(); ++i) {
        out += entries[i];
        out += i + 1 < entries.size() ? ",\n" : "\n";
    }
    out += "] }\n";
    return out;
}

} // namespace vorn::MediaList
