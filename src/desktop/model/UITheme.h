#pragma once
// The two looks of the window, and how the choice is kept in the preferences.

#include <optional>
#include <string>
#include <string_view>

namespace vorn {

/// The green phosphor screen of an 8-bit Apple II, or the IIGS Finder.
enum class UITheme { eightBit, gs };

/// The preference value of a look: "8bit" or "gs".
constexpr std::string_view storedName(UITheme look) {
    return look == UITheme::gs ? "gs" : "8bit";
}

/// The look a stored value selects: exactly "gs" is the IIGS look, anything else (or
/// nothing) the 8-bit look, so an odd value never leaves the window without a look.
constexpr UITheme uiThemeFromStored(const std::optional<std::string>& stored) {
    return stored && *stored == "gs" ? UITheme::gs : UITheme::eightBit;
}

} // namespace vorn
