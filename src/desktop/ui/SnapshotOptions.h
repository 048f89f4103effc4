#pragma once
// The command line of snapshot mode: "--snapshot OUT" with an optional library folder right
// after it, "--theme 8bit|gs", "--sheet categories" and "--size WxH". Without "--snapshot"
// followed by a value the program starts its window and ignores the rest.

#include "model/UITheme.h"

#include <optional>
#include <string>
#include <vector>

namespace vorn {

struct SnapshotOptions {
    /// The PNG file to write.
    std::string out;
    /// The library to show instead of the stored one.
    std::optional<std::string> folder;
    /// The look to show instead of the stored one.
    std::optional<UITheme> theme;
    /// Render the categories sheet instead of the window.
    bool categoriesSheet = false;
    /// The window's size in points (the picture has twice as many pixels each way).
    double width = 1240;
    double height = 800;

    /// The snapshot asked for by `args` (the program's name first), if any.
    static std::optional<SnapshotOptions> parse(const std::vector<std::string>& args);
    /// "1400x900" gives 1400 by 900; anything that does not give exactly two numbers, the
    /// default size.
    static std::pair<double, double> size(const std::string& text);
};

} // namespace vorn
