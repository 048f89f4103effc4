#pragma once
// What the program says about itself in the title row, given by main (the version comes
// from the build, which only the program itself depends on).

#include <QString>

namespace vorn {

struct AppInfo {
    /// "v0.1.0 (b42)", see WindowTexts::versionText.
    QString version;
    /// The product's web address; empty when there is none.
    QString homepage;
};

} // namespace vorn
