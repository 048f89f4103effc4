#pragma once
// A real window on the offscreen platform over a model of a small library made here:
// stand-in conversion tools (so every machine probes the same), private preferences, a
// free loopback port and no Avahi. Tests click and type on it as a user would.

#include "audio/AudioTranscoder.h"
#include "model/ShareModel.h"
#include "pictures/PictureTranscoder.h"
#include "platform/Preferences.h"
#include "support/FreePort.h"
#include "support/HttpClient.h"
#include "support/MediaFixtures.h"
#include "support/ProDosBytes.h"
#include "support/TempDir.h"
#include "ui/MainWindow.h"

#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace vorn::test {

class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        writeScript(m_dir / "bin/ffmpeg", "exit 1");
        writeScript(m_dir / "bin/python3", "exit 0");
        m_oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
        setenv("PATH", (m_dir / "bin").c_str(), 1);
        EXPECT_TRUE(m_prefs.set("advertise", false));
        EXPECT_TRUE(m_prefs.set("port", std::int64_t(freePort())));
        // The user closed the conversion help once; it does not open over the window.
        EXPECT_TRUE(m_prefs.set(ToolsModel::conversionHelpDismissedKey, true));
        m_dir.write("lib/Games/Zork.po", ProDosBytes(280).volume("ZORK").bytes());
        m_dir.write("lib/Games/Arcade/Alpha.po", ProDosBytes(560).volume("ALPHA").bytes());
        m_dir.write("lib/Games/Arcade/Old/Beta.po", ProDosBytes(280).volume("BETA").bytes());
        m_dir.write("lib/Music/Song.pcm", std::string(21973, '\x80'));
        m_dir.write("lib/Art/Pic.shr", std::string(32768, '\0'));
        EXPECT_TRUE(m_prefs.set("folder", (m_dir / "lib").string()));
    }
    void TearDown() override {
        m_window.reset();
        m_model.reset();
        setenv("PATH", m_oldPath.c_str(), 1);
    }

    // The window over the library, shown (offscreen) and scanned.
    MainWindow& open() {
        m_model = std::make_unique<ShareModel>(m_prefs, m_audio, m_pictures);
        m_window = std::make_unique<MainWindow>(*m_model, AppInfo{"v1", ""});
        m_window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !m_model->working(); }, 10000));
        QCoreApplication::processEvents();
        return *m_window;
    }
    // A GET to the share, as the card sends it (status 0 when nothing answered).
    Reply ask(const std::string& target) {
        HttpClient client(m_model->port());
        return client.ask("GET " + target + " HTTP/1.1\r\nHost: share\r\n\r\n");
    }

    TempDir m_dir;
    Preferences m_prefs{m_dir / "config/preferences.json"};
    AudioTranscoder m_audio{m_dir / "cache", std::nullopt};
    PictureTranscoder m_pictures{m_prefs, m_dir / "cache", std::nullopt, std::nullopt};
    std::unique_ptr<ShareModel> m_model;
    std::unique_ptr<MainWindow> m_window;
    std::string m_oldPath;
};

} // namespace vorn::test
