#include "library/FileName.h"

#include "platform/Text.h"

namespace vorn::FileName {

std::string_view extension(std::string_view name) {
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) {
        return {};
    }
    return name.substr(dot + 1);
}

std::string lowerExtension(std::string_view name) {
    return Text::asciiLower(extension(name));
}

std::string_view stem(std::string_view name) {
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) {
        return name;
    }
    return name.substr(0, dot);
}

std::string relPath(std::string_view folder, std::string_view name) {
    if (folder.empty()) {
        return std::string(name);
    }
    std::string out;
    out.reserve(folder.size() + 1 + name.size());
    out.append(folder).append("/").append(name);
    return out;
}

std::string_view lastComponent(std::string_view folder) {
    const auto slash = folder.rfind('/');
    return slash == std::string_view::npos ? folder : folder.substr(slash + 1);
}

} // namespace vorn::FileName
