#include "SnapshotOptions.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <tuple>

namespace vorn {
namespace {

using Args = std::vector<std::string>;

// The value after the first `option`, if the option is there and is not the last argument.
std::optional<std::string> valueOf(const Args& args, const std::string& option) {
    const auto at = std::find(args.begin(), args.end(), option);
    if (at == args.end() || at + 1 == args.end()) {
        return std::nullopt;
    }
    return *(at + 1);
}

std::optional<double> number(const std::string& text) {
    if (text.empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    // Any number counts, so that "0x0" is a size (which cannot be rendered, and says so)
    // rather than a silent fall-back to the default.
    const bool whole = end == text.c_str() + text.size();
    return whole && !std::isnan(value) ? std::optional(value) : std::nullopt;
}

} // namespace

std::pair<double, double> SnapshotOptions::size(const std::string& text) {
    std::vector<double> numbers;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t x = std::min(text.find('x', start), text.size());
        if (const auto n = number(text.substr(start, x - start))) {
            numbers.push_back(*n);
        }
        start = x + 1;
    }
    if (numbers.size() == 2) {
        return {numbers[0], numbers[1]};
    }
    return {1240, 800};
}

std::optional<SnapshotOptions> SnapshotOptions::parse(const Args& args) {
    const auto at = std::find(args.begin() + (args.empty() ? 0 : 1), args.end(), "--snapshot");
    if (at == args.end() || at + 1 == args.end()) {
        return std::nullopt;
    }
    SnapshotOptions options;
    options.out = *(at + 1);
    if (at + 2 != args.end() && (at + 2)->rfind("--", 0) != 0) {
        options.folder = *(at + 2);
    }
    if (const auto theme = valueOf(args, "--theme"); theme == "8bit" || theme == "gs") {
        options.theme = *theme == "gs" ? UITheme::gs : UITheme::eightBit;
    }
    options.categoriesSheet = valueOf(args, "--sheet") == "categories";
    std::tie(options.width, options.height) = size(valueOf(args, "--size").value_or(""));
    return options;
}

} // namespace vorn
