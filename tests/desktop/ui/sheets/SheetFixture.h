#pragma once
// A model of a library the test writes, with stand-in conversion tools on PATH so that
// what the sheets show of the tools is the same on every machine.

#include "audio/AudioTranscoder.h"
#include "model/ShareModel.h"
#include "pictures/PictureTranscoder.h"
#include "platform/Preferences.h"
#include "support/MediaFixtures.h"
#include "support/ProDosBytes.h"
#include "support/TempDir.h"

#include <QAbstractButton>
#include <QLabel>
#include <QTest>
#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace vorn::test {

class SheetFixture : public ::testing::Test {
protected:
    void SetUp() override {
        m_oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
        setenv("PATH", (m_dir / "bin").c_str(), 1);
        EXPECT_TRUE(m_prefs.set("advertise", false));
    }
    void TearDown() override { setenv("PATH", m_oldPath.c_str(), 1); }

    /// A disk image in `folder` of the library "lib".
    void addDisk(const std::string& folder) {
        m_dir.write("lib/" + folder + "/Disk.po", ProDosBytes(280).volume("DISK").bytes());
    }
    /// A model of the library "lib", scanned.
    std::unique_ptr<ShareModel> libraryModel() {
        m_dir.mkdir("lib");
        EXPECT_TRUE(m_prefs.set("folder", library()));
        auto model = std::make_unique<ShareModel>(m_prefs, m_audio, m_pictures);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !model->working(); }, 10000));
        return model;
    }
    std::string library() const { return (m_dir / "lib").string(); }
    /// A real click in the middle of a button, as the user makes it.
    static void click(QAbstractButton* button) {
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    }

    /// Whether `root` shows a label whose text begins with `start`.
    static bool showsText(const QWidget& root, const QString& start) {
        const QList<QLabel*> labels = root.findChildren<QLabel*>();
        return std::any_of(labels.begin(), labels.end(), [&](const QLabel* label) {
            return label->isVisible() && label->text().startsWith(start);
        });
    }

    TempDir m_dir;
    Preferences m_prefs{m_dir / "config/preferences.json"};
    AudioTranscoder m_audio{m_dir / "cache", std::nullopt};
    PictureTranscoder m_pictures{m_prefs, m_dir / "cache", std::nullopt, std::nullopt};
    std::string m_oldPath;
};

} // namespace vorn::test
