#include "GuiStalls.h"

#include "LatenessProbe.h"
#include "model/ShareModel.h"
#include "platform/Preferences.h"
#include "support/FreePort.h"
#include "support/HttpClient.h"
#include "versions/VersionStore.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace vorn::bench {
namespace {

constexpr double kP99Goal = 20;
constexpr double kMaxGoal = 50;
constexpr int kSettleMs = 250;     // the timer runs on this long after the work has ended
constexpr int kActionLimitMs = 300000;
// A 32 MB hard disk image of the generated library, the one copied and restored.
const char* const kImage = "Adventure/Disk Set 3/Title_00002.hdv";
const char* const kImageURL = "/Adventure/Disk%20Set%203/Title_00002.hdv";


// Runs the event loop until `done` holds (looked at every 5 ms, as often as the probe
// fires: waking the GUI thread more often would add to what is measured) or `limitMs` pass.
bool runUntil(const std::function<bool()>& done, int limitMs) {
    QEventLoop loop;
    QTimer poll;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done() || clock.elapsed() > limitMs) {
            loop.quit();
        }
    });
    poll.start(LatenessProbe::intervalMs);
    loop.exec();
    return done();
}

void settle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Stall {
    double p99 = 0;
    double max = 0;
    // Lateness also counts the time the thread waits for a CPU that other programs hold;
    // its own CPU time over the action tells the work it did from the machine's load.
    double cpu = 0;
    bool ended = false;
};


// Starts the probe, lets it run a moment, does `action` from the event loop, waits for
// `done` and lets the probe run on a moment: every stall the action causes is counted.
Stall measure(const std::function<void()>& action, const std::function<bool()>& done) {
    LatenessProbe probe;
    settle(50);
    const double cpu = threadCpuMs();
    QTimer::singleShot(0, action);
    settle(1); // the action has run once this returns
    Stall stall;
    stall.ended = runUntil(done, kActionLimitMs);
    settle(kSettleMs);
    stall.cpu = threadCpuMs() - cpu;
    std::vector<double> late = probe.late();
    std::sort(late.begin(), late.end());
    if (!late.empty()) {
        stall.max = late.back();
        stall.p99 = late[std::min(late.size() - 1, late.size() * 99 / 100)];
    }
    return stall;
}

bool report(const char* action, const Stall& stall) {
    const bool met = stall.ended && stall.p99 < kP99Goal && stall.max < kMaxGoal;
    std::printf("  %-22s p99 %7.1f ms  max %7.1f ms  GUI CPU %6.1f ms  %s\n", action, stall.p99,
                stall.max, stall.cpu, !stall.ended ? "did not end" : met ? "met" : "missed");
    return stall.ended;
}

const DiskImage* findImage(const ShareModel& model) {
    for (const DiskImage& image : model.library().contents().images()) {
        if (image.relPath() == kImage) {
            return &image;
        }
    }
    return nullptr;
}

// A block written as the card writes it: the share keeps a version of the image first.
bool writeBlock(std::uint16_t port) {
    test::HttpClient card(port);
    const test::Reply reply =
        card.ask(test::putRequest(kImageURL, 0, std::string(512, 'W'), 65535ull * 512));
    return reply.status == 200 || reply.status == 204;
}

} // namespace

int measureGuiStalls(Preferences& preferences, AudioTranscoder& audio,
                     PictureTranscoder& pictures, const fs::path& library) {
    if (!preferences.set("folder", library.string())) {
        std::printf("GUI thread stalls: cannot store the library folder\n");
        return 1;
    }
    ShareModel model(preferences, audio, pictures);
    runUntil([&] { return !model.working(); }, kActionLimitMs);
    model.setPort(test::freePort());
    const DiskImage* found = findImage(model);
    if (found == nullptr) {
        std::printf("GUI thread stalls: %s is not in the library\n", kImage);
        return 1;
    }
    const DiskImage image = *found;
    const auto idle = [&] { return !model.working(); };
    std::printf("GUI thread stalls (5 ms timer lateness; goals p99 < %.0f ms, max < %.0f ms):\n",
                kP99Goal, kMaxGoal);
    bool ended = report("Start", measure([&] { model.start(); },
                                         [&] { return model.sharing() && idle(); }));
    if (!writeBlock(model.port())) {
        std::printf("  the card's write was refused; no version to list\n");
        return 1;
    }
    ended &= report("Versions sheet",
                    measure([&] { model.versions().list(image); },
                            [&] { return idle() && !model.versions().versions().empty(); }));
    if (model.versions().versions().empty()) {
        return 1;
    }
    const std::string id = model.versions().versions().front().id;
    std::vector<fs::path> made{VersionStore::snapshotName(image.path, id)};
    QObject::connect(&model, &ShareModel::snapshotEnded, [&](std::optional<fs::path> copy) {
        if (copy) {
            made.push_back(*copy);
        }
    });
    ended &= report("Snapshot", measure([&] { model.snapshot(image); }, idle));
    ended &= report("Restore as Copy",
                    measure([&] { model.versions().restoreAsCopy(image, id); }, idle));
    ended &= report("Restore in Place",
                    measure([&] { model.versions().restoreInPlace(image, id); }, idle));
    ended &= report("Recheck", measure([&] { model.tools().recheck(); }, idle));
    ended &= report("Stop", measure([&] { model.stop(); }, [&] { return !model.sharing(); }));
    model.openFolder((library / "Arcade").string());
    model.start();
    runUntil([&] { return model.sharing() && idle(); }, kActionLimitMs);
    ended &= report("Choose another folder",
                    measure([&] { model.openFolder(library.string()); },
                            [&] { return model.sharing() && idle(); }));
    model.stop();
    for (const fs::path& copy : made) {
        std::error_code ignored;
        fs::remove(copy, ignored);
    }
    return ended ? 0 : 1;
}

} // namespace vorn::bench
