// tests/gui/PreferencesTest.cpp: preference keys, defaults, write-back and the
// stored window positions, on a temporary store with injected screens.
#include "shell/Preferences.h"

#include <QFile>
#include <QFileDevice>
#include <QSettings>

#include <gtest/gtest.h>

#include "shell/ShellSettings.h"
#include "platform/qt/Screens.h"
#include "tests/gui/GuiTestApp.h"

namespace {

class PreferencesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GuiTestApp();
        SetScreensForTesting({{QRect(0, 0, 1920, 1080), QRect(0, 0, 1920, 1080)}});
    }
    void TearDown() override { SetScreensForTesting({}); }

    // What another reader of the file sees (proves the write reached the disk).
    QVariant OnDisk(const char* key) const
    {
        QSettings file(QString::fromStdString(mPrefs.Path()), QSettings::IniFormat);
        return file.value(key);
    }
    // The raw line of key in the file, to see whether it was rewritten.
    QString RawLine(const char* key) const
    {
        QFile file(QString::fromStdString(mPrefs.Path()));
        if (!file.open(QIODevice::ReadOnly))
            return QString();
        for (const QByteArray& line : file.readAll().split('\n'))
            if (line.startsWith(QByteArray(key) + '='))
                return QString::fromUtf8(line);
        return QString();
    }
    void Store(const char* key, const QString& text)
    {
        QFile file(QString::fromStdString(mPrefs.Path()));
        ASSERT_TRUE(file.open(QIODevice::Append));
        if (file.size() == 0)
            file.write("[General]\n");
        file.write((QString(key) + "=" + text + "\n").toUtf8());
    }

    TemporaryPreferences mPrefs;
};

} // namespace

TEST_F(PreferencesTest, FreshStoreGivesDefaultsAndWritesThemToDisk)
{
    gMaxClipWidthOrHeight = 0;
    gSyncThreadDisplay = false;
    gNumThreads = 0;
    gMinimalVisualFeedback = true;
    LoadMaxClipWidthOrHeightPreference();
    LoadSyncThreadDisplayPreference();
    LoadNumThreadsPreference();
    LoadMinimalVisualFeedbackPreference();
    EXPECT_EQ(gMaxClipWidthOrHeight, 64);
    EXPECT_TRUE(gSyncThreadDisplay);
    EXPECT_EQ(gNumThreads, 1);
    EXPECT_FALSE(gMinimalVisualFeedback);
    EXPECT_EQ(LoadClipsWindowWidthPreference(), 800);

    EXPECT_EQ(OnDisk("maxClipWidthOrHeight").toInt(), 64);
    EXPECT_EQ(OnDisk("syncThreadDisplay").toString(), "true");
    EXPECT_EQ(OnDisk("numThreads").toInt(), 1);
    EXPECT_EQ(OnDisk("minimalVisualFeedback").toString(), "false");
    EXPECT_EQ(OnDisk("clipsWindowWidth").toInt(), 800);
}

TEST_F(PreferencesTest, SavedValuesRoundTrip)
{
    SaveNumThreadsPreference(12);
    SaveSyncThreadDisplayPreference(false);
    SaveMinimalVisualFeedbackPreference(true);
    SaveMaxClipWidthOrHeightPreference(128);
    SaveClipsWindowWidthPreference(1234);
    EXPECT_EQ(OnDisk("numThreads").toInt(), 12);
    // A fresh store object reads them back from the file.
    SetSettingsFileForTesting(mPrefs.Path());
    LoadNumThreadsPreference();
    LoadSyncThreadDisplayPreference();
    LoadMinimalVisualFeedbackPreference();
    LoadMaxClipWidthOrHeightPreference();
    EXPECT_EQ(gNumThreads, 12);
    EXPECT_FALSE(gSyncThreadDisplay);
    EXPECT_TRUE(gMinimalVisualFeedback);
    EXPECT_EQ(gMaxClipWidthOrHeight, 128);
    EXPECT_EQ(LoadClipsWindowWidthPreference(), 1234);
    EXPECT_EQ(LoadIntPreference("negative", -7), -7);
    EXPECT_EQ(LoadIntPreference("negative", 0), -7);
}

TEST_F(PreferencesTest, ClipSizeOutsideTheMenuIsUsedAs64AndLeftStored)
{
    Store("maxClipWidthOrHeight", "100");
    SetSettingsFileForTesting(mPrefs.Path());
    LoadMaxClipWidthOrHeightPreference();
    EXPECT_EQ(gMaxClipWidthOrHeight, 64);
    EXPECT_EQ(RawLine("maxClipWidthOrHeight"), "maxClipWidthOrHeight=100");
}

TEST_F(PreferencesTest, UnusableValuesAreReplacedUsableTextIsKept)
{
    Store("numThreads", "abc");
    Store("maxClipWidthOrHeight", "0032"); // INI text; a rewrite would give "32"
    Store("syncThreadDisplay", "maybe");
    Store("minimalVisualFeedback", "1");
    Store("clipsWindowWidth", "99999999999"); // beyond 32 bits
    SetSettingsFileForTesting(mPrefs.Path());
    LoadNumThreadsPreference();
    LoadMaxClipWidthOrHeightPreference();
    LoadSyncThreadDisplayPreference();
    LoadMinimalVisualFeedbackPreference();
    EXPECT_EQ(gNumThreads, 1);
    EXPECT_EQ(RawLine("numThreads"), "numThreads=1");
    EXPECT_EQ(gMaxClipWidthOrHeight, 32);
    EXPECT_EQ(RawLine("maxClipWidthOrHeight"), "maxClipWidthOrHeight=0032");
    EXPECT_TRUE(gSyncThreadDisplay);
    EXPECT_EQ(RawLine("syncThreadDisplay"), "syncThreadDisplay=true");
    EXPECT_TRUE(gMinimalVisualFeedback);
    EXPECT_EQ(RawLine("minimalVisualFeedback"), "minimalVisualFeedback=1");
    EXPECT_EQ(LoadClipsWindowWidthPreference(), 800);
}

TEST_F(PreferencesTest, MissingPositionsGetTheAreaTopLeftBelowTheTitleBar)
{
    SetScreensForTesting({{QRect(0, 0, 1920, 1080), QRect(0, 30, 1920, 1050)}});
    EXPECT_EQ(LoadWindowPosPreference(kDarkFrameWindowKey, QSize(320, 240)), QPoint(0, 52));
    EXPECT_EQ(OnDisk("DarkFrameWindowPosX").toInt(), 0);
    EXPECT_EQ(OnDisk("DarkFrameWindowPosY").toInt(), 52);
}

TEST_F(PreferencesTest, PositionsAreRaisedNeverLowered)
{
    SaveWindowPosPreference(kDarkFrameWindowKey, QPoint(300, 0));
    EXPECT_EQ(LoadWindowPosPreference(kDarkFrameWindowKey, QSize(320, 240)), QPoint(300, 22));
    EXPECT_EQ(OnDisk("DarkFrameWindowPosY").toInt(), 22);
    EXPECT_EQ(OnDisk("DarkFrameWindowPosX").toInt(), 300);

    SaveWindowPosPreference(kHintsWindowKey, QPoint(1500, 900));
    EXPECT_EQ(LoadWindowPosPreference(kHintsWindowKey, QSize(400, 300)), QPoint(1500, 900));

    SetScreensForTesting({{QRect(0, 0, 1920, 1080), QRect(40, 0, 1880, 1080)}});
    SaveWindowPosPreference(kCommandsWindowKey, QPoint(45, 10));
    EXPECT_EQ(LoadWindowPosPreference(kCommandsWindowKey, QSize(400, 300)), QPoint(45, 22));
}

TEST_F(PreferencesTest, PositionOnAGoneScreenFallsBackToTheDefaults)
{
    SaveWindowPosPreference(kFrameStackWindowKey, QPoint(5000, 5000));
    EXPECT_EQ(LoadWindowPosPreference(kFrameStackWindowKey, QSize(320, 240)), QPoint(0, 22));
    EXPECT_EQ(OnDisk("FrameStackWindowPosX").toInt(), 0);
    EXPECT_EQ(OnDisk("FrameStackWindowPosY").toInt(), 22);

    // Two screens side by side: a point on the second one is kept.
    SetScreensForTesting(
        {{QRect(0, 0, 1920, 1080), QRect(0, 0, 1920, 1080)}, {QRect(1920, 0, 1920, 1080), QRect(1920, 0, 1920, 1080)}});
    SaveWindowPosPreference(kFrameStackWindowKey, QPoint(2020, 300));
    EXPECT_EQ(LoadWindowPosPreference(kFrameStackWindowKey, QSize(320, 240)), QPoint(2020, 300));
}

TEST_F(PreferencesTest, FailedWriteIsSilentAndKeepsTheValueForThisRun)
{
    SaveNumThreadsPreference(2);
    // A store whose folder is a plain file cannot be written, even by root.
    SetSettingsFileForTesting(mPrefs.Path() + "/unwritable.ini");
    EXPECT_FALSE(WriteIntSetting("numThreads", 16));
    SaveNumThreadsPreference(16); // must neither crash nor alert
    LoadNumThreadsPreference();
    EXPECT_EQ(gNumThreads, 16);
    SetSettingsFileForTesting(mPrefs.Path());
    LoadNumThreadsPreference();
    EXPECT_EQ(gNumThreads, 2); // the real file was left alone
}
