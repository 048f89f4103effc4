#include "platform/ChildProcess.h"

#include "platform/CancelFlag.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vorn::ChildProcess {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How long a child asked to end (SIGTERM) may take before it is killed.
constexpr milliseconds kGrace{1000};
// Without a descriptor to wait on, how often the child and the flag are looked at.
constexpr milliseconds kSlice{50};

// `input` and `output` (-1: /dev/null) become the child's standard input and output.
std::optional<pid_t> spawn(const std::string& program, const std::vector<std::string>& arguments,
                           int input = -1, int output = -1) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input >= 0) {
        posix_spawn_file_actions_adddup2(&actions, input, 0);
    } else {
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    }
    if (output >= 0) {
        posix_spawn_file_actions_adddup2(&actions, output, 1);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // Asio opens its sockets without close-on-exec: only this closes them in the child.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    sigset_t all;
    sigfillset(&all); // SIGKILL and SIGSTOP cannot be caught; the child skips them
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                              POSIX_SPAWN_SETPGROUP);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned =
        posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? std::optional<pid_t>(pid) : std::nullopt;
}

// Whether the child has ended. It is left unreaped, so that neither its process id nor its
// process group can be given to another process while we may still signal them.
bool ended(pid_t pid) {
    siginfo_t info{};
    if (waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
        return errno == ECHILD; // nothing left to wait for
    }
    return info.si_pid == pid;
}

// Milliseconds for poll until the deadline; at most a slice when nothing can wake it early.
int pollTimeout(Clock::time_point deadline, bool wakeable) {
    if (deadline == Clock::time_point::max() && wakeable) {
        return -1;
    }
    auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now());
    if (!wakeable) {
        left = std::min(left, kSlice);
    }
    return int(std::clamp<milliseconds::rep>(left.count(), 0, INT_MAX));
}

// Waits until the child ends (true), or the deadline passes or `cancel` is raised (false).
bool waitEnd(pid_t pid, int pidfd, Clock::time_point deadline, const CancelFlag* cancel) {
    const int cancelFd = cancel != nullptr ? cancel->fd() : -1;
    const bool wakeable = pidfd >= 0 && (cancel == nullptr || cancelFd >= 0);
    for (;;) {
        if (ended(pid)) {
            return true;
        }
        if ((cancel != nullptr && cancel->raised()) || Clock::now() >= deadline) {
            return false;
        }
        pollfd watched[2] = {{pidfd, POLLIN, 0}, {cancelFd, POLLIN, 0}}; // -1 is skipped
        poll(watched, 2, pollTimeout(deadline, wakeable));
    }
}

void signalChild(pid_t pid, int signal) {
    kill(-pid, signal); // its process group: whatever it started goes too
    kill(pid, signal);  // itself, should it have left the group
}

// Asks the child to end, then kills it and its group.
void stop(pid_t pid, int pidfd) {
    signalChild(pid, SIGTERM);
    waitEnd(pid, pidfd, Clock::now() + kGrace, nullptr);
    signalChild(pid, SIGKILL);
}

int reap(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return status;
}

// How a child that ended, was stopped or was never waited for ended, once reaped.
Outcome outcome(pid_t pid, Outcome::End stopped) {
    const int status = reap(pid);
    if (stopped != Outcome::End::exited) {
        return Outcome{stopped, 0};
    }
    const bool exited = WIFEXITED(status);
    return Outcome{exited ? Outcome::End::exited : Outcome::End::signalled,
                   exited                ? WEXITSTATUS(status)
                   : WIFSIGNALED(status) ? WTERMSIG(status)
                                         : 0};
}

} // namespace

std::optional<Piped> startPiped(const std::string& program,
                                const std::vector<std::string>& arguments) {
    int toChild[2], fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0) {
        return std::nullopt;
    }
    if (pipe2(fromChild, O_CLOEXEC) != 0) {
        close(toChild[0]);
        close(toChild[1]);
        return std::nullopt;
    }
    const std::optional<pid_t> pid = spawn(program, arguments, toChild[0], fromChild[1]);
    close(toChild[0]);
    close(fromChild[1]);
    if (!pid) {
        close(toChild[1]);
        close(fromChild[0]);
        return std::nullopt;
    }
    return Piped{*pid, int(syscall(SYS_pidfd_open, *pid, 0)), toChild[1], fromChild[0]};
}

Outcome end(const Piped& child, bool stopFirst) {
    close(child.input); // a child that reads its input to the end leaves by itself
    close(child.output);
    if (stopFirst) {
        stop(child.pid, child.pidfd);
    } else if (!waitEnd(child.pid, child.pidfd, Clock::now() + kGrace, nullptr)) {
        stop(child.pid, child.pidfd);
    }
    const Outcome result = outcome(child.pid, Outcome::End::exited);
    if (child.pidfd >= 0) {
        close(child.pidfd);
    }
    return result;
}

std::optional<int> run(const std::string& program, const std::vector<std::string>& arguments) {
    const std::optional<Outcome> outcome = run(program, arguments, milliseconds::max(), nullptr);
    if (!outcome) {
        return std::nullopt;
    }
    return outcome->end == Outcome::End::exited ? outcome->code : -1;
}

std::optional<Outcome> run(const std::string& program, const std::vector<std::string>& arguments,
                           milliseconds limit, const CancelFlag* cancel) {
    if (cancel != nullptr && cancel->raised()) {
        return Outcome{Outcome::End::cancelled, 0};
    }
    const Clock::time_point deadline =
        limit == milliseconds::max() ? Clock::time_point::max() : Clock::now() + limit;
    const std::optional<pid_t> pid = spawn(program, arguments);
    if (!pid) {
        return std::nullopt;
    }
    // A descriptor that polls readable when the child ends (always close-on-exec); without
    // one (an old kernel) the wait looks at the child every slice instead.
    const int pidfd = int(syscall(SYS_pidfd_open, *pid, 0));
    Outcome::End stopped = Outcome::End::exited;
    if (!waitEnd(*pid, pidfd, deadline, cancel)) {
        const bool cancelled = cancel != nullptr && cancel->raised();
        stopped = cancelled ? Outcome::End::cancelled : Outcome::End::timedOut;
        stop(*pid, pidfd);
    }
    const Outcome result = outcome(*pid, stopped);
    if (pidfd >= 0) {
        close(pidfd);
    }
    return result;
}

} // namespace vorn::ChildProcess
