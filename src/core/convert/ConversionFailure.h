#pragma once
// Why a conversion did not give a cache file, and how long that is worth remembering.

#include "platform/ChildProcess.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vorn {

struct ConversionFailure {
    /// How long the failure stands.
    enum class Keep {
        /// Not at all, and nobody is told: the conversion was cancelled (the program is
        /// stopping), which says nothing about the file.
        no,
        /// Until the program restarts or looks for its tools again: the cause lies outside
        /// the file (the converter did not start, a full disk, a cache folder not writable,
        /// a source it may not read) and may be mended without touching the file.
        thisRun,
        /// Until the source file changes, restarts included: the file itself made the
        /// converter fail, hang or give a wrong result.
        lasting,
    };

    /// Short and lower case, for the log line: "exit status 1", "time limit 120 s".
    std::string reason;
    Keep keep = Keep::lasting;

    /// The failure behind a converter's outcome; absent when it exited with status 0.
    /// `tool` names the converter when it did not start; `statusNames` may give reasons
    /// to exit statuses the converter documents.
    static std::optional<ConversionFailure>
    of(const std::optional<ChildProcess::Outcome>& outcome, std::string_view tool,
       std::chrono::milliseconds limit,
       const std::vector<std::pair<int, std::string_view>>& statusNames = {});

    bool operator==(const ConversionFailure&) const = default;
};

} // namespace vorn
