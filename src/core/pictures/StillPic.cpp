#include "pictures/StillPic.h"

#include "library/FileName.h"
#include "platform/Files.h"

#include <algorithm>

namespace vorn {

bool StillPic::convertible(std::string_view fileName) {
    const std::string ext = FileName::lowerExtension(fileName);
    return std::find(transcodeExtensions.begin(), transcodeExtensions.end(), ext) !=
           transcodeExtensions.end();
}

std::optional<std::filesystem::path> StillPic::originalPath() const {
    if (convertible(sourcePath.filename().string())) {
        return sourcePath;
    }
    // A ready-made SHR screen may sit beside the picture it was made from.
    const std::string stem(FileName::stem(sourcePath.filename().string()));
    for (const char* ext : {"jpg", "jpeg", "png", "gif", "webp", "bmp"}) {
        const std::filesystem::path candidate = sourcePath.parent_path() / (stem + "." + ext);
        if (Files::exists(candidate)) {
            return candidate;
        }
    }
    return std::nullopt;
}

} // namespace vorn
