#pragma once
// A real window on the offscreen platform over a model of a small library made here: the
// sheets' stand-in tools and private preferences, a free loopback port and no Avahi.
// Tests click and type on it as a user would.

#include "sheets/SheetFixture.h"
#include "support/FreePort.h"
#include "support/HttpClient.h"
#include "ui/MainWindow.h"

namespace vorn::test {

class WindowFixture : public SheetFixture {
protected:
    void SetUp() override {
        SheetFixture::SetUp();
        writeScript(m_dir / "bin/ffmpeg", "exit 1");
        writeScript(m_dir / "bin/python3", "exit 0");
        EXPECT_TRUE(m_prefs.set("port", std::int64_t(freePort())));
        // The user closed the conversion help once; it does not open over the window.
        EXPECT_TRUE(m_prefs.set(ToolsModel::conversionHelpDismissedKey, true));
        m_dir.write("lib/Games/Zork.po", ProDosBytes(280).volume("ZORK").bytes());
        m_dir.write("lib/Games/Arcade/Alpha.po", ProDosBytes(560).volume("ALPHA").bytes());
        m_dir.write("lib/Games/Arcade/Old/Beta.po", ProDosBytes(280).volume("BETA").bytes());
        m_dir.write("lib/Music/Song.pcm", std::string(21973, '\x80'));
        m_dir.write("lib/Art/Pic.shr", std::string(32768, '\0'));
        EXPECT_TRUE(m_prefs.set("folder", library()));
    }
    void TearDown() override {
        m_window.reset();
        m_model.reset();
        SheetFixture::TearDown();
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
        return HttpClient(m_model->port()).ask(get(target));
    }

    std::unique_ptr<ShareModel> m_model;
    std::unique_ptr<MainWindow> m_window;
};

} // namespace vorn::test
