// tests/gui/ClipSettingDialogsTest.cpp: the normalise, median-filter and
// debayer dialogs driven through their windows' events (typing into their
// fields, choosing menu items and radio buttons, OK and Cancel), the settings
// they remember, the jobs they start, and the "B", "b", "M" and "N" keys of
// the main windows with their beeps.
#include <string>

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QWindow>

#include "shell/DialogPointers.h"
#include "shell/EditTextValidation.h"
#include "app/HeldKeys.h"
#include "app/MainWindowInput.h"
#include "shell/InputActions.h"
#include "shell/Jobs.h"
#include "app/MainWindows.h"
#include "app/MenuBar.h"
#include "shell/PointerInput.h"
#include "shell/QtMainThreadQueue.h"
#include "shell/ShellHooks.h"
#include "engine/ClipSelection.h"
#include "engine/ClipSettingDialogs.h"
#include "engine/DebayerClipsInterface.h"
#include "engine/MedianFilterClipsInterface.h"
#include "engine/NormalizeClipsInterface.h"
#include "engine/Selection.h"
#include "imaging/MedianFilter.h"
#include "platform/qt/Controls.h"
#include "platform/qt/Screens.h"
#include "platform/qt/ShellWindow.h"
#include "tests/gui/GuiTestApp.h"
#include "tests/support/ScriptedInteraction.h"
#include "tests/support/TestImages.h"
#include "tests/unit/EngineFixture.h"

namespace {

class WindowsEnvironment final : public testing::Environment {
public:
    void TearDown() override
    {
        DestroyMainWindows();
        DestroyMenuBarForTesting();
    }
};
testing::Environment* const kWindowsEnvironment = testing::AddGlobalTestEnvironment(new WindowsEnvironment);

// Which channel each site of a 2x2 cell measures, per pattern: 0 red, 1 green, 2 blue.
int SiteChannel(BayerPattern pattern, int y, int x)
{
    static const int kCells[4][2][2] = {{{1, 0}, {2, 1}}, {{0, 1}, {1, 2}}, {{2, 1}, {1, 0}}, {{1, 2}, {0, 1}}};
    return kCells[pattern][y % 2][x % 2];
}

class ClipSettingDialogsTest : public EngineFixture {
protected:
    void SetUp() override
    {
        GuiTestApp();
        EngineFixture::SetUp();
        SetScreensForTesting({ScreenArea{QRect(0, 0, 1920, 1080), QRect(0, 0, 1920, 1080)}});
        if (!gClipsWindow) {
            MenuBarInit();
            WindowInit();
        }
        InstallHeldKeyTracker();
        InstallQtJobEvents();
        GetInputActions() = InputActions{};
        InstallInputActions();
        InstallClipSettingDialogs();
        ResetMedianFilterClipsSettingsForTesting();
        ResetDebayerClipsSettingsForTesting();
        gTempSelectionIndex = -1;
        ClearPersistantSelection();
        PointerScript script;
        script.position = QPoint(-10, -10);
        script.front = gClipsWindow;
        SetPointerScriptForTesting(script);
    }
    void TearDown() override
    {
        for (DialogInterface* d : {static_cast<DialogInterface*>(gNormalizeClipsInterface),
                                   static_cast<DialogInterface*>(gMedianFilterClipsInterface),
                                   static_cast<DialogInterface*>(gDebayerClipsInterface)})
            if (d)
                d->End(true);
        Flush();
        EXPECT_FALSE(IsJobActive());
        GetInputActions() = InputActions{};
        SetPointerScriptForTesting(std::nullopt);
        gTempSelectionIndex = -1;
        ClearPersistantSelection();
        EngineFixture::TearDown();
    }

    // Lets ended dialogs delete themselves.
    static void Flush()
    {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }
    static bool RunJobToEnd()
    {
        QElapsedTimer timer;
        timer.start();
        while (IsJobActive() && timer.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        Flush();
        return !IsJobActive();
    }

    // The user's hand on a window: keys to the main window in front, text
    // typed into a field, a button or radio button clicked, a menu item chosen.
    static void SendKey(int key, Qt::KeyboardModifiers mods, const QString& text, bool autoRepeat = false)
    {
        gClipsWindow->winId();
        QKeyEvent press(QEvent::KeyPress, key, mods, 0, 0, 0, text, autoRepeat);
        QApplication::sendEvent(gClipsWindow->windowHandle(), &press);
        QKeyEvent release(QEvent::KeyRelease, key, mods, 0, 0, 0, text, autoRepeat);
        QApplication::sendEvent(gClipsWindow->windowHandle(), &release);
    }
    static void Type(DialogInterface& dialog, int id, const std::string& keys)
    {
        auto* edit = qobject_cast<QLineEdit*>(dialog.control(id).Widget());
        ASSERT_NE(edit, nullptr);
        edit->selectAll();
        for (char c : keys) {
            const int key = c == '-' ? Qt::Key_Minus : (c >= '0' && c <= '9') ? Qt::Key_0 + (c - '0') : Qt::Key_A;
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(QChar(c)));
            QApplication::sendEvent(edit, &press);
        }
    }
    static void Click(DialogInterface& dialog, int id)
    {
        auto* button = qobject_cast<QAbstractButton*>(dialog.control(id).Widget());
        ASSERT_NE(button, nullptr);
        button->click();
    }
    static void ClickRadio(DialogInterface& dialog, int groupID, int item)
    {
        const auto radios = dialog.control(groupID).Widget()->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly);
        ASSERT_GE(radios.size(), item);
        radios[item - 1]->click();
    }
    static void Choose(DialogInterface& dialog, int id, int item)
    {
        auto* menu = qobject_cast<QComboBox*>(dialog.control(id).Widget());
        ASSERT_NE(menu, nullptr);
        menu->setCurrentIndex(item - 1);
        emit menu->activated(item - 1);
    }
    static std::string Text(DialogInterface& dialog, int id) { return dialog.control(id).Text(); }

    // A mosaic of a smooth colour scene through pattern.
    static Frame* AddMosaic(int width, int height, BayerPattern pattern)
    {
        auto image = MakeImage(width, height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const uint8_t c[3] = {static_cast<uint8_t>(40 + 5 * x), static_cast<uint8_t>(110 + 4 * y),
                                      static_cast<uint8_t>(230 - 3 * x - 2 * y)};
                SetPixel(*image, x, y, Argb{0xFF, c[0], c[SiteChannel(pattern, y, x)], c[2]});
            }
        auto modified = MakeImage(width, height);
        *modified = *image;
        gImageDim = MakeRect(0, 0, height, width);
        gFrames.push_back(
            std::make_unique<Frame>(static_cast<int>(gFrames.size()), image.release(), modified.release()));
        return gFrames.back().get();
    }
    static Frame* AddFlatClip(uint8_t r, uint8_t g, uint8_t b)
    {
        auto image = MakeImage(12, 9);
        FillFlat(*image, r, g, b);
        auto modified = MakeImage(12, 9);
        *modified = *image;
        gImageDim = MakeRect(0, 0, 9, 12);
        gFrames.push_back(
            std::make_unique<Frame>(static_cast<int>(gFrames.size()), image.release(), modified.release()));
        return gFrames.back().get();
    }

    ScriptedInteraction mUser;
};

void ExpectControls(DialogInterface& dialog, std::initializer_list<int> ids)
{
    for (int id : ids)
        EXPECT_TRUE(dialog.control(id)) << id;
}

// ---------------------------------------------------------------- normalise

TEST_F(ClipSettingDialogsTest, NormalizeGoalIsClampedAsTyped)
{
    AddFlatClip(10, 20, 40);
    gTempSelectionIndex = 0;
    OpenNormalizeClipsDialog();
    ASSERT_NE(gNormalizeClipsInterface, nullptr);
    NormalizeClipsInterface& d = *gNormalizeClipsInterface;
    ExpectControls(d, {kNormalizeGoalText, kNormalizeMethodRadios, kDialogOK, kDialogCancel});
    EXPECT_EQ(Text(d, kNormalizeGoalText), "255");
    EXPECT_EQ(d.control(kNormalizeMethodRadios).Minimum(), 1);
    EXPECT_EQ(d.control(kNormalizeMethodRadios).Maximum(), 3);
    EXPECT_EQ(d.getMethodFromRadioButtons(), kNormalizeByPeak);

    Type(d, kNormalizeGoalText, "300");
    EXPECT_EQ(Text(d, kNormalizeGoalText), "255");
    Type(d, kNormalizeGoalText, "-");
    EXPECT_EQ(Text(d, kNormalizeGoalText), "-"); // still being typed
    Type(d, kNormalizeGoalText, "-4");
    EXPECT_EQ(Text(d, kNormalizeGoalText), "0");
    Type(d, kNormalizeGoalText, "007");
    EXPECT_EQ(Text(d, kNormalizeGoalText), "7");
    Type(d, kNormalizeGoalText, "12x");
    EXPECT_EQ(Text(d, kNormalizeGoalText), "12");
    Type(d, kNormalizeGoalText, "99999999999"); // past the integers: the top of the range
    EXPECT_EQ(Text(d, kNormalizeGoalText), "255");
    // The program's own text is not rewritten.
    d.control(kNormalizeGoalText).SetText("999");
    EXPECT_EQ(Text(d, kNormalizeGoalText), "999");
    Click(d, kDialogCancel);
    EXPECT_EQ(gNormalizeClipsInterface, nullptr);
    Flush();
    EXPECT_FALSE(IsJobActive());
    EXPECT_EQ(gFrames[0]->GetNormalizationFactor(), 1.0);
    EXPECT_EQ(mUser.BeepCount(), 0);
}

TEST_F(ClipSettingDialogsTest, NormalizeOKWorksOnTheClipSavedAtOpening)
{
    AddFlatClip(10, 20, 40);
    AddFlatClip(0, 60, 0);
    AddFlatClip(50, 50, 50);
    gTempSelectionIndex = 1;
    OpenNormalizeClipsDialog();
    ASSERT_NE(gNormalizeClipsInterface, nullptr);
    gTempSelectionIndex = 2; // the pointer moved on while the dialog was open
    Type(*gNormalizeClipsInterface, kNormalizeGoalText, "120");
    Click(*gNormalizeClipsInterface, kDialogOK);
    EXPECT_EQ(gNormalizeClipsInterface, nullptr);
    ASSERT_TRUE(RunJobToEnd());
    EXPECT_EQ(gFrames[0]->GetNormalizationFactor(), 1.0);
    EXPECT_EQ(gFrames[1]->GetNormalizationFactor(), 2.0); // 120 / 60
    EXPECT_EQ(gFrames[2]->GetNormalizationFactor(), 1.0);

    // Mean over a persistent selection, then "none" takes the factors off.
    AddPersistantSelection(0);
    AddPersistantSelection(1);
    OpenNormalizeClipsDialog();
    ASSERT_NE(gNormalizeClipsInterface, nullptr);
    EXPECT_EQ(Text(*gNormalizeClipsInterface, kNormalizeGoalText), "255"); // the goal always starts at 255
    ClickRadio(*gNormalizeClipsInterface, kNormalizeMethodRadios, 2);
    EXPECT_EQ(gNormalizeClipsInterface->getMethodFromRadioButtons(), kNormalizeByMean);
    Click(*gNormalizeClipsInterface, kDialogOK);
    ASSERT_TRUE(RunJobToEnd());
    EXPECT_DOUBLE_EQ(gFrames[0]->GetNormalizationFactor(), 255.0 / 40.0);
    EXPECT_DOUBLE_EQ(gFrames[1]->GetNormalizationFactor(), 255.0 / 60.0);
    OpenNormalizeClipsDialog();
    ASSERT_NE(gNormalizeClipsInterface, nullptr);
    ClickRadio(*gNormalizeClipsInterface, kNormalizeMethodRadios, 3);
    Click(*gNormalizeClipsInterface, kDialogOK);
    ASSERT_TRUE(RunJobToEnd());
    EXPECT_EQ(gFrames[0]->GetNormalizationFactor(), 1.0);
    EXPECT_EQ(gFrames[1]->GetNormalizationFactor(), 1.0);
    EXPECT_EQ(mUser.BeepCount(), 0);
    EXPECT_EQ(mUser.AlertCount(), 0);
}

// ---------------------------------------------------------------- median

TEST_F(ClipSettingDialogsTest, MedianDialogRemembersWhatOKTook)
{
    AddFlatClip(10, 20, 40);
    AddFlatClip(10, 20, 40);
    gFrames[1]->SetMedianFilter(1, 230);
    gTempSelectionIndex = 1;
    OpenMedianFilterClipsDialog();
    ASSERT_NE(gMedianFilterClipsInterface, nullptr);
    MedianFilterClipsInterface* d = gMedianFilterClipsInterface;
    ExpectControls(*d, {kMedianRadiusMenu, kMedianMethodRadios, kMedianThresholdText, kDialogOK, kDialogCancel});
    // A new program's settings; the radius menu offers every radius the filter has.
    EXPECT_EQ(d->control(kMedianRadiusMenu).Value(), 1);
    EXPECT_EQ(d->control(kMedianRadiusMenu).Maximum(), kMedianFilterMaxRadius);
    EXPECT_EQ(d->control(kMedianMethodRadios).Value(), 1);
    EXPECT_EQ(Text(*d, kMedianThresholdText), "0");
    Type(*d, kMedianThresholdText, "999");
    EXPECT_EQ(Text(*d, kMedianThresholdText), "256");
    Type(*d, kMedianThresholdText, "-7");
    EXPECT_EQ(Text(*d, kMedianThresholdText), "0");
    Type(*d, kMedianThresholdText, "50");
    Choose(*d, kMedianRadiusMenu, 2);
    ClickRadio(*d, kMedianMethodRadios, 2);
    // Cancel keeps nothing.
    Click(*d, kDialogCancel);
    Flush();
    EXPECT_EQ(LastMedianFilterClipsSettings().threshold, 0);
    EXPECT_EQ(gFrames[1]->GetMedianFilterThreshold(), 230);

    OpenMedianFilterClipsDialog();
    ASSERT_NE(gMedianFilterClipsInterface, nullptr);
    d = gMedianFilterClipsInterface;
    Type(*d, kMedianThresholdText, "50");
    Choose(*d, kMedianRadiusMenu, 2);
    ClickRadio(*d, kMedianMethodRadios, 2);
    Click(*d, kDialogOK);
    ASSERT_TRUE(RunJobToEnd());
    EXPECT_EQ(gFrames[1]->GetMedianFilterThreshold(), 256); // 230 + 50, clamped
    EXPECT_EQ(gFrames[1]->GetMedianFilterRadius(), 2);
    EXPECT_EQ(gFrames[0]->GetMedianFilterThreshold(), 0);

    // The next opening shows what OK took.
    gTempSelectionIndex = 0;
    OpenMedianFilterClipsDialog();
    ASSERT_NE(gMedianFilterClipsInterface, nullptr);
    d = gMedianFilterClipsInterface;
    EXPECT_EQ(d->control(kMedianRadiusMenu).Value(), 2);
    EXPECT_EQ(d->control(kMedianMethodRadios).Value(), 2);
    EXPECT_EQ(Text(*d, kMedianThresholdText), "50");
    Click(*d, kDialogOK);
    ASSERT_TRUE(RunJobToEnd());
    EXPECT_EQ(gFrames[0]->GetMedianFilterThreshold(), 50); // 0 + 50
    EXPECT_EQ(mUser.BeepCount(), 0);
}

// ---------------------------------------------------------------- debayer

TEST_F(ClipSettingDialogsTest, DebayerDialogOffersMatchingOnlyWithADebayeredReference)
{
    AddMosaic(16, 12, kBayerRGGB);
    AddMosaic(16, 12, kBayerBGGR);
    gTempSelectionIndex = 1;
    OpenDebayerClipsDialog();
    ASSERT_NE(gDebayerClipsInterface, nullptr);
    DebayerClipsInterface* d = gDebayerClipsInterface;
    ExpectControls(*d,
                   {kDebayerPatternMenuWithMatch, kDebayerPatternMenu, kDebayerMethodMenu, kDialogOK, kDialogCancel});
    EXPECT_EQ(d->control(kDebayerPatternMenuWithMatch).Maximum(), 5);
    EXPECT_EQ(d->control(kDebayerPatternMenu).Maximum(), 4);
    EXPECT_EQ(d->control(kDebayerMethodMenu).Maximum(), 3);
    // Clip 1 is not debayered: the four-item menu.
    EXPECT_FALSE(d->control(kDebayerPatternMenuWithMatch).IsShown());
    EXPECT_FALSE(d->control(kDebayerPatternMenuWithMatch).IsEnabled());
    EXPECT_TRUE(d->control(kDebayerPatternMenu).IsShown());
    EXPECT_TRUE(d->control(kDebayerPatternMenu).IsEnabled());
    EXPECT_EQ(d->control(kDebayerPatternMenu).Value(), 1);
    EXPECT_EQ(d->control(kDebayerMethodMenu).Value(), 3); // the Laplacian method at first
    Choose(*d, kDebayerPatternMenu, 3);
    Choose(*d, kDebayerMethodMenu, 1);
    Click(*d, kDialogOK);
    ASSERT_TRUE(RunJobToEnd());
    EXPECT_FALSE(gFrames[0]->GetDebayerized());
    EXPECT_TRUE(gFrames[1]->GetDebayerized());
    EXPECT_EQ(gFrames[1]->GetBayerPattern(), kBayerBGGR);
    EXPECT_EQ(gFrames[1]->GetDebayerMethod(), kDebayerNearestNeighbor);

    // Now with clip 1 debayered: the five-item menu, showing the pattern last taken.
    gFrames[0]->SetDebayer(kBayerRGGB, kDebayerBilinear);
    AddMosaic(16, 12, kBayerGBRG);
    AddMosaic(16, 12, kBayerGRBG);
    OpenDebayerClipsDialog();
    ASSERT_NE(gDebayerClipsInterface, nullptr);
    d = gDebayerClipsInterface;
    EXPECT_TRUE(d->control(kDebayerPatternMenuWithMatch).IsShown());
    EXPECT_TRUE(d->control(kDebayerPatternMenuWithMatch).IsEnabled());
    EXPECT_FALSE(d->control(kDebayerPatternMenu).IsShown());
    EXPECT_EQ(d->control(kDebayerPatternMenuWithMatch).Value(), 3);
    EXPECT_EQ(d->control(kDebayerMethodMenu).Value(), 1);
    Choose(*d, kDebayerPatternMenuWithMatch, kDebayerMatchItem);
    Choose(*d, kDebayerMethodMenu, 2);
    for (int i = 0; i < 4; ++i)
        AddPersistantSelection(i);
    Click(*d, kDialogOK);
    ASSERT_TRUE(RunJobToEnd());
    EXPECT_EQ(gFrames[0]->GetBayerPattern(), kBayerRGGB); // the reference keeps its own
    EXPECT_FALSE(gFrames[0]->IsDirty());
    const BayerPattern truth[] = {kBayerRGGB, kBayerBGGR, kBayerGBRG, kBayerGRBG};
    for (int i = 1; i < 4; ++i) {
        EXPECT_EQ(gFrames[i]->GetBayerPattern(), truth[i]) << i;
        EXPECT_EQ(gFrames[i]->GetDebayerMethod(), kDebayerBilinear) << i;
    }
    const DebayerClipsParams last = LastDebayerClipsSettings();
    EXPECT_TRUE(last.matchToReference);
    EXPECT_EQ(last.pattern, kBayerBGGR); // choosing matching keeps the pattern

    // The next opening shows matching in the five-item menu, the pattern in the four-item one.
    OpenDebayerClipsDialog();
    ASSERT_NE(gDebayerClipsInterface, nullptr);
    d = gDebayerClipsInterface;
    EXPECT_EQ(d->control(kDebayerPatternMenuWithMatch).Value(), kDebayerMatchItem);
    EXPECT_EQ(d->control(kDebayerPatternMenu).Value(), 3);
    EXPECT_EQ(d->control(kDebayerMethodMenu).Value(), 2);
    Click(*d, kDialogCancel);
    Flush();
    EXPECT_TRUE(LastDebayerClipsSettings().matchToReference);

    // Without a debayered reference, matching is cleared by the next OK.
    gFrames[0]->UnDebayer();
    OpenDebayerClipsDialog();
    ASSERT_NE(gDebayerClipsInterface, nullptr);
    Click(*gDebayerClipsInterface, kDialogOK);
    ASSERT_TRUE(RunJobToEnd());
    EXPECT_FALSE(LastDebayerClipsSettings().matchToReference);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(gFrames[i]->GetBayerPattern(), kBayerBGGR) << i;
    EXPECT_EQ(mUser.AlertCount(), 0);
}

// ---------------------------------------------------------------- keys

TEST_F(ClipSettingDialogsTest, KeysOpenTheDialogsOrBeep)
{
    AddFlatClip(10, 20, 40);
    AddFlatClip(30, 20, 10);
    struct Key {
        int key;
        const char* text;
        Qt::KeyboardModifiers mods;
        DialogInterface* const* pointer;
    };
    const Key keys[] = {
        {Qt::Key_B, "B", Qt::ShiftModifier, reinterpret_cast<DialogInterface* const*>(&gDebayerClipsInterface)},
        {Qt::Key_M, "M", Qt::ShiftModifier, reinterpret_cast<DialogInterface* const*>(&gMedianFilterClipsInterface)},
        {Qt::Key_M, "m", Qt::NoModifier, reinterpret_cast<DialogInterface* const*>(&gMedianFilterClipsInterface)},
        {Qt::Key_N, "N", Qt::ShiftModifier, reinterpret_cast<DialogInterface* const*>(&gNormalizeClipsInterface)},
        {Qt::Key_N, "n", Qt::NoModifier, reinterpret_cast<DialogInterface* const*>(&gNormalizeClipsInterface)},
    };
    int beeps = 0;
    for (const Key& k : keys) {
        SCOPED_TRACE(k.text);
        // No clip selected: one beep, no dialog.
        gTempSelectionIndex = -1;
        SendKey(k.key, k.mods, k.text);
        EXPECT_EQ(*k.pointer, nullptr);
        EXPECT_EQ(mUser.BeepCount(), ++beeps);
        // The clip under the mouse, or a persistent selection, opens it.
        gTempSelectionIndex = 1;
        SendKey(k.key, k.mods, k.text);
        ASSERT_NE(*k.pointer, nullptr);
        DialogInterface* open = *k.pointer;
        EXPECT_EQ(mUser.BeepCount(), beeps);
        // While one is open every batch key and "b" beeps once and opens nothing more.
        for (const Key& other : keys) {
            SendKey(other.key, other.mods, other.text);
            EXPECT_EQ(mUser.BeepCount(), ++beeps) << other.text;
        }
        SendKey(Qt::Key_B, Qt::NoModifier, "b");
        EXPECT_EQ(mUser.BeepCount(), ++beeps);
        EXPECT_EQ(*k.pointer, open);
        open->End(true);
        Flush();
        EXPECT_EQ(*k.pointer, nullptr);
        // A Command shortcut on the same letter does nothing.
        SendKey(k.key, k.mods | Qt::ControlModifier, k.text);
        EXPECT_EQ(*k.pointer, nullptr);
        EXPECT_EQ(mUser.BeepCount(), beeps);
        // A persistent selection opens it too.
        gTempSelectionIndex = -1;
        AddPersistantSelection(0);
        SendKey(k.key, k.mods, k.text);
        ASSERT_NE(*k.pointer, nullptr);
        (*k.pointer)->End(true);
        Flush();
        ClearPersistantSelection();
    }
    EXPECT_FALSE(IsJobActive());
    EXPECT_EQ(mUser.AlertCount(), 0);
}

TEST_F(ClipSettingDialogsTest, LowercaseBTakesTheDebayerOffAndActsOnRepeats)
{
    AddFlatClip(10, 20, 40);
    AddFlatClip(30, 20, 10);
    for (auto& clip : gFrames)
        clip->SetDebayer(kBayerGBRG, kDebayerBilinear);
    // Nothing selected: one beep.
    SendKey(Qt::Key_B, Qt::NoModifier, "b");
    EXPECT_EQ(mUser.BeepCount(), 1);
    EXPECT_FALSE(IsJobActive());
    gTempSelectionIndex = 1;
    SendKey(Qt::Key_B, Qt::NoModifier, "b");
    ASSERT_TRUE(RunJobToEnd());
    EXPECT_TRUE(gFrames[0]->GetDebayerized());
    EXPECT_FALSE(gFrames[1]->GetDebayerized());
    // An auto-repeat acts too.
    gTempSelectionIndex = 0;
    SendKey(Qt::Key_B, Qt::NoModifier, "b", true);
    ASSERT_TRUE(RunJobToEnd());
    EXPECT_FALSE(gFrames[0]->GetDebayerized());
    // During a job keys are ignored, without a beep.
    gFrames[0]->SetDebayer(kBayerGBRG, kDebayerBilinear);
    gTempSelectionIndex = 1;
    SendKey(Qt::Key_N, Qt::NoModifier, "n");
    ASSERT_NE(gNormalizeClipsInterface, nullptr);
    Click(*gNormalizeClipsInterface, kDialogOK);
    ASSERT_TRUE(IsJobActive());
    gTempSelectionIndex = 0;
    SendKey(Qt::Key_B, Qt::NoModifier, "b");
    SendKey(Qt::Key_B, Qt::ShiftModifier, "B");
    EXPECT_EQ(gDebayerClipsInterface, nullptr);
    ASSERT_TRUE(RunJobToEnd());
    EXPECT_TRUE(gFrames[0]->GetDebayerized());
    EXPECT_EQ(mUser.BeepCount(), 1);
}

} // namespace
