#pragma once
// Notices two cards writing into one disk image at the same time. Each card keeps its
// own idea of the volume's free blocks and directories, so their writes undo each other
// and the volume is soon damaged. The share cannot tell which card is right; it says so
// in the log, where the user sees it.

#include <chrono>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vorn {

class WriterWatch {
public:
    using Clock = std::chrono::steady_clock;

    /// Writes from two peers this close together count as writing at the same time.
    static constexpr Clock::duration together = std::chrono::seconds(10);
    /// At most one warning per image this often.
    static constexpr Clock::duration quiet = std::chrono::minutes(1);

    /// Notes a write into `image` from the address `peer` (ignored when empty); returns
    /// "warning: two cards writing IMAGE: EARLIER and LATER" when that is due.
    std::optional<std::string> noteWrite(const std::string& image, const std::string& peer,
                                         Clock::time_point now);

private:
    struct Writes {
        std::vector<std::pair<std::string, Clock::time_point>> lastByPeer; // recent ones only
        std::optional<Clock::time_point> warned;
    };
    std::unordered_map<std::string, Writes> m_images;
};

} // namespace vorn
