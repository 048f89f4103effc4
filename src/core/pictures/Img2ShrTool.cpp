#include "pictures/Img2ShrTool.h"

#include "pictures/StillPic.h"
#include "platform/Files.h"
#include "platform/Numbers.h"

#include <climits>

namespace vorn {
namespace {

// The status an answer line gives; absent when it is none.
std::optional<int> status(const std::string& line) {
    const std::optional<std::int64_t> value = parseIn(line, {INT_MIN, INT_MAX});
    return value ? std::optional(int(*value)) : std::nullopt;
}

} // namespace

Img2ShrTool::Img2ShrTool(unsigned slots) : m_slots(std::max(1u, slots)) {}

Img2ShrTool::~Img2ShrTool() {
    stop();
}

bool Img2ShrTool::complete(const std::filesystem::path& file) const {
    return Files::size(file) == StillPic::shrBytes;
}

std::string Img2ShrTool::request(const ConversionJob& job, const std::filesystem::path& part) {
    std::string text = job.source.string() + '\0' + part.string() + '\0';
    for (const std::string& option : job.options) {
        text += option + '\0';
    }
    return text + '\0';
}

std::optional<ConversionFailure> Img2ShrTool::convert(const Run& run) {
    using Keep = ConversionFailure::Keep;
    Slot& slot = m_slots.at(run.slot);
    std::optional<ChildProcess::Outcome> outcome;
    if (LineChild* child = converter(slot, run.job.command)) {
        outcome = ask(*child, request(run.job, run.part), run);
    }
    if (slot.child && slot.child->ended()) {
        slot.child.reset(); // the next picture starts another
    }
    if (auto failure = ConversionFailure::of(outcome, "python3", run.limit,
                                             {{tooLargeStatus, "picture too large"}})) {
        return failure;
    }
    const std::optional<std::uint64_t> size = Files::size(run.part);
    if (size != StillPic::shrBytes) {
        return ConversionFailure{
            size ? "output of " + std::to_string(*size) + " bytes" : "no output", Keep::lasting};
    }
    return std::nullopt;
}

// The slot's converter, started when there is none or the tools were looked for again
// and changed; null when it cannot be started.
LineChild* Img2ShrTool::converter(Slot& slot, const std::vector<std::string>& command) {
    if (slot.child && slot.command == command) {
        return slot.child.get();
    }
    slot.child.reset();
    std::vector<std::string> arguments(command.begin() + 1, command.end());
    arguments.push_back("--serve");
    slot.child = LineChild::start(command.front(), arguments);
    slot.command = command;
    return slot.child.get();
}

// How the conversion ended, as if the command line had run: an answer is an exit status;
// a converter that died, overran or was cancelled is ended here, and its outcome told.
std::optional<ChildProcess::Outcome> Img2ShrTool::ask(LineChild& child, const std::string& request,
                                                      const Run& run) {
    using End = ChildProcess::Outcome::End;
    const auto deadline = std::chrono::steady_clock::now() + run.limit;
    std::string line;
    switch (child.send(request) ? child.receive(line, deadline, run.cancel)
                                : LineChild::Wait::ended) {
    case LineChild::Wait::line:
        if (const std::optional<int> code = status(line)) {
            return ChildProcess::Outcome{End::exited, *code};
        }
        child.end(true); // it speaks no protocol of ours
        return ChildProcess::Outcome{End::exited, 1};
    case LineChild::Wait::timedOut:
        child.end(true);
        return ChildProcess::Outcome{End::timedOut, 0};
    case LineChild::Wait::cancelled:
        child.end(true);
        return ChildProcess::Outcome{End::cancelled, 0};
    case LineChild::Wait::ended:
        break;
    }
    ChildProcess::Outcome ended = child.end(false);
    if (ended.end == End::exited && ended.code == 0) {
        ended.code = 1; // left without answering: no conversion of ours succeeded
    }
    return ended;
}

void Img2ShrTool::rest(unsigned slot) {
    m_slots.at(slot).child.reset();
}

void Img2ShrTool::stop() {
    for (Slot& slot : m_slots) {
        slot.child.reset();
    }
}

} // namespace vorn
