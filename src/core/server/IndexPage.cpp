#include "server/IndexPage.h"

#include "library/FolderWalk.h"
#include "library/Paging.h"
#include "platform/SizeText.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace vorn {
namespace {

constexpr std::string_view kHead =
    "<!doctype html><meta charset=utf-8><title>Vorn Image Manager</title>\n"
    "<body style=\"font-family: ui-monospace, monospace; background:#111; color:#3fda66; "
    "padding:2em\">\n"
    "<h1>] Vorn IMAGE MANAGER</h1>\n"
    "<p>Image Source URL for the card: <code style=\"color:#fff\">";

// Names, labels and the Host header come from whoever can put a file in the library or
// reach the port: every one goes in escaped, so none can add markup or a script to the
// page a browser on the LAN renders (and such a script could write over the images).
// Link paths are percent-encoded already; they are escaped as well, for the attribute.
std::string escaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string link(std::string_view href, std::string_view text) {
    std::string out = "<a style=\"color:#3fda66\" href=\"";
    return out.append(href).append("\">").append(text).append("</a>");
}

std::string diskItem(const DiskImage& image) {
    return "<li><a href=\"/" + escaped(FolderWalk::encodePath(image.relPath())) + "\">" +
           escaped(image.displayName) + "</a> (" + SizeText::megabytes(image.bytes) + " MB, " +
           std::to_string(image.blocks) + " blocks" + (image.bootable ? ", bootable" : "") +
           ")</li>";
}

std::string plural(std::size_t n, std::string_view word) {
    return std::to_string(n) + " " + std::string(word) + (n == 1 ? "" : "s");
}

// A failed conversion is not tried again until its source changes: the page says so where
// the pending items stand, or the file would vanish without a word.
std::string failedItems(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& name : names) {
        out += "<li><i>" + escaped(name) + " (conversion failed)</i></li>";
    }
    return out;
}

std::string audioSection(const AudioCatalog& audio) {
    std::string out = "<p>Audio: " + link("/vorn-audio.json", "/vorn-audio.json") + "\n(" +
                      plural(audio.tracks.size(), "track") + ", u8/21973/mono PCM)</p>\n<ul>";
    for (const AudioTrack& track : audio.tracks) {
        char numbers[64];
        std::snprintf(numbers, sizeof numbers, " (%llu s, %llu KB)</li>",
                      static_cast<unsigned long long>(track.secs()),
                      static_cast<unsigned long long>(track.bytes / 1024));
        out += "<li><a href=\"/audio/" + escaped(FolderWalk::encodePath(track.fileName)) + "\">" +
               escaped(track.displayName) + "</a>" + numbers;
    }
    for (const std::string& name : audio.pending) {
        out += "<li><i>" + escaped(name) + " (transcoding...)</i></li>";
    }
    return out + failedItems(audio.failed) + "</ul>";
}

std::string picturesSection(const PictureCatalog& pictures) {
    std::string out = "<p>Pictures: " + link("/vorn-pictures.json", "/vorn-pictures.json") + "\n(" +
                      plural(pictures.pictures.size(), "still") + ", 320x200 SHR)</p>\n<ul>";
    for (const StillPic& pic : pictures.pictures) {
        out += "<li><a href=\"/pictures/" + escaped(FolderWalk::encodePath(pic.fileName)) + "\">" +
               escaped(pic.displayName) + "</a> (SHR)</li>";
    }
    for (const std::string& name : pictures.pending) {
        out += "<li><i>" + escaped(name) + " (converting...)</i></li>";
    }
    return out + failedItems(pictures.failed) + "</ul>";
}

std::string categoriesSection(const ShareState& state, const HubConfig& hub) {
    std::string out =
        "<p>Apple II categories: " + link("/vorn-your-hub.json", "/vorn-your-hub.json") + "\n(" +
        std::to_string(hub.cats.size()) + ", what the card lists under Your source)</p>\n<ul>";
    const std::size_t shown = std::min(hub.cats.size(), HubConfig::maxCategories);
    for (std::size_t i = 0; i < shown; ++i) {
        const HubCategory& cat = hub.cats[i];
        const std::int64_t n = countInCategory(state.catalog().images(), cat.path) +
                               countInCategory(state.audio().tracks, cat.path) +
                               countInCategory(state.pictures().pictures, cat.path);
        out += "<li><a href=\"/search?cat=" + escaped(FolderWalk::encodePath(cat.path)) + "\">" +
               escaped(cat.displayLabel()) + "</a> (" + std::to_string(n) + ")</li>";
    }
    return out + "</ul>";
}

std::string diskSection(const ShareState& state) {
    const std::vector<DiskImage>& images = state.catalog().images();
    const std::int64_t pages = Paging::pages(images.size(), DiskCatalog::volumesPerPage);
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
    page.append(escaped(base)).append("</code></p>\n");
    const HubConfig hub = state.effectiveHub();
    if (!hub.cats.empty()) {
        page += categoriesSection(state, hub);
    }
    page += diskSection(state);
    if (!state.audio().tracks.empty() || !state.audio().pending.empty() ||
        !state.audio().failed.empty()) {
        page += audioSection(state.audio());
    }
    page += "\n";
    if (!state.pictures().pictures.empty() || !state.pictures().pending.empty() ||
        !state.pictures().failed.empty()) {
        page += picturesSection(state.pictures());
    }
    page += "</body>";
    return page;
}

} // namespace vorn
