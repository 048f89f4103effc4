#include "WindowTexts.h"

#include "ShareModel.h"
#include "platform/SizeText.h"


namespace vorn::WindowTexts {
namespace {

bool shows(KindFilter filter, KindFilter kind) {
    return filter == KindFilter::all || filter == kind;
}

std::string lastComponent(const std::string& folder) {
    const auto slash = folder.rfind('/');
    return slash == std::string::npos ? folder : folder.substr(slash + 1);
}

} // namespace

std::string versionText(std::string_view number, std::string_view build) {
    const std::string v = "v" + std::string(number);
    if (build.empty()) {
        return v + " dev";
    }
    return build == number ? v : v + " (b" + std::string(build) + ")";
}

std::string counted(std::int64_t n, std::string_view word) {
    return std::to_string(n) + " " + std::string(word) + (n == 1 ? "" : "s");
}

std::string byteText(std::uint64_t bytes) {
    return SizeText::withBytes(bytes, "B");
}

std::string tableTitle(KindFilter filter, const std::optional<std::string>& folder) {
    constexpr std::string_view titles[] = {"Disk Images, Audio & Pictures", "Disk Images", "Audio",
                                           "Pictures"};
    std::string title(titles[int(filter)]);
    if (folder) {
        title += " in " + lastComponent(*folder);
    }
    return title;
}

std::vector<CountsPart> countsLine(const LibraryModel& library) {
    const LibraryTable& table = library.table();
    const LibraryContents& c = library.contents();
    const KindFilter filter = table.kindFilter();
    std::vector<CountsPart> parts;
    if (shows(filter, KindFilter::disks)) {
        parts.push_back({counted(table.count(KindFilter::disks), "disk image") + " (" +
                         std::to_string(table.bootableCount()) + " bootable)"});
    }
    const auto pending = [](std::size_t n, std::string_view doing, std::size_t failed) {
        return (n > 0 ? " (" + std::to_string(n) + " " + std::string(doing) + "...)" : "") +
               (failed > 0 ? " (" + std::to_string(failed) + " failed)" : "");
    };
    // A failed conversion keeps its kind's part, so the failure is never counted nowhere.
    if (shows(filter, KindFilter::audio) &&
        (table.count(KindFilter::audio) > 0 || !c.audio().failed.empty())) {
        parts.push_back({"+ " + counted(table.count(KindFilter::audio), "track") +
                         pending(c.pendingAudio().size(), "transcoding", c.audio().failed.size())});
    }
    if (shows(filter, KindFilter::pictures) &&
        (table.count(KindFilter::pictures) > 0 || !c.stills().failed.empty())) {
        parts.push_back({"+ " + counted(table.count(KindFilter::pictures), "picture") +
                         pending(c.pendingPics().size(), "converting", c.stills().failed.size())});
    }
    if (shows(filter, KindFilter::pictures) && c.picsNeedConverter() > 0) {
        parts.push_back(
            {std::to_string(c.picsNeedConverter()) + " skipped (need python3 + numpy + Pillow)",
             true, true});
    }
    if (shows(filter, KindFilter::audio) && c.audioNeedsFFmpeg() > 0) {
        parts.push_back(
            {std::to_string(c.audioNeedsFFmpeg()) + " skipped (need ffmpeg for mp3/wav)", true,
             true});
    }
    if (shows(filter, KindFilter::disks) && c.rejected() > 0) {
        parts.push_back({std::to_string(c.rejected()) +
                             " skipped (.dsk/.woz need Disk II emulation, not a block device)",
                         true, false});
    }
    return parts;
}

std::vector<std::string> statusParts(const ShareModel& model) {
    const LibraryContents& c = model.library().contents();
    std::string tracks = counted(std::int64_t(c.tracks().size()), "track");
    if (!c.pendingAudio().empty()) {
        tracks += " (" + std::to_string(c.pendingAudio().size()) + " transcoding)";
    }
    std::vector<std::string> parts{model.sharing() ? "Sharing" : "Sharing stopped",
                                   "req " + std::to_string(model.requests()),
                                   "served " + byteText(model.bytesServed()), tracks,
                                   model.writable() ? "Writable" : "Read-Only"};
    // A dated copy has no control of its own to say that it is being made.
    if (model.work().busy(ModelWorker::Job::copy)) {
        parts.push_back("Copying...");
    }
    return parts;
}

} // namespace vorn::WindowTexts
