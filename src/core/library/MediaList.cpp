#include "library/MediaList.h"

#include "library/JsonString.h"
#include "platform/Files.h"

#include <set>

namespace vorn::MediaList {

std::vector<Claim> claims(const std::vector<WalkedFile>& files, std::string_view ownExtension,
                          bool (*convertible)(std::string_view fileName)) {
    std::vector<Claim> result;
    std::set<std::string> claimed;
    for (const WalkedFile& file : files) {
        if (FileName::lowerExtension(file.fileName()) != ownExtension) {
            continue;
        }
        const std::optional<std::uint64_t> size = Files::size(file.path);
        if (size && *size > 0 && claimed.insert(file.relPath()).second) {
            result.push_back({&file, file.relPath(), size});
        }
    }
    for (const WalkedFile& file : files) {
        if (!convertible(file.fileName())) {
            continue;
        }
        std::string name = FileName::relPath(file.folder, FileName::stem(file.fileName()));
        name.append(".").append(ownExtension);
        if (claimed.insert(name).second) {
            result.push_back({&file, std::move(name), std::nullopt});
        }
    }
    return result;
}

std::string render(std::int64_t pages, std::size_t total, const std::optional<std::string>& next,
                   std::string_view catalogName, const std::vector<std::string>& entries) {
    std::string out =
        "{ \"pages\": " + std::to_string(pages) + ", \"total\": " + std::to_string(total) + ",";
    if (next) {
        out += " \"next\": " + jsonString(*next) + ",";
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
