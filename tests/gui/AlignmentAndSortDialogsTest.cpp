// tests/gui/AlignmentAndSortDialogsTest.cpp: the alignment threshold dialog
// (its mask preview against numpy, arrow keys, typed values, OK and Cancel)
// and the dialog of the spectrum sort (opened by the sort's job, band scores
// against numpy, sliders dragged and nudged, included clips, OK and Escape),
// driven through the windows' events.
#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include "engine/ClipViewWindow.h"
#include "app/Commands.h"
#include "shell/DialogPointers.h"
#include "shell/IntegerTriangleSlider.h"
#include "app/MainWindows.h"
#include "app/MenuBar.h"
#include "shell/PointerInput.h"
#include "shell/ShellHooks.h"
#include "engine/AlignmentAndSortDialogs.h"
#include "engine/ClipSorting.h"
#include "engine/FrequencyBandSortInterface.h"
#include "engine/PowerBandScores.h"
#include "engine/SetAlignBrightThresholdInterface.h"
#include "imaging/Measurements.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/Controls.h"
#include "platform/qt/MenuModel.h"
#include "platform/qt/Screens.h"
#include "platform/qt/ShellWindow.h"
#include "tests/gui/GuiTestApp.h"
#include "tests/unit/BandScoreReference.h"
#include "tests/unit/ClipJobFixture.h"

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

// Two double FFTs of the same 64 x 64 values agree far closer than this.
constexpr double kFftTolerance = 1e-9;

constexpr int kSide = 64, kTop = 3, kLeft = 5, kBins = 46;

void Key(QWidget* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = {})
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(target, &press);
}

void KeyUp(QWidget* target, int key, bool autoRepeat = false)
{
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(), autoRepeat);
    QApplication::sendEvent(target, &release);
}

// Replaces the field's text as a user would: select all, then type.
void Type(QLineEdit* edit, const std::string& text)
{
    Key(edit, Qt::Key_A, Qt::ControlModifier);
    for (char c : text)
        Key(edit, c >= '0' && c <= '9' ? Qt::Key_0 + (c - '0') : Qt::Key_A + (c - 'a'), Qt::NoModifier,
            QString(QChar(c)));
}

void Click(QWidget* window, int id)
{
    auto* button = qobject_cast<QAbstractButton*>(GetControlByID(window, kControlSignature, id).Widget());
    ASSERT_NE(button, nullptr);
    button->click();
}

// A press on the canvas at (h, v), followed by the scripted drag path.
void Press(Canvas* canvas, int h, int v, std::vector<QPoint> path)
{
    PointerScript script;
    script.position = QPoint(h, v);
    script.dragPaths.push_back(std::move(path));
    SetPointerScriptForTesting(script);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(h, v), canvas->mapToGlobal(QPointF(h, v)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(canvas, &press);
    SetPointerScriptForTesting(std::nullopt);
}

class DialogsTest : public ClipJobFixture {
protected:
    void SetUp() override
    {
        GuiTestApp();
        ClipJobFixture::SetUp();
        SetScreensForTesting({ScreenArea{QRect(0, 0, 1920, 1080), QRect(0, 0, 1920, 1080)}});
        if (!gFrameInspectorWindow) {
            MenuBarInit();
            WindowInit();
        }
        InstallShellCommands();
        InstallAlignmentAndSortDialogs();
        gLockFrameInspectorWindowToFrameOne = false;
    }
    void TearDown() override
    {
        if (gSetAlignBrightThresholdInterface)
            gSetAlignBrightThresholdInterface->End(true);
        if (gSortBySpectrumInterface)
            gSortBySpectrumInterface->End(false);
        QCoreApplication::processEvents(); // closed dialogs go now
        EXPECT_EQ(gSetAlignBrightThresholdInterface, nullptr);
        EXPECT_EQ(gSortBySpectrumInterface, nullptr);
        SetPointerScriptForTesting(std::nullopt);
        SetSortBySpectrumDialogFactory(nullptr);
        gLockFrameInspectorWindowToFrameOne = false;
        ClipJobFixture::TearDown();
    }
    void SizeInspector(int w, int h)
    {
        gFrameInspectorWindow->show();
        gFrameInspectorWindow->SetContentSize(w, h);
        for (int i = 0; i < 5 && Inspector().size() != QSize(w, h); ++i)
            QApplication::processEvents();
        ASSERT_EQ(Inspector().size(), QSize(w, h));
    }
    QImage& Inspector() { return ContentCanvas(gFrameInspectorWindow)->Image(); }
    Frame* Add(int w, int h, const std::function<void(GWorldWrapper&)>& fill)
    {
        auto original = MakeImage(w, h);
        fill(*original);
        auto modified = MakeImage(w, h);
        *modified = *original;
        gImageDim = MakeRect(0, 0, h, w);
        gFrames.push_back(
            std::make_unique<Frame>(static_cast<int>(gFrames.size()), original.release(), modified.release()));
        return gFrames.back().get();
    }
};

// ---------------------------------------------------------------- threshold

class ThresholdDialogTest : public DialogsTest {
protected:
    static constexpr int kW = 37, kH = 23; // odd sizes

    void SetUp() override
    {
        DialogsTest::SetUp();
        Add(kW, kH, [](GWorldWrapper& i) {
            FillNoise(i, 17);
            SetPixel(i, 3, 4, {255, 10, 200, 30});
            SetPixel(i, 0, 0, {255, 0, 0, 0});
            SetPixel(i, kW - 1, kH - 1, {255, 255, 255, 255});
        });
        Add(kW, kH, [](GWorldWrapper& i) { FillNoise(i, 18); });
        SizeInspector(4 * kW, 4 * kH);
        gAlignmentBrightnessThreshold = 0;
    }
    SetAlignBrightThresholdInterface* Open()
    {
        EXPECT_TRUE(MenuHandler(FourCC("OpAB"), 131, 0));
        EXPECT_NE(gSetAlignBrightThresholdInterface, nullptr);
        return gSetAlignBrightThresholdInterface;
    }
    QLineEdit* Field(SetAlignBrightThresholdInterface* d)
    {
        return qobject_cast<QLineEdit*>(d->control(kThresholdTextField).Widget());
    }
    std::unique_ptr<GWorldWrapper> Clip0()
    {
        FrameLease m = gFrames[0]->GetModified(true);
        auto copy = MakeImage(m->Width(), m->Height());
        *copy = *m;
        return copy;
    }
};

TEST_F(ThresholdDialogTest, MaskMatchesNumpyAndShowsInTheInspector)
{
    SetAlignBrightThresholdInterface* d = Open();
    ASSERT_NE(d, nullptr);
    ASSERT_NE(d->GetMaskImage(), nullptr);
    EXPECT_EQ(d->GetMaskImage()->GetDim(), gImageDim);
    const auto clip = Clip0();

    const std::vector<int> thresholds = {0, 1, 31, 128, 200, 201, 254, 255, 256, 300};
    std::vector<unsigned char> rgb;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const Argb p = GetPixel(*clip, x, y);
            rgb.insert(rgb.end(), {p.r, p.g, p.b});
        }
    const std::string dir = ReferenceScratchDir();
    WriteBytes(dir + "/clip.rgb", rgb);
    std::vector<std::string> args = {dir, std::to_string(kW), std::to_string(kH)};
    for (int t : thresholds)
        args.push_back(std::to_string(t));
    std::string out;
    ASSERT_TRUE(RunPython(R"(
import sys
import numpy as np
d, w, h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
a = np.fromfile(d + "/clip.rgb", dtype=np.uint8).reshape(h, w, 3)
masks = []
for t in map(int, sys.argv[4:]):
    keep = (a.astype(np.int64) >= t).any(axis=2)
    masks.append(np.where(keep[:, :, None], a, 0).astype(np.uint8).ravel())
np.concatenate(masks).tofile(d + "/masks.rgb")
)",
                          args, &out))
        << out;
    const std::vector<unsigned char> want = ReadBytes(dir + "/masks.rgb");
    ASSERT_EQ(want.size(), thresholds.size() * kW * kH * 3);

    std::size_t k = 0;
    for (int t : thresholds) {
        Type(Field(d), std::to_string(t));
        ASSERT_EQ(d->Threshold(), t);
        EXPECT_EQ(Field(d)->text().toStdString(), std::to_string(t));
        const GWorldWrapper& mask = *d->GetMaskImage();
        int mismatches = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x, k += 3) {
                const Argb m = GetPixel(mask, x, y);
                mismatches += m.r != want[k] || m.g != want[k + 1] || m.b != want[k + 2];
                // The inspector shows the preview at the image's own size.
                const QRgb shown = Inspector().pixel(x, y);
                mismatches += qRed(shown) != m.r || qGreen(shown) != m.g || qBlue(shown) != m.b;
            }
        EXPECT_EQ(mismatches, 0) << "threshold " << t;
        // By hand: (10, 200, 30) stays at 200 and goes black at 201.
        const Argb p = GetPixel(mask, 3, 4);
        EXPECT_EQ(p.g, t <= 200 ? 200 : 0) << t;
    }
    // Threshold 0 shows clip 0 as rendered; 256 and more show black only.
    Type(Field(d), "0");
    EXPECT_TRUE(SamePixels(*d->GetMaskImage(), *clip));
    Type(Field(d), "256");
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            ASSERT_EQ(GetPixel(*d->GetMaskImage(), x, y), (Argb{255, 0, 0, 0}));
    // Nothing of this reached the global until OK.
    EXPECT_EQ(gAlignmentBrightnessThreshold, 0);
}

TEST_F(ThresholdDialogTest, ArrowKeysStepAndStopAtTheEnds)
{
    gAlignmentBrightnessThreshold = 250;
    SetAlignBrightThresholdInterface* d = Open();
    ASSERT_NE(d, nullptr);
    QLineEdit* field = Field(d);
    EXPECT_EQ(field->text(), "250");
    Key(field, Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(d->Threshold(), 256); // not 260
    EXPECT_EQ(field->text(), "256");
    EXPECT_EQ(GetPixel(*d->GetMaskImage(), kW - 1, kH - 1), (Argb{255, 0, 0, 0}));
    const int beeps = mUser.BeepCount();
    Key(field, Qt::Key_Up);
    Key(field, Qt::Key_Right);
    EXPECT_EQ(mUser.BeepCount(), beeps + 2);
    EXPECT_EQ(d->Threshold(), 256);
    Key(field, Qt::Key_Down);
    EXPECT_EQ(d->Threshold(), 255);
    EXPECT_EQ(GetPixel(*d->GetMaskImage(), kW - 1, kH - 1), (Argb{255, 255, 255, 255}));
    Key(field, Qt::Key_Left);
    EXPECT_EQ(d->Threshold(), 254);
    Key(field, Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(d->Threshold(), 256);
    Key(field, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(d->Threshold(), 246);
    EXPECT_EQ(field->text(), "246");

    Type(field, "5");
    Key(field, Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(d->Threshold(), 0);
    Key(field, Qt::Key_Down);
    EXPECT_EQ(d->Threshold(), 0);
    EXPECT_EQ(mUser.BeepCount(), beeps + 3);
    // A typed value past the arrows' range is kept; the arrows then step
    // down from it and refuse to go up.
    Type(field, "300");
    EXPECT_EQ(d->Threshold(), 300);
    Key(field, Qt::Key_Up);
    EXPECT_EQ(mUser.BeepCount(), beeps + 4);
    Key(field, Qt::Key_Down);
    EXPECT_EQ(d->Threshold(), 299);
}

TEST_F(ThresholdDialogTest, TypedTextIsReadAsItsLeadingNumber)
{
    SetAlignBrightThresholdInterface* d = Open();
    ASSERT_NE(d, nullptr);
    QLineEdit* field = Field(d);
    Type(field, "12ab");
    EXPECT_EQ(d->Threshold(), 12);
    EXPECT_EQ(field->text(), "12");
    // An emptied field stays empty and counts as 0.
    Key(field, Qt::Key_A, Qt::ControlModifier);
    Key(field, Qt::Key_Backspace);
    EXPECT_EQ(field->text(), "");
    EXPECT_EQ(d->Threshold(), 0);
    EXPECT_TRUE(SamePixels(*d->GetMaskImage(), *Clip0()));
}

TEST_F(ThresholdDialogTest, OkKeepsTheValueCancelAndCloseBoxDoNot)
{
    gTempSelectionIndex = 0; // once the dialog goes, the inspector shows clip 0
    const auto clip = Clip0();
    // Clip pixel (30, 2), clear of the inspector's texts, shown 4 times larger.
    const Argb p = GetPixel(*clip, 30, 2);
    ASSERT_NE(p, (Argb{255, 0, 0, 0}));
    const QRgb shown = qRgb(p.r, p.g, p.b);

    SetAlignBrightThresholdInterface* d = Open();
    ASSERT_NE(d, nullptr);
    Type(Field(d), "256");
    EXPECT_EQ(Inspector().pixel(30, 2) & 0xFFFFFF, 0u); // the all-black preview at its own size
    Click(d->window(), kDialogCancel);
    QCoreApplication::processEvents();
    EXPECT_EQ(gSetAlignBrightThresholdInterface, nullptr);
    EXPECT_EQ(gAlignmentBrightnessThreshold, 0);
    EXPECT_EQ(Inspector().pixel(120, 8), shown); // clip 0 again

    d = Open();
    ASSERT_NE(d, nullptr);
    Type(Field(d), "120");
    d->window()->close(); // the close box cancels
    QCoreApplication::processEvents();
    EXPECT_EQ(gSetAlignBrightThresholdInterface, nullptr);
    EXPECT_EQ(gAlignmentBrightnessThreshold, 0);

    d = Open();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(Field(d)->text(), "0");
    Type(Field(d), "120");
    Click(d->window(), kDialogOK);
    QCoreApplication::processEvents();
    EXPECT_EQ(gSetAlignBrightThresholdInterface, nullptr);
    EXPECT_EQ(gAlignmentBrightnessThreshold, 120);
    EXPECT_EQ(Inspector().pixel(120, 8), shown);
    EXPECT_FALSE(IsDialogOpen());

    // The next opening starts from the kept value.
    d = Open();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(Field(d)->text(), "120");
    EXPECT_EQ(d->Threshold(), 120);
}

TEST_F(ThresholdDialogTest, NoMemoryForThePreviewOpensNothing)
{
    FailNextImageAllocationsForTesting(1);
    EXPECT_TRUE(MenuHandler(FourCC("OpAB"), 131, 0));
    FailNextImageAllocationsForTesting(0);
    EXPECT_EQ(gSetAlignBrightThresholdInterface, nullptr);
    ASSERT_EQ(mUser.AlertCount(), 1);
    EXPECT_EQ(mUser.Alerts()[0].request.title, "Out of Memory Error");
    EXPECT_FALSE(IsDialogOpen());
    QCoreApplication::processEvents();
}

TEST_F(ThresholdDialogTest, AClipOneThatCannotComeBackOpensNothing)
{
    // Clip 0 swapped out and its files lost: there is nothing to preview.
    ASSERT_EQ(gFrames[0]->TrySendToTempDiskFile(), Frame::SwapOutResult::swapped);
    std::filesystem::remove(gFrames[0]->GetTempFile(0));
    gAlignmentBrightnessThreshold = 77;
    EXPECT_TRUE(MenuHandler(FourCC("OpAB"), 131, 0));
    EXPECT_EQ(gSetAlignBrightThresholdInterface, nullptr);
    ASSERT_EQ(mUser.AlertCount(), 1);
    EXPECT_EQ(mUser.Alerts()[0].request.title, "Out of Memory Error");
    EXPECT_FALSE(IsDialogOpen());
    EXPECT_EQ(gAlignmentBrightnessThreshold, 77);
    QCoreApplication::processEvents();
}

// ---------------------------------------------------------------- band sort

class BandSortDialogTest : public DialogsTest {
protected:
    static constexpr int kW = 75, kH = 70;

    // Clips whose power lies at different frequencies.
    void AddClips()
    {
        Add(kW, kH, [](GWorldWrapper& i) { FillGradient(i); });
        for (double sigma : {1.0, 2.5, 5.0})
            Add(kW, kH, [sigma](GWorldWrapper& i) {
                FillFlat(i, 10, 10, 10);
                AddStar(i, 20.5, 30.0, sigma, 220);
                AddStar(i, 50.0, 12.0, sigma, 150);
            });
        Add(kW, kH, [](GWorldWrapper& i) { FillNoise(i, 7); });
        for (auto& f : gFrames)
            mByNumpyIndex.push_back(f.get());
    }
    // Sorts by power spectrum through the command; the dialog opens at the end.
    SortBySpectrumInterface* SortBySpectrum()
    {
        gOperationBoundsRect = MakeRect(kTop, kLeft, kTop + kSide - 1, kLeft + kSide - 1);
        SortClips(18);
        EXPECT_TRUE(IsJobActive());
        RunJobToEnd();
        EXPECT_NE(gSortBySpectrumInterface, nullptr);
        return gSortBySpectrumInterface;
    }
    std::vector<std::vector<double>> Numpy(const std::vector<std::pair<int, int>>& bands)
    {
        std::vector<std::unique_ptr<GWorldWrapper>> copies;
        std::vector<const GWorldWrapper*> images;
        for (Frame* f : mByNumpyIndex) {
            FrameLease m = f->GetModified(true);
            copies.push_back(MakeImage(m->Width(), m->Height()));
            *copies.back() = *m;
            images.push_back(copies.back().get());
        }
        return NumpyBandScores(images, kTop, kLeft, kSide, kBins, bands);
    }
    // Every clip's score against numpy's, the order best first, indices
    // renumbered.
    void ExpectScores(const std::vector<double>& want)
    {
        for (std::size_t c = 0; c < mByNumpyIndex.size(); ++c)
            EXPECT_NEAR(mByNumpyIndex[c]->GetScore(), want[c], kFftTolerance) << "clip " << c;
        for (std::size_t i = 0; i < gFrames.size(); ++i) {
            EXPECT_EQ(gFrames[i]->GetIndex(), static_cast<int>(i));
            if (i > 0) {
                EXPECT_GE(gFrames[i - 1]->GetScore(), gFrames[i]->GetScore());
            }
        }
    }
    std::vector<bool> Inclusion() const
    {
        std::vector<bool> v;
        for (auto& f : gFrames)
            v.push_back(f->GetSumStackIncluded());
        return v;
    }
    static std::vector<bool> FirstIncluded(int n, int m)
    {
        std::vector<bool> v(static_cast<std::size_t>(m), false);
        std::fill(v.begin(), v.begin() + n, true);
        return v;
    }
    static Canvas* Surface(SortBySpectrumInterface* d) { return d->canvas(); }
    // A press on a slider's thumb point dragged to column h.
    static void Drag(SortBySpectrumInterface* d, int slider, int h)
    {
        const Rect t = d->Slider(slider).Thumb();
        const int v = t.top + 2;
        Press(Surface(d), t.left + 5, v, {QPoint(t.left + 7, v), QPoint(h, v + 3)});
    }

    std::vector<Frame*> mByNumpyIndex;
};

TEST_F(BandSortDialogTest, OpensAfterTheSortWithTheWholeBand)
{
    AddClips();
    SortBySpectrumInterface* d = SortBySpectrum();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->Bins(), kBins);
    EXPECT_EQ(d->LowBin(), 0);
    EXPECT_EQ(d->HighBin(), kBins - 1);
    EXPECT_EQ(d->IncludedCount(), 5);
    EXPECT_EQ(d->ActiveSlider(), -1);
    EXPECT_FALSE(d->control(kDialogCancel).IsShown());
    EXPECT_TRUE(IsDialogOpen());
    // The whole band: every score exactly 1, a spread of .000.
    for (auto& f : gFrames)
        EXPECT_EQ(f->GetScore(), 1.0);
    EXPECT_EQ(d->control(kBandSortSpreadText).Text(), ".000");
    EXPECT_EQ(Inclusion(), FirstIncluded(5, 5));
    // The mean spectrum of all clips, and its largest bin.
    std::vector<double> mean(kBins, 0.0);
    for (Frame* f : mByNumpyIndex)
        for (int b = 0; b < kBins; ++b)
            mean[b] += f->GetPowerSpectrum()[b] / 5.0;
    ASSERT_EQ(d->MeanSpectrumValues().size(), static_cast<std::size_t>(kBins));
    for (int b = 0; b < kBins; ++b)
        EXPECT_NEAR(d->MeanSpectrumValues()[b], mean[b], 1e-12 * mean[0]);
    EXPECT_NEAR(d->LargestMeanValue(), *std::max_element(mean.begin(), mean.end()), 1e-12 * mean[0]);
    // The sliders of the table.
    EXPECT_EQ(d->Slider(0).Thumb(), MakeRect(235, 17, 241, 28));
    EXPECT_EQ(d->Slider(1).Thumb(), MakeRect(255, 209, 261, 220));
    EXPECT_EQ(d->Slider(2).Thumb(), MakeRect(239, 477, 245, 488));
    // The arrow keys move nothing before a slider was pressed.
    Key(d->window(), Qt::Key_Right);
    EXPECT_EQ(d->LowBin(), 0);
    EXPECT_EQ(d->HighBin(), kBins - 1);
    EXPECT_EQ(d->IncludedCount(), 5);
}

TEST_F(BandSortDialogTest, SlidersScoreSortAndIncludeLikeNumpy)
{
    AddClips();
    SortBySpectrumInterface* d = SortBySpectrum();
    ASSERT_NE(d, nullptr);
    const auto want = Numpy({{5, 45}, {5, 5}, {5, 6}, {3, 6}});
    ASSERT_EQ(want.size(), 4u);

    // Low bin to 5: h 44 gives trunc((22 + 2.12) / 4.244) = 5.
    Drag(d, 0, 44);
    EXPECT_EQ(d->ActiveSlider(), 0);
    EXPECT_EQ(d->LowBin(), 5);
    ExpectScores(want[0]);
    EXPECT_EQ(Inclusion(), FirstIncluded(5, 5));
    const double spread = gFrames.front()->GetScore() - gFrames.back()->GetScore();
    EXPECT_EQ(d->control(kBandSortSpreadText).Text(), ScoreSpreadText(spread));
    EXPECT_NE(d->control(kBandSortSpreadText).Text(), ".000");
    // The band in light cyan from trunc(5 * 192 / 45 + 22) = 43.
    const QImage& image = Surface(d)->Image();
    EXPECT_EQ(image.pixel(100, 31), qRgb(0x80, 0xFF, 0xFF));
    EXPECT_EQ(image.pixel(30, 31), qRgb(0xFF, 0xFF, 0xFF));

    // Keep two clips: h 332 gives trunc((50 + 24.875) / 49.75 + 1) = 2.
    Drag(d, 2, 332);
    EXPECT_EQ(d->ActiveSlider(), 2);
    EXPECT_EQ(d->IncludedCount(), 2);
    EXPECT_EQ(Inclusion(), FirstIncluded(2, 5));
    // Green up to 283 + 200 / 4 + 20, red from 352.
    EXPECT_EQ(image.pixel(310, 200), qRgb(0x80, 0xFF, 0x80));
    EXPECT_EQ(image.pixel(420, 200), qRgb(0xFF, 0x80, 0x80));
    Key(d->window(), Qt::Key_Right);
    EXPECT_EQ(d->IncludedCount(), 3);
    EXPECT_EQ(Inclusion(), FirstIncluded(3, 5));
    Key(d->window(), Qt::Key_Down);
    Key(d->window(), Qt::Key_Left);
    EXPECT_EQ(d->IncludedCount(), 1);
    EXPECT_EQ(Inclusion(), FirstIncluded(1, 5));
    Key(d->window(), Qt::Key_Left); // already at 1
    EXPECT_EQ(d->IncludedCount(), 1);
    Key(d->window(), Qt::Key_Up);
    Key(d->window(), Qt::Key_Up);
    EXPECT_EQ(d->IncludedCount(), 3);

    // High dragged below low stops at low.
    Drag(d, 1, 0);
    EXPECT_EQ(d->ActiveSlider(), 1);
    EXPECT_EQ(d->HighBin(), 5);
    EXPECT_EQ(d->Slider(1).GetValue(), 5);
    ExpectScores(want[1]);
    EXPECT_EQ(Inclusion(), FirstIncluded(3, 5));
    Key(d->window(), Qt::Key_Left); // below low: set back
    EXPECT_EQ(d->HighBin(), 5);
    EXPECT_EQ(d->Slider(1).GetValue(), 5);

    // The arrows re-sort after a band change but leave the inclusion to the
    // next count change or the end.
    const std::vector<bool> before = Inclusion();
    std::vector<Frame*> included;
    for (auto& f : gFrames)
        if (f->GetSumStackIncluded())
            included.push_back(f.get());
    Key(d->window(), Qt::Key_Right);
    EXPECT_EQ(d->HighBin(), 6);
    ExpectScores(want[2]);
    for (Frame* f : included)
        EXPECT_TRUE(f->GetSumStackIncluded());

    // Low dragged past high stops at high.
    Drag(d, 0, 400);
    EXPECT_EQ(d->LowBin(), 6);
    EXPECT_EQ(d->Slider(0).GetValue(), 6);
    Key(d->window(), Qt::Key_Left);
    Key(d->window(), Qt::Key_Left);
    Key(d->window(), Qt::Key_Left);
    EXPECT_EQ(d->LowBin(), 3);
    ExpectScores(want[3]);
    (void)before;

    // OK: sorted best first, the first three included, spectra freed.
    Click(d->window(), kDialogOK);
    QCoreApplication::processEvents();
    EXPECT_EQ(gSortBySpectrumInterface, nullptr);
    ExpectScores(want[3]);
    EXPECT_EQ(Inclusion(), FirstIncluded(3, 5));
    for (auto& f : gFrames)
        EXPECT_EQ(f->GetPowerSpectrum(), nullptr);
    EXPECT_FALSE(IsDialogOpen());
}

TEST_F(BandSortDialogTest, PressesOffTheThumbsChangeNothing)
{
    AddClips();
    SortBySpectrumInterface* d = SortBySpectrum();
    ASSERT_NE(d, nullptr);
    Press(Surface(d), 100, 100, {QPoint(10, 238)});
    Press(Surface(d), 60, 238, {QPoint(10, 238)}); // on the track, beside the thumb
    EXPECT_EQ(d->ActiveSlider(), -1);
    EXPECT_EQ(d->LowBin(), 0);
    EXPECT_EQ(d->HighBin(), kBins - 1);
    EXPECT_EQ(d->IncludedCount(), 5);
    // A press on a thumb without moving keeps the value and makes it active.
    const Rect t = d->Slider(1).Thumb();
    Press(Surface(d), t.left + 5, t.top + 1, {});
    EXPECT_EQ(d->ActiveSlider(), 1);
    EXPECT_EQ(d->HighBin(), kBins - 1);
}

TEST_F(BandSortDialogTest, SpaceHoldsTheInspectorAndEscapeEndsAsOk)
{
    AddClips();
    SizeInspector(kW, kH);
    SortBySpectrumInterface* d = SortBySpectrum();
    ASSERT_NE(d, nullptr);
    gTempSelectionIndex = 3;
    Key(d->window(), Qt::Key_Space);
    EXPECT_TRUE(gLockFrameInspectorWindowToFrameOne);
    KeyUp(d->window(), Qt::Key_Space, true); // auto-repeat: still held
    EXPECT_TRUE(gLockFrameInspectorWindowToFrameOne);
    KeyUp(d->window(), Qt::Key_Space);
    EXPECT_FALSE(gLockFrameInspectorWindowToFrameOne);

    // Drop to two clips, then Escape: the dialog ends as with OK.
    Drag(d, 2, 332);
    ASSERT_EQ(d->IncludedCount(), 2);
    Key(d->window(), Qt::Key_Space); // held while the dialog goes
    Key(d->window(), Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_EQ(gSortBySpectrumInterface, nullptr);
    EXPECT_FALSE(gLockFrameInspectorWindowToFrameOne);
    EXPECT_EQ(Inclusion(), FirstIncluded(2, 5));
    for (auto& f : gFrames)
        EXPECT_EQ(f->GetPowerSpectrum(), nullptr);
}

TEST_F(BandSortDialogTest, OneClip)
{
    Add(kW, kH, [](GWorldWrapper& i) { FillNoise(i, 3); });
    SortBySpectrumInterface* d = SortBySpectrum();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->IncludedCount(), 1);
    // The count slider holds one value and never moves.
    EXPECT_EQ(d->Slider(2).Thumb().left, 277);
    Drag(d, 2, 480);
    EXPECT_EQ(d->IncludedCount(), 1);
    EXPECT_EQ(d->Slider(2).Thumb().left, 277);
    Key(d->window(), Qt::Key_Right);
    EXPECT_EQ(d->IncludedCount(), 1);
    // Its dot in the middle of the score panel, all of it included.
    Drag(d, 0, 100);
    const QImage& image = Surface(d)->Image();
    EXPECT_EQ(image.pixel(470, 100), qRgb(0x80, 0xFF, 0x80));
    const int v = 232 - static_cast<int>(200 * gFrames[0]->GetScore());
    EXPECT_EQ(image.pixel(382, std::clamp(v, 31, 232)), qRgb(0, 0, 0));
    Click(d->window(), kDialogOK);
    QCoreApplication::processEvents();
    EXPECT_TRUE(gFrames[0]->GetSumStackIncluded());
}

TEST_F(BandSortDialogTest, ClipsWithoutSpectraAreNeverReadAndSortLast)
{
    AddClips();
    // Measured as the sort does, except clip 2, whose measurement failed,
    // and clip 4, a black clip with no power at all.
    FillFlat(*gFrames[4]->GetOriginal(), 0, 0, 0);
    (void)gFrames[4]->UpdateFrame(true);
    const Rect square = MakeRect(kTop, kLeft, kTop + kSide - 1, kLeft + kSide - 1);
    for (std::size_t c = 0; c < gFrames.size(); ++c) {
        if (c == 2)
            continue;
        gFrames[c]->InitPowerSpectrum(kBins);
        FrameLease m = gFrames[c]->GetModified(true);
        ASSERT_EQ(
            CalculatePowerSpectrumDistributionFromFourierTransform(*m, square, gFrames[c]->GetPowerSpectrum(), kBins),
            0);
    }
    std::vector<double> mean(kBins, 0.0);
    for (int c : {0, 1, 3, 4})
        for (int b = 0; b < kBins; ++b)
            mean[b] += mByNumpyIndex[c]->GetPowerSpectrum()[b] / 4.0;

    gSortBySpectrumInterface = new SortBySpectrumInterface(0, kBins);
    SortBySpectrumInterface* d = gSortBySpectrumInterface;
    for (int b = 0; b < kBins; ++b)
        EXPECT_NEAR(d->MeanSpectrumValues()[b], mean[b], 1e-12 * mean[0]);
    // The unmeasured and the black clip last (-1, in either order), out of
    // the spread; every measured clip scores 1.
    const auto lastTwoAreTheUnmeasured = [&] {
        for (int k : {3, 4}) {
            EXPECT_EQ(gFrames[k]->GetScore(), -1.0) << k;
            EXPECT_TRUE(gFrames[k].get() == mByNumpyIndex[2] || gFrames[k].get() == mByNumpyIndex[4]) << k;
        }
    };
    lastTwoAreTheUnmeasured();
    EXPECT_EQ(d->control(kBandSortSpreadText).Text(), ".000");
    Drag(d, 0, 44);
    lastTwoAreTheUnmeasured();
    Click(d->window(), kDialogOK);
    QCoreApplication::processEvents();
    EXPECT_EQ(gSortBySpectrumInterface, nullptr);
    for (auto& f : gFrames)
        EXPECT_EQ(f->GetPowerSpectrum(), nullptr);
}

} // namespace
