#pragma once
// Runs an outside program to completion, its output discarded; or starts one to talk
// with over pipes.
//
// The child starts clean whatever the calling thread looks like: standard input, output
// and error on /dev/null and no other descriptor of ours (the server's sockets would
// otherwise outlive a crash in a converter and keep "Connection: close" answers open),
// the default signal mask and dispositions (`serve` blocks SIGINT and SIGTERM in every
// thread, and a child that inherited that could not be stopped), and a process group of
// its own, so that ending it also ends whatever it started.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace vorn {
class CancelFlag;
}

namespace vorn::ChildProcess {

/// How a run ended.
struct Outcome {
    enum class End { exited, signalled, timedOut, cancelled };
    End end = End::exited;
    /// The exit status when it exited, the signal's number when a signal ended it.
    int code = 0;

    bool operator==(const Outcome&) const = default;
};

/// Starts `program` with `arguments` (not including the program itself) and waits for it.
/// The exit status (-1 when a signal ended it), or absent when the program could not be
/// started.
std::optional<int> run(const std::string& program, const std::vector<std::string>& arguments);

/// The same, but once `limit` has passed or `cancel` (if any) is raised the child is asked
/// to end (SIGTERM to its process group), then killed (SIGKILL) a moment later. Absent when
/// the program could not be started; nothing is started when `cancel` is already raised.
std::optional<Outcome> run(const std::string& program, const std::vector<std::string>& arguments,
                           std::chrono::milliseconds limit, const CancelFlag* cancel);

/// A child started to talk with: its standard input and output are pipes of ours.
struct Piped {
    int pid = -1;
    /// Polls readable once the child ends; -1 on kernels without pidfd_open.
    int pidfd = -1;
    /// What we write to the child's standard input.
    int input = -1;
    /// What we read from the child's standard output.
    int output = -1;
};

/// Starts `program` as `run` does, but with pipes for its standard input and output.
/// Absent when it could not be started.
std::optional<Piped> startPiped(const std::string& program,
                                const std::vector<std::string>& arguments);
/// Closes the pipes, lets the child leave by itself for a moment (unless `stopFirst`), then
/// stops it as `run` does at its limit, and reaps it.
Outcome end(const Piped& child, bool stopFirst);

} // namespace vorn::ChildProcess
