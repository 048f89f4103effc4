#pragma once
// The core's texts are UTF-8 in std::string; Qt's are QString. One conversion, so that
// every view reads a file name with accents the same way.

#include <QString>
#include <string_view>

namespace vorn {

inline QString qText(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

} // namespace vorn
