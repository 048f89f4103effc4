#include "server/IndexPage.h"

#include "library/FolderWalk.h"
#include "library/Paging.h"

#include <algorithm>
#include <cstdio>

namespace vorn {
namespace {

constexpr std::string_view kHead =
    "<!doctype html><meta charset=utf-8><title>Vorn Image Manager</title>\n"
    "<body style=\"font-family: ui-monospace, monospace; background:#111; color:#3fda66; "
    "padding:2em\">\n"
    "<h1>] Vorn IMAGE MANAGER</h1>\n"
    "<p>Image Source URL for the card: <code style=\"color:#fff\">";

std::string link(std::string_view href, std::string_view text) {
    std::string out = "<a style=\"color:#3fda66\" href=\"";
    return out.append(href).append("\">").append(text).append("</a>");
}

std::string diskItem(const DiskImage& image) {
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, " (%.1f MB, %llu blocks%s)</li>",
                  double(image.bytes) / 1048576.0, static_cast<unsigned long long>(image.blocks),
                  image.bootable ? ", bootable" : "");
    return "<li><a href=\"/" + FolderWalk::encodePath(image.relPath()) + "\">" + image.displayName +
           "</a>" + numbers;
}

std::string categoriesSection(const ShareState& state, const HubConfig& hub) {
    std::string out =
        "<p>Apple II categories: " + link("/vorn-your-hub.json", "/vorn-your-hub.json") + "\n(" +
        std::to_string(hub.cats.size()) + ", what the card lists under Your source)</p>\n<ul>";
    const std::size_t shown = std::min(hub.cats.size(), HubConfig::maxCategories);
    for (std::size_t i = 0; i < shown; ++i) {
        const HubCategory& cat = hub.cats[i];
        const auto n = std::count_if(
            state.catalog.images().begin(), state.catalog.images().end(),
            [&](const DiskImage& image) { return HubConfig::under(image.folder, cat.path); });
        out += "<li><a href=\"/search?cat=" + FolderWalk::encodePath(cat.path) + "\">" +
               cat.displayLabel() + "</a> (" + std::to_string(n) + ")</li>";
    }
    return out + "</ul>";
}

std::string diskSection(const ShareState& state) {
    const std::vector<DiskImage>& images = state.catalog.images();
    const std::int64_t pages = Paging::pages(images.size(), Catalog::entriesPerPage);
    std::string out = "\n<p>Catalog: " + link("/vorn-volumes.json", "/vorn-volumes.json") + "\n(";
    out += std::to_string(images.size()) + " disk images, " + std::to_string(pages) + " page" +
           (pages == 1 ? "" : "s") + ", " + (state.writable ? "writable" : "read-only") +
           ")</p>\n<ul>";
    for (const DiskImage& image : images) {
        out += diskItem(image);
    }
    if (images.empty()) {
        out += "<li><i>no disk images found</i></li>";
    }
    return out + "</ul>\n";
}

} // namespace

std::string indexHTML(const ShareState& state, std::string_view base) {
    std::string page(kHead);
    page.append(base).append("</code></p>\n");
    const HubConfig hub = state.effectiveHub();
    if (!hub.cats.empty()) {
        page += categoriesSection(state, hub);
    }
    page += diskSection(state);
    page += "\n";
    page += "</body>";
    return page;
}

} // namespace vorn
