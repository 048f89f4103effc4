#pragma once
// The one-shot commands of vorn-share: each prints its result and returns the exit status.

#include <cstdint>
#include <optional>
#include <string>

namespace vorn {
class Preferences;
}

namespace vorn::Commands {

/// Which catalog a command works on.
enum class Kind { disks, audio, pictures };

struct CatalogOptions {
    std::string folder;
    Kind kind = Kind::disks;
    std::int64_t page = 1;
    std::string base = "http://127.0.0.1:8271/";
    bool readOnly = false;
    std::optional<std::string> search;
    std::optional<std::string> cat;
    bool prefixSubfolder = false;
};

/// The table of shareable disk images, the count of Disk II images skipped, and the
/// conversions that failed with their reasons.
int scan(const std::string& folder, Preferences& preferences);
/// The exact JSON of a catalog page or search.
int catalog(const CatalogOptions& options, Preferences& preferences);
/// The exact categories JSON of one kind, with the default categories.
int hub(const std::string& folder, Kind kind, Preferences& preferences);
/// Writes the demo library.
int demo(const std::string& dir);
/// What the conversion tools look like, with the commands that install what is missing.
int tools();

} // namespace vorn::Commands
