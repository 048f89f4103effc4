#include "library/DiskCatalog.h"

#include "library/FolderWalk.h"
#include "library/HubConfig.h"
#include "library/JsonString.h"
#include "library/Paging.h"
#include "platform/Text.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>

namespace vorn {
namespace {

void sortByDisplayName(std::vector<DiskImage>& images) {
    Text::stableSort(images, [](const DiskImage& image) { return image.displayName; });
}

bool matches(const DiskImage& image, const std::string& lowerQuery) {
    return Text::lower(image.displayName).find(lowerQuery) != std::string::npos ||
           Text::lower(image.fileName).find(lowerQuery) != std::string::npos ||
           Text::lower(image.folder).find(lowerQuery) != std::string::npos;
}

void appendEntry(std::string& out, const DiskImage& image, std::string_view baseURL, bool writable,
                 const Covers& covers) {
    out += "  { \"name\": " + jsonString(image.displayName);
    out += ", \"bytes\": " + std::to_string(image.bytes);
    out += ", \"blocks\": " + std::to_string(image.blocks);
    out += image.bootable ? ", \"boot\": true" : ", \"boot\": false";
    out += writable && image.writable ? ", \"readonly\": false" : ", \"readonly\": true";
    out += ", \"source\": \"lan\",";
    if (const auto cover = covers.find(DiskCatalog::coverKey(image.displayName));
        cover != covers.end()) {
        out += " \"cover\": " + jsonString(cover->second) + ",";
    }
    std::string url(baseURL);
    url += FolderWalk::encodePath(image.relPath());
    out += " \"url\": " + jsonString(url) + " }";
}

} // namespace

DiskCatalog::DiskCatalog(std::vector<DiskImage> images, bool writable)
    : m_images(disambiguate(std::move(images))), m_writable(writable) {
    sortByDisplayName(m_images);
    m_relPaths.reserve(m_images.size());
    for (const DiskImage& image : m_images) {
        m_relPaths.push_back(image.relPath());
        if (image.dosOrder) {
            m_dosOrdered.push_back(image.relPath());
        }
    }
    std::sort(m_relPaths.begin(), m_relPaths.end());
    std::sort(m_dosOrdered.begin(), m_dosOrdered.end());
}

bool DiskCatalog::lists(std::string_view relPath) const {
    return std::binary_search(m_relPaths.begin(), m_relPaths.end(), relPath);
}

bool DiskCatalog::dosOrdered(std::string_view relPath) const {
    return std::binary_search(m_dosOrdered.begin(), m_dosOrdered.end(), relPath);
}

std::int64_t DiskCatalog::skippedDiskII(const std::vector<WalkedFile>& files) const {
    return std::count_if(files.begin(), files.end(), [this](const WalkedFile& file) {
        return DiskImage::needsDiskII(file.fileName()) && !lists(file.relPath());
    });
}

DiskCatalog DiskCatalog::scan(const std::vector<WalkedFile>& files, bool writable) {
    std::vector<DiskImage> images;
    for (const WalkedFile& file : files) {
        if (auto image = DiskImage::probe(file.path, file.folder)) {
            images.push_back(std::move(*image));
        }
    }
    return DiskCatalog(std::move(images), writable);
}

std::vector<DiskImage> DiskCatalog::disambiguate(std::vector<DiskImage> images) {
    std::unordered_map<std::string, int> counts;
    std::vector<std::string> keys;
    keys.reserve(images.size());
    for (const DiskImage& image : images) {
        keys.push_back(Text::lower(image.displayName));
        ++counts[keys.back()];
    }
    for (std::size_t i = 0; i < images.size(); ++i) {
        DiskImage& image = images[i];
        if (counts[keys[i]] >= 2 && !image.folder.empty()) {
            image.displayName += " (";
            image.displayName.append(FileName::lastComponent(image.folder)).append(")");
        }
    }
    return images;
}

std::int64_t DiskCatalog::pages() const {
    return Paging::pages(m_images.size(), volumesPerPage);
}

std::string DiskCatalog::pageJSON(std::int64_t page, std::string_view baseURL,
                                  const Covers& covers) const {
    const std::string head =
        "\"pages\": " + std::to_string(pages()) + ", \"total\": " + std::to_string(m_images.size());
    return body(Paging::slice(std::span<const DiskImage>(m_images), page, volumesPerPage), baseURL,
                m_writable, head, covers);
}

std::string DiskCatalog::searchJSON(std::string_view query, std::int64_t page,
                                    std::string_view baseURL, const Covers& covers,
                                    const std::optional<std::string>& cat, bool prefixSub) const {
    std::vector<DiskImage> pool = cat ? inCategory(*cat, prefixSub) : m_images;
    const std::string lowerQuery = Text::lower(query);
    std::vector<DiskImage> found;
    for (DiskImage& image : pool) {
        if (lowerQuery.empty() || matches(image, lowerQuery)) {
            found.push_back(std::move(image));
        }
    }
    const std::string head =
        "\"pages\": " + std::to_string(Paging::pages(found.size(), volumesPerPage)) +
        ", \"count\": " + std::to_string(found.size());
    return body(Paging::slice(std::span<const DiskImage>(found), page, volumesPerPage), baseURL,
                m_writable, head, covers);
}

std::vector<DiskImage> DiskCatalog::inCategory(std::string_view cat, bool prefixSub) const {
    std::vector<DiskImage> members;
    for (const DiskImage& image : m_images) {
        if (HubConfig::under(image.folder, cat)) {
            members.push_back(image);
        }
    }
    if (!prefixSub) {
        return members;
    }
    for (DiskImage& image : members) {
        image.displayName = HubConfig::prefixed(image.displayName, image.folder, cat);
    }
    sortByDisplayName(members);
    return members;
}

std::string DiskCatalog::body(std::span<const DiskImage> entries, std::string_view baseURL,
                              bool writable, std::string_view head, const Covers& covers) {
    std::string out = "{ ";
    out.append(head).append(", \"volumes\": [\n");
    for (std::size_t i = 0; i < entries.size(); ++i) {
        appendEntry(out, entries[i], baseURL, writable, covers);
        out += i + 1 < entries.size() ? ",\n" : "\n";
    }
    out += "] }\n";
    return out;
}

std::string DiskCatalog::coverKey(std::string_view displayName) {
    std::string key = Text::lower(displayName);
    if (const auto dk = key.find(" dk"); dk != std::string::npos) {
        key.resize(dk);
    }
    if (const auto paren = key.find(" ("); paren != std::string::npos) {
        key.resize(paren);
    }
    return std::string(Text::trimBlanks(key));
}

std::string DiskCatalog::urlEncode(std::string_view text) {
    return Text::percentEncode(text);
}

} // namespace vorn
