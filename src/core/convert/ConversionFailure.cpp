#include "convert/ConversionFailure.h"

#include "convert/ConversionLimit.h"

namespace vorn {

std::optional<ConversionFailure>
ConversionFailure::of(const std::optional<ChildProcess::Outcome>& outcome, std::string_view tool,
                      std::chrono::milliseconds limit,
                      const std::vector<std::pair<int, std::string_view>>& statusNames) {
    using End = ChildProcess::Outcome::End;
    if (!outcome) {
        return ConversionFailure{std::string(tool) + " did not start", Keep::thisRun};
    }
    switch (outcome->end) {
    case End::exited:
        if (outcome->code == 0) {
            return std::nullopt;
        }
        for (const auto& [status, name] : statusNames) {
            if (status == outcome->code) {
                return ConversionFailure{std::string(name), Keep::lasting};
            }
        }
        return ConversionFailure{"exit status " + std::to_string(outcome->code), Keep::lasting};
    case End::signalled:
        return ConversionFailure{"killed by signal " + std::to_string(outcome->code),
                                 Keep::lasting};
    case End::timedOut:
        return ConversionFailure{ConversionLimit::reason(limit), Keep::lasting};
    case End::cancelled:
        break;
    }
    return ConversionFailure{"cancelled", Keep::no};
}

} // namespace vorn
