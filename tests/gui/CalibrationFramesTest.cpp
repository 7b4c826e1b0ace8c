// tests/gui/CalibrationFramesTest.cpp: Open Dark Frame and Open Flat Frame
// through their commands (exact and other sizes, the question, bad files,
// running out of memory, the windows), the dark and flat clicks in the
// clips window, and the hot-pixel mask dialog.
#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/Application.h"
#include "app/ClipsWindowMouse.h"
#include "app/Commands.h"
#include "shell/DialogPointers.h"
#include "engine/ClipJobs.h"
#include "app/MainWindows.h"
#include "app/MenuBar.h"
#include "app/MenuState.h"
#include "shell/ShellHooks.h"
#include "engine/CalibrationWindows.h"
#include "engine/CreateHotPixelMaskInterface.h"
#include "engine/Selection.h"
#include "engine/SummedStack.h"
#include "files/CalibrationFrameFiles.h"
#include "imaging/HotPixels.h"
#include "imaging/Measurements.h"
#include "platform/core/StandardAlerts.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/Controls.h"
#include "platform/qt/MenuModel.h"
#include "platform/qt/ModalLoop.h"
#include "platform/qt/Modifiers.h"
#include "platform/qt/ShellWindow.h"
#include "tests/gui/GuiTestApp.h"
#include "tests/support/ScriptedInteraction.h"
#include "tests/unit/EngineFixture.h"

namespace {

namespace fs = std::filesystem;

// A job or a loop that has not ended by then has hung.
constexpr int kTimeoutMs = 60000;

bool RunEventsUntil(const std::function<bool()>& done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > kTimeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    }
    QCoreApplication::processEvents();
    return true;
}

// Pixel (x, y) of the test pictures: every pixel differs from its neighbours.
Argb PatternPixel(int x, int y, int seed)
{
    return Argb{0xFF, static_cast<uint8_t>((x * 7 + y * 3 + seed) & 0xFF),
                static_cast<uint8_t>((x * 5 + seed * 11) & 0xFF), static_cast<uint8_t>((y * 13 + x + seed) & 0xFF)};
}

void WritePng(const fs::path& file, int w, int h, int seed)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Argb p = PatternPixel(x, y, seed);
            image.setPixel(x, y, qRgb(p.r, p.g, p.b));
        }
    ASSERT_TRUE(image.save(QString::fromStdString(file.string()), "png"));
}

void WriteBytesTo(const fs::path& file, const std::string& bytes)
{
    std::ofstream out(file, std::ios::binary);
    out << bytes;
}

std::string ReadAll(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool HoldsPattern(const GWorldWrapper& image, int w, int h, int seed)
{
    if (image.Width() != w || image.Height() != h)
        return false;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (GetPixel(image, x, y) != PatternPixel(x, y, seed))
                return false;
    return true;
}

Argb CanvasPixel(ShellWindow* window, int x, int y)
{
    const QRgb p = ContentCanvas(window)->Image().pixel(x, y);
    return Argb{0xFF, static_cast<uint8_t>(qRed(p)), static_cast<uint8_t>(qGreen(p)), static_cast<uint8_t>(qBlue(p))};
}

// Answers the next app-modal window (the wrong-size question) with control id.
void AnswerModal(int id, bool* asked)
{
    QTimer::singleShot(0, [id, asked] {
        QWidget* window = QApplication::activeModalWidget();
        ASSERT_NE(window, nullptr);
        *asked = true;
        auto* button = qobject_cast<QAbstractButton*>(GetControlByID(window, kControlSignature, id).Widget());
        ASSERT_NE(button, nullptr);
        button->click();
    });
}

void Key(QWidget* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = QString())
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(target, &press);
}

class CalibrationFramesTest : public EngineFixture {
protected:
    void SetUp() override
    {
        GuiTestApp();
        EngineFixture::SetUp();
        StartShell({});
        mUser = std::make_unique<ScriptedInteraction>();
        mDir = ReferenceScratchDir();
        gNumThreads = 2;
        gPreviousHotPixelMaskThreshold = 256;
        gPreviousHotPixelMaskRadius = 0;
    }
    void TearDown() override
    {
        EXPECT_TRUE(RunEventsUntil([] { return !IsJobActive(); }));
        if (gCreateHotPixelMaskInterface)
            gCreateHotPixelMaskInterface->End(true);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        gTempSelectionIndex = -1;
        gPersistantSelectionIndices.clear();
        DeleteFrameStack();
        mUser.reset();
        EndShell();
        GetShellHooks() = ShellHooks{};
        EngineFixture::TearDown();
    }
    // A document of w × h with n clips of noise.
    static void MakeDocument(int w, int h, int n)
    {
        gImageDim = MakeRect(0, 0, h, w);
        for (int i = 0; i < n; ++i)
            AddClip(w, h, 40 + static_cast<uint32_t>(i));
        UpdateMenuState();
    }
    fs::path File(const std::string& name) const { return fs::path(mDir) / name; }
    static void Run(const char (&code)[5], int menu = kFileMenu) { ASSERT_TRUE(MenuHandler(FourCC(code), menu, 1)); }
    void Choose(const fs::path& file) { mUser->AnswerFileDialog({file.string()}); }
    int AlertsTitled(const std::string& title) const
    {
        int n = 0;
        for (const auto& shown : mUser->Alerts())
            n += shown.request.title == title;
        return n;
    }
    static void Flush() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    std::unique_ptr<ScriptedInteraction> mUser;
    std::string mDir;
    TemporaryPreferences mPrefs;
};

} // namespace

// ---------------------------------------------------------------- files

TEST_F(CalibrationFramesTest, ADarkFrameOfTheDocumentsSizeLoadsPixelForPixel)
{
    MakeDocument(37, 23, 2);
    EXPECT_TRUE(GetMenuModel().IsItemEnabled(kFileMenu, 2));
    EXPECT_TRUE(GetMenuModel().IsItemEnabled(kFileMenu, 3));
    WritePng(File("dark.png"), 37, 23, 1);
    Choose(File("dark.png"));
    Run("FiDF");
    ASSERT_NE(gDarkFrame, nullptr);
    EXPECT_TRUE(HoldsPattern(*gDarkFrame, 37, 23, 1));
    EXPECT_EQ(gFlatFrame, nullptr);
    EXPECT_EQ(mUser->BeepCount(), 0); // no question
    EXPECT_EQ(mUser->AlertCount(), 0);
    // One file of the picture types.
    ASSERT_EQ(mUser->FileDialogs().size(), 1u);
    EXPECT_EQ(mUser->FileDialogs()[0].mode, FileDialogRequest::Mode::kOpenFile);
    // Its window shows it at its size.
    EXPECT_TRUE(gDarkFrameWindow->isVisible());
    EXPECT_EQ(gDarkFrameWindow->ContentSize(), QSize(37, 23));
    EXPECT_EQ(CanvasPixel(gDarkFrameWindow, 5, 7), PatternPixel(5, 7, 1));
    EXPECT_EQ(CanvasPixel(gDarkFrameWindow, 36, 22), PatternPixel(36, 22, 1));
}

TEST_F(CalibrationFramesTest, AFlatFrameOfTwiceTheSizeAsksAndIsScaledBeforeItsMeanIsTaken)
{
    MakeDocument(640, 480, 1);
    WritePng(File("flat.png"), 1280, 960, 2);
    Choose(File("flat.png"));
    bool asked = false;
    AnswerModal(kControlOK, &asked);
    Run("FiFF");
    EXPECT_TRUE(asked);
    ASSERT_NE(gFlatFrame, nullptr);
    ASSERT_EQ(gFlatFrame->Width(), 640);
    ASSERT_EQ(gFlatFrame->Height(), 480);
    // The program's stretch: destination d takes source floor(d * 1280 / 640).
    double sum = 0.0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const Argb p = GetPixel(*gFlatFrame, x, y);
            ASSERT_EQ(p, PatternPixel(2 * x, 2 * y, 2)) << x << "," << y;
            sum += p.r + p.g + p.b;
        }
    // The mean over all components of the scaled frame; the two sums run in
    // different orders, far inside this.
    EXPECT_NEAR(gAverageFlatFieldValue, sum / (640.0 * 480.0 * 3.0), 1e-9);
    EXPECT_TRUE(gFlatFrameWindow->isVisible());
}

TEST_F(CalibrationFramesTest, AFlatOfOneColourHasThatColoursMeanComponent)
{
    MakeDocument(16, 9, 1);
    QImage image(16, 9, QImage::Format_RGB32);
    image.fill(qRgb(90, 60, 30));
    ASSERT_TRUE(image.save(QString::fromStdString(File("grey.png").string()), "png"));
    Choose(File("grey.png"));
    Run("FiFF");
    ASSERT_NE(gFlatFrame, nullptr);
    EXPECT_DOUBLE_EQ(gAverageFlatFieldValue, 60.0);
    // Pure red: (255 + 0 + 0) / 3.
    image.fill(qRgb(255, 0, 0));
    ASSERT_TRUE(image.save(QString::fromStdString(File("red.png").string()), "png"));
    Choose(File("red.png"));
    Run("FiFF");
    EXPECT_DOUBLE_EQ(gAverageFlatFieldValue, 85.0);
}

TEST_F(CalibrationFramesTest, ADeclinedQuestionKeepsTheFrameThereWas)
{
    MakeDocument(20, 10, 1);
    WritePng(File("first.png"), 20, 10, 3);
    Choose(File("first.png"));
    Run("FiDF");
    const GWorldWrapper* first = gDarkFrame.get();
    ASSERT_NE(first, nullptr);

    WritePng(File("other.png"), 21, 10, 4);
    Choose(File("other.png"));
    bool asked = false;
    AnswerModal(kControlCancel, &asked);
    Run("FiDF");
    EXPECT_TRUE(asked);
    EXPECT_EQ(gDarkFrame.get(), first);
    EXPECT_TRUE(HoldsPattern(*gDarkFrame, 20, 10, 3));

    // A second frame of the right size replaces the first.
    WritePng(File("second.png"), 20, 10, 5);
    Choose(File("second.png"));
    Run("FiDF");
    EXPECT_TRUE(HoldsPattern(*gDarkFrame, 20, 10, 5));
}

TEST_F(CalibrationFramesTest, UnreadableFilesKeepTheFrameThereWasAndSayNothing)
{
    MakeDocument(20, 10, 1);
    WritePng(File("good.png"), 20, 10, 6);
    for (bool flat : {false, true}) {
        Choose(File("good.png"));
        Run(flat ? "FiFF" : "FiDF");
    }
    const GWorldWrapper* dark = gDarkFrame.get();
    const GWorldWrapper* flat = gFlatFrame.get();
    const double mean = gAverageFlatFieldValue;

    std::string png = ReadAll(File("good.png"));
    WriteBytesTo(File("truncated.png"), png.substr(0, png.size() / 2));
    WriteBytesTo(File("garbage"), std::string(4000, '\x5A'));
    WriteBytesTo(File("empty.png"), "");
    std::string wide = png; // a header that claims an absurd width
    wide[16] = wide[17] = '\x7F';
    WriteBytesTo(File("wide.png"), wide);
    for (const char* name : {"truncated.png", "garbage", "empty.png", "wide.png", "missing.png"}) {
        for (bool isFlat : {false, true}) {
            SCOPED_TRACE(std::string(name) + (isFlat ? " flat" : " dark"));
            Choose(File(name));
            Run(isFlat ? "FiFF" : "FiDF");
            EXPECT_EQ(mUser->AlertCount(), 0);
            EXPECT_EQ(mUser->BeepCount(), 0);
            EXPECT_EQ(gDarkFrame.get(), dark);
            EXPECT_EQ(gFlatFrame.get(), flat);
            EXPECT_EQ(gAverageFlatFieldValue, mean);
        }
    }
    EXPECT_TRUE(HoldsPattern(*gDarkFrame, 20, 10, 6));
    EXPECT_TRUE(HoldsPattern(*gFlatFrame, 20, 10, 6));
}

TEST_F(CalibrationFramesTest, OutOfMemoryKeepsTheFrameThereWas)
{
    MakeDocument(20, 10, 1);
    WritePng(File("a.png"), 20, 10, 7);
    Choose(File("a.png"));
    Run("FiDF");
    const GWorldWrapper* before = gDarkFrame.get();
    WritePng(File("b.png"), 20, 10, 8);
    Choose(File("b.png"));
    FailNextImageAllocationsForTesting(1);
    Run("FiDF");
    FailNextImageAllocationsForTesting(0);
    EXPECT_EQ(AlertsTitled(kOutOfMemoryTitle), 1);
    EXPECT_EQ(gDarkFrame.get(), before);
    EXPECT_TRUE(HoldsPattern(*gDarkFrame, 20, 10, 7));
}

TEST_F(CalibrationFramesTest, CancelledChooserAndNoDocumentChangeNothing)
{
    MakeDocument(20, 10, 1);
    Run("FiDF"); // no answer scripted: the chooser is cancelled
    Run("FiFF");
    EXPECT_EQ(gDarkFrame, nullptr);
    EXPECT_EQ(gFlatFrame, nullptr);
    EXPECT_EQ(mUser->AlertCount(), 0);
    EXPECT_EQ(mUser->BeepCount(), 0);
    EXPECT_FALSE(gDarkFrameWindow->isVisible());

    CloseMainWindow();
    EXPECT_FALSE(GetMenuModel().IsItemEnabled(kFileMenu, 2));
    EXPECT_FALSE(GetMenuModel().IsItemEnabled(kFileMenu, 3));
    WritePng(File("a.png"), 20, 10, 7);
    EXPECT_FALSE(LoadCalibrationFrameFile(CalibrationFrameKind::dark, File("a.png")));
    EXPECT_EQ(mUser->BeepCount(), 1);
    EXPECT_EQ(gDarkFrame, nullptr);
}

TEST_F(CalibrationFramesTest, AfterACropANewFrameTakesTheSensorsSize)
{
    // The clips were cropped to 30 × 20 out of a 50 × 40 sensor; the flat
    // frame kept the sensor's size.
    MakeDocument(30, 20, 1);
    gFlatFrame = MakeImage(50, 40);
    for (int c = 1; c <= 3; ++c)
        gFrames[0]->SetSubRect(MakeRect(10, 12, 30, 42), c);
    WritePng(File("sensor.png"), 50, 40, 9);
    Choose(File("sensor.png"));
    Run("FiDF");
    EXPECT_EQ(mUser->BeepCount(), 0); // no question
    ASSERT_NE(gDarkFrame, nullptr);
    EXPECT_TRUE(HoldsPattern(*gDarkFrame, 50, 40, 9));
    // The clip subtracts the sensor pixels under its calibration rectangle.
    gFrames[0]->SetDarkFrameSubtracted(true);
    FrameLease original = gFrames[0]->GetOriginal();
    FrameLease modified = gFrames[0]->GetModified(true);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x) {
            const Argb o = GetPixel(*original, x, y), m = GetPixel(*modified, x, y);
            const Argb d = PatternPixel(x + 12, y + 10, 9);
            ASSERT_EQ(m.r, std::max(0, o.r - d.r)) << x << "," << y;
            ASSERT_EQ(m.b, std::max(0, o.b - d.b)) << x << "," << y;
        }
}

TEST_F(CalibrationFramesTest, RefusedWhileAJobRunsOrADialogReadsTheClips)
{
    MakeDocument(20, 10, 2);
    WritePng(File("a.png"), 20, 10, 7);
    gSortBySpectrumInterface = reinterpret_cast<SortBySpectrumInterface*>(&gFrames);
    EXPECT_FALSE(LoadCalibrationFrameFile(CalibrationFrameKind::flat, File("a.png")));
    gSortBySpectrumInterface = nullptr;
    EXPECT_EQ(mUser->BeepCount(), 1);
    EXPECT_EQ(gFlatFrame, nullptr);
    // A job whose workers render with the frames.
    std::atomic<bool> release{false};
    gTempSelectionIndex = 0;
    ASSERT_TRUE(RunThreadedFrameProc(
        [&release](const FrameJobRange&) {
            while (!release.load())
                std::this_thread::yield();
        },
        nullptr, 0));
    EXPECT_FALSE(LoadCalibrationFrameFile(CalibrationFrameKind::dark, File("a.png")));
    EXPECT_FALSE(LoadCalibrationFrameFile(CalibrationFrameKind::flat, File("a.png")));
    release = true;
    ASSERT_TRUE(RunEventsUntil([] { return !IsJobActive(); }));
    EXPECT_EQ(mUser->BeepCount(), 3);
    EXPECT_EQ(gDarkFrame, nullptr);
    EXPECT_EQ(gFlatFrame, nullptr);
}

// ---------------------------------------------------------------- clicks

TEST_F(CalibrationFramesTest, ControlClicksRunTheDarkAndFlatJobs)
{
    MakeDocument(20, 10, 3);
    gDarkFrame = MakeImage(20, 10);
    gFlatFrame = MakeImage(20, 10);
    gPersistantSelectionIndices = {0, 2};
    gTempSelectionIndex = 2;
    ClipsWindowMouseUp(kControlKeyBit);
    ASSERT_TRUE(RunEventsUntil([] { return !IsJobActive(); }));
    EXPECT_TRUE(gFrames[0]->GetDarkFrameSubtracted());
    EXPECT_FALSE(gFrames[1]->GetDarkFrameSubtracted());
    EXPECT_TRUE(gFrames[2]->GetDarkFrameSubtracted());
    EXPECT_FALSE(gFrames[0]->GetFlatFrameDivided());

    ClipsWindowMouseUp(kControlKeyBit | kShiftKeyBit);
    ASSERT_TRUE(RunEventsUntil([] { return !IsJobActive(); }));
    EXPECT_TRUE(gFrames[0]->GetFlatFrameDivided());
    EXPECT_TRUE(gFrames[2]->GetFlatFrameDivided());

    // Command forces the clicked clip's inverse on all.
    gFrames[0]->SetFlatFrameDivided(false);
    ClipsWindowMouseUp(kControlKeyBit | kShiftKeyBit | kCmdKeyBit);
    ASSERT_TRUE(RunEventsUntil([] { return !IsJobActive(); }));
    EXPECT_FALSE(gFrames[0]->GetFlatFrameDivided());
    EXPECT_FALSE(gFrames[2]->GetFlatFrameDivided());
    EXPECT_EQ(mUser->BeepCount(), 0);
}

// ---------------------------------------------------------------- hot-pixel dialog

TEST_F(CalibrationFramesTest, TheMaskDialogOpensWithTheLastSettingsAndPreviewsInTheInspector)
{
    MakeDocument(30, 20, 2);
    gPreviousHotPixelMaskThreshold = 200;
    gPreviousHotPixelMaskRadius = 1;
    gFrameInspectorWindow->SetContentSize(30, 20);
    gFrameInspectorWindow->show();
    QCoreApplication::processEvents();
    Run("OpHP", kOperationsMenu);
    CreateHotPixelMaskInterface* dialog = gCreateHotPixelMaskInterface;
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->control(kHotPixelThresholdText).Text(), "200");
    EXPECT_EQ(dialog->control(kHotPixelRadiusPopup).Value(), 2);
    EXPECT_EQ(dialog->control(kHotPixelSourceRadios).Value(), 1);
    EXPECT_FALSE(dialog->control(kHotPixelSourceRadios).IsEnabled()); // no dark frame
    EXPECT_EQ(dialog->control(kHotPixelPreviewCheckbox).Value(), 1);
    EXPECT_FALSE(GetMenuModel().IsMenuEnabled(kOperationsMenu));
    EXPECT_FALSE(GetMenuModel().IsMenuEnabled(kFileMenu));

    // The preview: clip 1's colours where the mask takes pixels out, black elsewhere.
    FrameLease clip = gFrames[0]->GetModified(true);
    auto expected = MakeImage(30, 20);
    PaintHotPixelPreview(*clip, HotPixelParams{200, 1}, *expected);
    ASSERT_NE(dialog->GetMaskImage(), nullptr);
    EXPECT_TRUE(SamePixels(*dialog->GetMaskImage(), *expected));
    for (int y = 0; y < 20; y += 3)
        for (int x = 0; x < 30; x += 4)
            EXPECT_EQ(CanvasPixel(gFrameInspectorWindow, x, y), GetPixel(*expected, x, y)) << x << "," << y;
    clip.reset();

    // Preview off: the inspector shows what it shows without the dialog.
    dialog->TogglePreview();
    EXPECT_FALSE(dialog->GetPreviewOn());
    EXPECT_EQ(dialog->control(kHotPixelPreviewCheckbox).Value(), 0);

    // Hovering is held while the dialog is open; clicks that change clips beep.
    gTempSelectionIndex = 0;
    gDarkFrame = MakeImage(30, 20);
    ClipsWindowMouseUp(kControlKeyBit);
    EXPECT_EQ(mUser->BeepCount(), 1);
    EXPECT_FALSE(IsJobActive());
    EXPECT_FALSE(gFrames[0]->GetDarkFrameSubtracted());
}

TEST_F(CalibrationFramesTest, ArrowKeysNudgeTheThresholdAndTypingIsReadBack)
{
    MakeDocument(12, 8, 1);
    gPreviousHotPixelMaskThreshold = 250;
    Run("OpHP", kOperationsMenu);
    CreateHotPixelMaskInterface* dialog = gCreateHotPixelMaskInterface;
    ASSERT_NE(dialog, nullptr);
    QWidget* edit = dialog->control(kHotPixelThresholdText).Widget();
    // Shift-up from 250 gives 256; up again beeps.
    Key(edit, Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(dialog->Params().threshold, 256);
    EXPECT_EQ(dialog->control(kHotPixelThresholdText).Text(), "256");
    Key(edit, Qt::Key_Right);
    EXPECT_EQ(dialog->Params().threshold, 256);
    EXPECT_EQ(mUser->BeepCount(), 1);
    Key(edit, Qt::Key_Down);
    EXPECT_EQ(dialog->Params().threshold, 255);
    Key(edit, Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(dialog->Params().threshold, 245);
    // Down to 0 and no further.
    for (int i = 0; i < 25; ++i)
        dialog->NudgeValue(false, true);
    EXPECT_EQ(dialog->Params().threshold, 0); // 5 - 10 is floored at 0
    EXPECT_EQ(mUser->BeepCount(), 1);
    dialog->NudgeValue(false, false);
    EXPECT_EQ(mUser->BeepCount(), 2);
    dialog->NudgeValue(true, false);
    EXPECT_EQ(dialog->Params().threshold, 1);

    // Typing: the field's leading number is taken and written back.
    auto* line = qobject_cast<QLineEdit*>(edit);
    ASSERT_NE(line, nullptr);
    line->setFocus();
    line->selectAll();
    Key(line, Qt::Key_1, Qt::NoModifier, "1");
    Key(line, Qt::Key_2, Qt::NoModifier, "2");
    EXPECT_EQ(dialog->Params().threshold, 12);
    Key(line, Qt::Key_X, Qt::NoModifier, "x");
    EXPECT_EQ(line->text().toStdString(), "12");
    EXPECT_EQ(dialog->Params().threshold, 12);
    line->selectAll();
    Key(line, Qt::Key_A, Qt::NoModifier, "a");
    EXPECT_EQ(line->text().toStdString(), "0");
    EXPECT_EQ(dialog->Params().threshold, 0);
}

TEST_F(CalibrationFramesTest, OkMakesTheMaskFromClipOneAndKeepsTheSettings)
{
    MakeDocument(33, 17, 2);
    ASSERT_TRUE(CreateInitialStack());
    gPreviousHotPixelMaskThreshold = 230;
    Run("OpHP", kOperationsMenu);
    CreateHotPixelMaskInterface* dialog = gCreateHotPixelMaskInterface;
    ASSERT_NE(dialog, nullptr);
    dialog->control(kHotPixelRadiusPopup).SetValue(3);
    dialog->Dispatch(DialogEvent{DialogEvent::controlHit, kHotPixelRadiusPopup});
    EXPECT_EQ(dialog->Params().radius, 2);
    dialog->Dispatch(DialogEvent{DialogEvent::controlHit, kDialogOK});
    Flush();
    EXPECT_EQ(gCreateHotPixelMaskInterface, nullptr);
    EXPECT_EQ(gPreviousHotPixelMaskThreshold, 230);
    EXPECT_EQ(gPreviousHotPixelMaskRadius, 2);
    ASSERT_TRUE(gHotPixelMask.Matches(33, 17));
    FrameLease clip = gFrames[0]->GetModified(true);
    std::vector<uint8_t> expected(33 * 17);
    MarkHotPixels(*clip, HotPixelParams{230, 2}, expected.data(), 33, 17);
    EXPECT_EQ(gHotPixelMask.pixels, expected);
    EXPECT_TRUE(gHotPixelMask.HasAnyHotPixel());
    // The stack stays: the mask takes effect at the next stacking.
    EXPECT_TRUE(HaveSummedStack());
    EXPECT_TRUE(GetMenuModel().IsMenuEnabled(kOperationsMenu));
}

TEST_F(CalibrationFramesTest, CancelChangesNothingAndThresholdZeroMarksEveryPixel)
{
    MakeDocument(9, 7, 1);
    gHotPixelMask.Reset(9, 7);
    gHotPixelMask.pixels[3] = 1;
    const HotPixelMask before = gHotPixelMask;
    Run("OpHP", kOperationsMenu);
    ASSERT_NE(gCreateHotPixelMaskInterface, nullptr);
    gCreateHotPixelMaskInterface->NudgeValue(false, true);
    gCreateHotPixelMaskInterface->Dispatch(DialogEvent{DialogEvent::controlHit, kDialogCancel});
    Flush();
    EXPECT_EQ(gCreateHotPixelMaskInterface, nullptr);
    EXPECT_EQ(gHotPixelMask.pixels, before.pixels);
    EXPECT_EQ(gPreviousHotPixelMaskThreshold, 256);

    Run("OpHP", kOperationsMenu);
    ASSERT_NE(gCreateHotPixelMaskInterface, nullptr);
    gCreateHotPixelMaskInterface->control(kHotPixelThresholdText).SetText("0");
    gCreateHotPixelMaskInterface->ValidateEditableText();
    gCreateHotPixelMaskInterface->Dispatch(DialogEvent{DialogEvent::controlHit, kDialogOK});
    Flush();
    EXPECT_EQ(gHotPixelMask.pixels, std::vector<uint8_t>(63, 1));
    EXPECT_EQ(gPreviousHotPixelMaskThreshold, 0);

    // Threshold 256 gives an empty mask.
    Run("OpHP", kOperationsMenu);
    ASSERT_NE(gCreateHotPixelMaskInterface, nullptr);
    for (int i = 0; i < 26; ++i)
        gCreateHotPixelMaskInterface->NudgeValue(true, true);
    gCreateHotPixelMaskInterface->Dispatch(DialogEvent{DialogEvent::controlHit, kDialogOK});
    Flush();
    EXPECT_FALSE(gHotPixelMask.HasAnyHotPixel());
    EXPECT_EQ(gPreviousHotPixelMaskThreshold, 256);
}

TEST_F(CalibrationFramesTest, TheDarkFrameAsSourcePreviewsInItsWindow)
{
    MakeDocument(24, 16, 1);
    auto dark = MakeImage(24, 16);
    FillFlat(*dark, 5, 6, 7);
    SetPixel(*dark, 10, 8, Argb{0xFF, 240, 6, 7});
    UseAsDarkFrame(std::move(dark));
    gPreviousHotPixelMaskThreshold = 200;
    Run("OpHP", kOperationsMenu);
    CreateHotPixelMaskInterface* dialog = gCreateHotPixelMaskInterface;
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->control(kHotPixelSourceRadios).IsEnabled());
    // The dark-frame window shows the dark frame while clip 1 is the source.
    EXPECT_EQ(CanvasPixel(gDarkFrameWindow, 0, 0), (Argb{0xFF, 5, 6, 7}));
    auto radios = dialog->control(kHotPixelSourceRadios).Widget()->findChildren<QRadioButton*>();
    ASSERT_EQ(radios.size(), 2);
    radios[1]->click();
    EXPECT_TRUE(dialog->GetUsingDarkFrame());
    // Now the mask preview: black but for the hot pixel.
    EXPECT_EQ(CanvasPixel(gDarkFrameWindow, 0, 0), (Argb{0xFF, 0, 0, 0}));
    EXPECT_EQ(CanvasPixel(gDarkFrameWindow, 10, 8), (Argb{0xFF, 240, 6, 7}));
    dialog->Dispatch(DialogEvent{DialogEvent::controlHit, kDialogOK});
    Flush();
    ASSERT_TRUE(gHotPixelMask.Matches(24, 16));
    int marked = 0;
    for (uint8_t v : gHotPixelMask.pixels)
        marked += v;
    EXPECT_EQ(marked, 1);
    EXPECT_EQ(gHotPixelMask.pixels[8 * 24 + 10], 1);
    // The window shows the dark frame again.
    EXPECT_EQ(CanvasPixel(gDarkFrameWindow, 0, 0), (Argb{0xFF, 5, 6, 7}));
}

TEST_F(CalibrationFramesTest, TheDarkFrameAsSourceAfterACropIsReadWhereTheClipsWereCut)
{
    // Clips cropped to 30 x 20 at (top 10, left 12) of a 50 x 40 sensor; the
    // dark kept the sensor's size and has one hot pixel at (x 20, y 15).
    MakeDocument(30, 20, 1);
    for (int c = 1; c <= 3; ++c)
        gFrames[0]->SetSubRect(MakeRect(10, 12, 30, 42), c);
    auto dark = MakeImage(50, 40);
    FillFlat(*dark, 5, 6, 7);
    SetPixel(*dark, 20, 15, Argb{0xFF, 240, 6, 7});
    UseAsDarkFrame(std::move(dark));
    gDarkFrameWindow->SetContentSize(30, 20);
    gPreviousHotPixelMaskThreshold = 200;
    Run("OpHP", kOperationsMenu);
    CreateHotPixelMaskInterface* dialog = gCreateHotPixelMaskInterface;
    ASSERT_NE(dialog, nullptr);
    auto radios = dialog->control(kHotPixelSourceRadios).Widget()->findChildren<QRadioButton*>();
    ASSERT_EQ(radios.size(), 2);
    radios[1]->click();
    // The preview shows the hot pixel where it lies in the clips.
    EXPECT_EQ(CanvasPixel(gDarkFrameWindow, 8, 5), (Argb{0xFF, 240, 6, 7}));
    EXPECT_EQ(CanvasPixel(gDarkFrameWindow, 20, 15), (Argb{0xFF, 0, 0, 0}));
    dialog->Dispatch(DialogEvent{DialogEvent::controlHit, kDialogOK});
    Flush();
    ASSERT_TRUE(gHotPixelMask.Matches(30, 20));
    std::vector<uint8_t> expected(30 * 20, 0);
    expected[5 * 30 + 8] = 1;
    EXPECT_EQ(gHotPixelMask.pixels, expected);
}

TEST_F(CalibrationFramesTest, AClipOneThatCannotComeBackOpensNoMaskDialog)
{
    MakeDocument(12, 8, 2);
    ASSERT_EQ(gFrames[0]->TrySendToTempDiskFile(), Frame::SwapOutResult::swapped);
    fs::remove(gFrames[0]->GetTempFile(0));
    Run("OpHP", kOperationsMenu);
    Flush();
    EXPECT_EQ(gCreateHotPixelMaskInterface, nullptr);
    EXPECT_EQ(AlertsTitled(kOutOfMemoryTitle), 1);
    EXPECT_TRUE(GetMenuModel().IsMenuEnabled(kOperationsMenu));
}

TEST_F(CalibrationFramesTest, TheMaskDialogNeedsClipsAndMemory)
{
    Run("OpHP", kOperationsMenu);
    EXPECT_EQ(gCreateHotPixelMaskInterface, nullptr);
    EXPECT_EQ(mUser->BeepCount(), 1);

    MakeDocument(12, 8, 1);
    FailNextImageAllocationsForTesting(1);
    Run("OpHP", kOperationsMenu);
    FailNextImageAllocationsForTesting(0);
    Flush();
    EXPECT_EQ(gCreateHotPixelMaskInterface, nullptr);
    EXPECT_EQ(AlertsTitled(kOutOfMemoryTitle), 1);
    EXPECT_TRUE(GetMenuModel().IsMenuEnabled(kOperationsMenu));
    // And opens once memory is there.
    Run("OpHP", kOperationsMenu);
    EXPECT_NE(gCreateHotPixelMaskInterface, nullptr);
}
