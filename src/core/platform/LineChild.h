#pragma once
// An outside program that stays running and answers requests: we write a request to its
// standard input and read its answer, a line, from its standard output. The
// child starts as ChildProcess starts it (a clean environment, a process group of its
// own); dropping it closes its input, which a well-behaved child takes as its cue to
// leave, and stops it when it does not.

#include "platform/ChildProcess.h"

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vorn {

class CancelFlag;

class LineChild {
public:
    /// What waiting for an answer came to.
    enum class Wait { line, ended, timedOut, cancelled };

    /// Starts `program` with `arguments`; null when it could not be started.
    static std::unique_ptr<LineChild> start(const std::string& program,
                                            const std::vector<std::string>& arguments);
    explicit LineChild(ChildProcess::Piped child) : m_child(child) {}
    /// Ends the child if that was not done yet.
    ~LineChild();
    LineChild(const LineChild&) = delete;
    LineChild& operator=(const LineChild&) = delete;

    /// Writes `bytes`; false when the child no longer reads. The caller's thread must
    /// block SIGPIPE, or a child that died takes the program with it.
    bool send(std::string_view bytes);
    /// Waits for the next line of output (given without its line feed) until `deadline`
    /// or until `cancel` is raised.
    Wait receive(std::string& line, std::chrono::steady_clock::time_point deadline,
                 const CancelFlag& cancel);
    /// Ends the child: at once when `stop`, else after it had a moment to leave by itself
    /// (see ChildProcess::end). Says how it ended; once ended, it stays so.
    ChildProcess::Outcome end(bool stop);
    bool ended() const { return m_ended; }

private:
    ChildProcess::Piped m_child;
    std::string m_buffer; // output read past the last line given
    bool m_ended = false;
    ChildProcess::Outcome m_outcome;
};

} // namespace vorn
