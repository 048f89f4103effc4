#pragma once
// tools/img2shr.py as a conversion tool: a library picture into one SHR screen of
// exactly 32712 bytes, with a PNG preview beside it.
//
// Starting python3 and importing numpy and Pillow takes longer than converting a photo's
// worth of screen, so each job slot keeps one converter running ("img2shr.py --serve")
// and hands it picture after picture until the queue runs dry. A converter that dies,
// overruns its limit or is cancelled is ended and the slot's next picture starts another.
//
// A request is the command line the script takes after its own name (the source, the
// output and the knobs), each argument ended by a NUL byte and the request by an empty
// argument: any file name passes unchanged. The answer is a line with the exit status the
// same command line would give.

#include "convert/ConversionTool.h"
#include "platform/LineChild.h"

#include <memory>

namespace vorn {

class Img2ShrTool : public ConversionTool {
public:
    /// The converter's exit status for a picture it refuses as too large.
    static constexpr int tooLargeStatus = 3;
    /// What the preview's name adds to the screen's.
    static constexpr std::string_view previewSuffix = "_preview.png";

    /// A tool for `slots` job slots, none of which runs a converter yet.
    explicit Img2ShrTool(unsigned slots);
    ~Img2ShrTool() override;

    std::string_view failedText() const override { return "picture convert failed"; }
    /// A whole screen, of exactly StillPic::shrBytes.
    bool complete(const std::filesystem::path& file) const override;
    std::optional<ConversionFailure> convert(const Run& run) override;
    std::vector<std::string> companions() const override { return {std::string(previewSuffix)}; }
    /// Ends the slot's converter.
    void rest(unsigned slot) override;
    /// Ends every slot's converter.
    void stop() override;

    /// The request for converting `job`'s source into `part`.
    static std::string request(const ConversionJob& job, const std::filesystem::path& part);

private:
    struct Slot {
        std::vector<std::string> command; // what `child` was started with
        std::unique_ptr<LineChild> child;
    };
    LineChild* converter(Slot& slot, const std::vector<std::string>& command);
    static std::optional<ChildProcess::Outcome> ask(LineChild& child, const std::string& request,
                                                    const Run& run);

    std::vector<Slot> m_slots; // each used by the one thread of its slot
};

} // namespace vorn
