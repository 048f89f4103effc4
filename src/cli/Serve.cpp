#include "Serve.h"

#include "SettingsFollower.h"
#include "audio/AudioTranscoder.h"
#include "library/ShareSettings.h"
#include "pictures/PictureTranscoder.h"
#include "platform/FolderWatcher.h"
#include "platform/HostName.h"
#include "platform/Preferences.h"
#include "platform/XdgPaths.h"
#include "server/LanIP.h"
#include "scan/LibraryScan.h"
#include "server/ShareServer.h"

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <pthread.h>
#include <thread>

namespace vorn {
namespace {

// Hands the server's status to the main thread, which does the printing: the server's
// thread must never wait for a slow terminal or pipe.
class StatusMailbox {
public:
    // Called on the server's thread after every request. Only new log lines get printed,
    // so a status without any (a block read) is neither copied nor woken for: the card's
    // reads cost the server's thread no lock hand-over and no system call.
    void post(const ShareStatus& status) {
        if (status.recentLines.appended() == m_posted) {
            return;
        }
        m_posted = status.recentLines.appended();
        std::lock_guard lock(m_mutex);
        m_latest = status;
        m_cv.notify_one();
    }
    void stop() {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_cv.notify_one();
    }
    // Waits for new lines or a stop; false once stopping. A card writing a file logs a
    // line per block: the lines are then gathered for a moment and printed together,
    // while nobody waits on the mailbox, so the burst costs the server's thread no
    // wake-up per block and the terminal one write per batch.
    bool wait(std::optional<ShareStatus>& out) {
        {
            std::unique_lock lock(m_mutex);
            m_cv.wait(lock, [&] { return m_latest || m_stopping; });
            if (m_stopping) {
                return false;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::lock_guard lock(m_mutex);
        out = std::move(m_latest);
        m_latest.reset();
        return !m_stopping;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::optional<ShareStatus> m_latest;
    bool m_stopping = false;
    std::uint64_t m_posted = 0; // log lines appended as of the last post; server's thread only
};

void printNewLines(const ShareStatus& status, std::uint64_t& printed) {
    const LogLines& log = status.recentLines;
    const std::uint64_t fresh = std::min<std::uint64_t>(log.appended() - printed, log.size());
    for (const std::string& line : log.last(std::size_t(fresh))) {
        std::cout << line << "\n";
    }
    printed = log.appended();
    std::cout.flush();
}

// A thread that turns SIGINT and SIGTERM (blocked everywhere else) into a stop.
std::thread signalWatcher(StatusMailbox& mailbox, sigset_t signals) {
    return std::thread([&mailbox, signals] {
        int received = 0;
        sigwait(&signals, &received);
        mailbox.stop();
    });
}

} // namespace

int serve(const ServeOptions& options, Preferences& preferences) {
    ShareSettings settings = ShareSettings::load(preferences);
    const std::string folder = options.folder.value_or(settings.folder);
    std::error_code ec;
    if (folder.empty()) {
        std::cerr
            << "vorn-share: no library folder: name one, or choose one in the desktop program\n";
        return 2;
    }
    if (!std::filesystem::is_directory(folder, ec)) {
        std::cerr << "vorn-share: no such folder: " << folder << "\n";
        return 2;
    }
    const std::string absolute = ShareSettings::libraryPath(folder);
    const std::uint16_t port = options.port.value_or(settings.port);
    const std::string name = options.name.value_or("Vorn Images on " + computerName());

    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr); // before any thread starts

    // Made after the signals are blocked: their worker threads inherit the mask.
    const unsigned jobs = settings.conversionJobs;
    const std::unique_ptr<AudioTranscoder> audio =
        AudioTranscoder::found(XdgPaths::cacheDir(), jobs);
    const std::unique_ptr<PictureTranscoder> pictures =
        PictureTranscoder::found(preferences, XdgPaths::cacheDir(), jobs);
    const Converters converters{*audio, *pictures};
    ShareServer server(
        LibraryScan::run(converters, absolute, settings.writable && !options.readOnly),
        settings.advertise && !options.noAdvertise, name, ShareSettings::hub(preferences, absolute),
        converters);
    server.convertPending();
    server.setVersions(versionSettings(preferences, options.versionGap));
    StatusMailbox mailbox;
    server.setOnStatus([&mailbox](const ShareStatus& status) { mailbox.post(status); });
    try {
        server.start(port);
    } catch (const std::system_error& e) {
        std::cerr << "vorn-share: cannot listen on port " << port << ": " << e.code().message()
                  << "\n";
        return 1;
    }
    // Port 0 asks for any free port: the status tells which one it became.
    const std::uint16_t listening = port != 0 ? port : server.status().port;
    std::cout << "Image Source URL for the card: http://" << LanIP::primary() << ":" << listening
              << "/" << std::endl;
    // Images, audio and pictures added, removed or replaced show up without a restart.
    FolderWatcher library(absolute, [&server] { server.rescan(); });
    const auto stored =
        followStoredSettings(preferences, server, absolute, options.readOnly, options.versionGap);
    std::thread watcher = signalWatcher(mailbox, signals);
    std::uint64_t printed = 0;
    std::optional<ShareStatus> status;
    while (mailbox.wait(status)) {
        if (status) {
            printNewLines(*status, printed);
        }
    }
    watcher.join();
    server.setOnStatus(nullptr);
    server.stop();
    // The conversions end before the process does: a worker thread still running queued
    // conversions while exit() tears down the libraries they use crashes the program, and
    // a converter left running would outlive it.
    audio->shutdown();
    pictures->shutdown();
    printNewLines(server.status(), printed);
    return 0;
}

} // namespace vorn
