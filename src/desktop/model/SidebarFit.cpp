#include "SidebarFit.h"

#include "ShareModel.h"
#include "platform/Text.h"

#include <algorithm>
#include <filesystem>

namespace vorn::SidebarFit {
namespace {

// Labels and names are drawn upper-case in the 8-bit look, and measured so.
std::string shown(const ShareModel& model, std::string_view text) {
    return model.theme().isPhosphor ? Text::upper(text) : std::string(text);
}

double countWidth(const ShareModel& model, std::int64_t n) {
    return model.library().table().textWidth(std::to_string(n), 10, false);
}

double folderRow(const ShareModel& model, int depth, std::string_view name, std::int64_t n) {
    return depth * indent + 8 + 10 + 4 + 14 + 5 +
           model.library().table().textWidth(shown(model, name), 12, true) + 4 +
           countWidth(model, n) + 4 + 18 + 8;
}

} // namespace

std::string rootName(const ShareModel& model) {
    if (model.folderPath().empty()) {
        return "Library";
    }
    std::filesystem::path folder(model.folderPath());
    const std::string name = folder.filename().string();
    return name.empty() ? folder.parent_path().filename().string() : name;
}

double width(const ShareModel& model) {
    double widest = 0;
    for (int kind = 0; kind < 4; ++kind) {
        const double row =
            model.library().table().textWidth(shown(model, kindLabels[kind]), 12, true) + 26 + 4 +
            countWidth(model, model.library().table().count(KindFilter(kind))) + 8;
        widest = std::max(widest, row);
    }
    if (!model.library().folders().empty()) {
        widest = std::max(
            widest, folderRow(model, 0, rootName(model), model.library().table().libraryCount()));
        for (const std::string& path : model.library().tree().visibleFolders()) {
            const auto depth = int(std::count(path.begin(), path.end(), '/')) + 1;
            const std::string name = path.substr(path.rfind('/') + 1);
            widest = std::max(widest,
                              folderRow(model, depth, name, model.library().table().count(path)));
        }
    }
    return widest + 4;
}

} // namespace vorn::SidebarFit
