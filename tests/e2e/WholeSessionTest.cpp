// tests/e2e/WholeSessionTest.cpp: one whole session on the real program, the
// way a user goes through it: synthetic star fields with known shifts and
// noise are written as picture files and opened, a bounds rectangle is dragged
// in the frame inspector, the clips are aligned by difference with the '1' key
// held, sorted, the two poor clips left out of the sum, the stack built and
// saved as FITS; the FITS files are checked against the known truth with
// astropy and fitsverify, and read back through Open FITS.
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "shell/AlignmentModes.h"
#include "app/Application.h"
#include "shell/DialogInterface.h"
#include "shell/DialogPointers.h"
#include "shell/Jobs.h"
#include "app/MainWindows.h"
#include "app/MenuBar.h"
#include "shell/OperationBoundsRect.h"
#include "shell/PointerInput.h"
#include "shell/ShellHooks.h"
#include "shell/ShellSettings.h"
#include "engine/ClipsWindow.h"
#include "engine/Frame.h"
#include "engine/FrameList.h"
#include "shell/ImageDim.h"
#include "engine/Selection.h"
#include "engine/SummedStack.h"
#include "files/OpenFITSToStackInterface.h"
#include "files/SaveFITSInterface.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/Controls.h"
#include "platform/qt/MenuModel.h"
#include "platform/qt/ShellWindow.h"
#include "tests/gui/GuiTestApp.h"
#include "tests/support/ScriptedInteraction.h"
#include "tests/support/TestImages.h"
#include "tests/unit/EngineFixture.h"
#include "tests/unit/FITSReference.h"

namespace {

namespace fs = std::filesystem;

// ---- The sky and the frames ----

constexpr int kWidth = 157; // odd sizes, not multiples of 4
constexpr int kHeight = 119;
constexpr int kFrameCount = 12;
constexpr double kGoodNoise = 6.0; // grey levels, one standard deviation
constexpr double kPoorNoise = 24.0;
// Frames of the poor nights: sorting puts them last, and the user leaves them out.
constexpr int kPoorFrames[2] = {4, 9};
// Where each frame's sky lies (rows down, columns right) against the sky itself.
constexpr Point kShifts[kFrameCount] = {{1, -2}, {4, 3},  {-3, 5}, {6, -4},  {-5, -6}, {2, 7},
                                        {-6, 1}, {0, -7}, {5, 5},  {-2, -3}, {3, 0},   {-4, 4}};
// The stacked noise may differ from sigma / sqrt(N) by this fraction: the
// estimate over ~25,000 samples per figure is good to about 1%, so 5% leaves
// room without hiding a stack that sums the wrong clips or misaligns them.
constexpr double kNoiseTolerance = 0.05;
// A job has hung after this long.
constexpr int kTimeoutMs = 120000;

struct Star {
    double y, x, amplitude;
    std::array<double, 3> colour;
};

// A noiseless sky: a background, a broad glow (a nebula, which gives the
// difference a smooth bowl around the true shift) and Gaussian stars.
class Sky {
public:
    Sky()
    {
        std::mt19937 random(20261209);
        std::uniform_real_distribution<double> y(-15.0, kHeight + 15.0), x(-15.0, kWidth + 15.0);
        std::uniform_real_distribution<double> amplitude(40.0, 125.0), tint(0.7, 1.0);
        for (int i = 0; i < 60; ++i)
            mStars.push_back({y(random), x(random), amplitude(random), {tint(random), tint(random), tint(random)}});
    }
    // Brightness of channel c at sky position (y, x).
    double At(int c, double y, double x) const
    {
        const double background[3] = {35.0, 38.0, 42.0};
        const double gy = y - 55.0, gx = x - 80.0;
        double v = background[c] + 50.0 * std::exp(-(gy * gy + gx * gx) / (2.0 * 22.0 * 22.0));
        for (const Star& s : mStars) {
            const double dy = y - s.y, dx = x - s.x;
            const double r2 = dy * dy + dx * dx;
            if (r2 < 100.0)
                v += s.amplitude * s.colour[c] * std::exp(-r2 / (2.0 * 1.7 * 1.7));
        }
        return v;
    }

private:
    std::vector<Star> mStars;
};

// One frame as written to its file: 8-bit red, green and blue.
struct Picture {
    std::vector<uint8_t> rgb; // (y * kWidth + x) * 3 + c
    uint8_t At(int c, int y, int x) const { return rgb[(static_cast<std::size_t>(y) * kWidth + x) * 3 + c]; }
};

bool IsPoor(int frame)
{
    return frame == kPoorFrames[0] || frame == kPoorFrames[1];
}

// Frame i shows the sky moved by kShifts[i], with Gaussian noise, rounded.
Picture MakeFrame(const Sky& sky, int frame)
{
    std::mt19937 random(1000 + frame);
    std::normal_distribution<double> noise(0.0, IsPoor(frame) ? kPoorNoise : kGoodNoise);
    Picture p;
    p.rgb.resize(static_cast<std::size_t>(kWidth) * kHeight * 3);
    const Point s = kShifts[frame];
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            for (int c = 0; c < 3; ++c) {
                const double v = sky.At(c, y - s.v, x - s.h) + noise(random);
                p.rgb[(static_cast<std::size_t>(y) * kWidth + x) * 3 + c] =
                    static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
            }
    return p;
}

void WritePng(const Picture& p, const fs::path& file)
{
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            image.setPixel(x, y, qRgb(p.At(0, y, x), p.At(1, y, x), p.At(2, y, x)));
    ASSERT_TRUE(image.save(QString::fromStdString(file.string()), "PNG")) << file;
}

// The frame whose pixels the clip's original image holds, or -1.
int FrameOfClip(Frame& clip, const std::vector<Picture>& frames)
{
    FrameLease original = clip.GetOriginal();
    if (original->Width() != kWidth || original->Height() != kHeight)
        return -1;
    for (int f = 0; f < kFrameCount; ++f) {
        bool same = true;
        for (int y = 0; y < kHeight && same; ++y)
            for (int x = 0; x < kWidth && same; ++x) {
                const Argb p = GetPixel(*original, x, y);
                same = p.r == frames[f].At(0, y, x) && p.g == frames[f].At(1, y, x) && p.b == frames[f].At(2, y, x);
            }
        if (same)
            return f;
    }
    return -1;
}

// Standard deviation of values about their mean.
double Spread(const std::vector<double>& values)
{
    double mean = 0.0;
    for (double v : values)
        mean += v;
    mean /= static_cast<double>(values.size());
    double sum = 0.0;
    for (double v : values)
        sum += (v - mean) * (v - mean);
    return std::sqrt(sum / static_cast<double>(values.size() - 1));
}

// ---- Driving the program as a user does ----

class WholeSessionTest : public EngineFixture {
protected:
    void SetUp() override
    {
        GuiTestApp();
        EngineFixture::SetUp();
        StartShell({});
        mUser = std::make_unique<ScriptedInteraction>();
        // The mouse stands where the test puts it; the clips window is in front.
        PointerScript script;
        script.position = QPoint(-10, -10);
        script.front = gClipsWindow;
        SetPointerScriptForTesting(script);
        mFolder = ReferenceScratchDir() + "/session";
        fs::remove_all(mFolder);
        fs::create_directories(mFolder);
    }
    void TearDown() override
    {
        EXPECT_TRUE(RunJobToEnd());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        SetPointerScriptForTesting(std::nullopt);
        mUser.reset();
        EndShell();
        GetShellHooks() = ShellHooks{};
        EngineFixture::TearDown();
    }

    static bool RunJobToEnd()
    {
        QElapsedTimer timer;
        timer.start();
        while (IsJobActive()) {
            if (timer.elapsed() > kTimeoutMs)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
        }
        QCoreApplication::processEvents();
        return true;
    }

    // Chooses a menu item as the user does: only an enabled one.
    static void Choose(int menu, int item)
    {
        MenuModel& m = GetMenuModel();
        ASSERT_TRUE(m.IsMenuEnabled(menu)) << "menu " << menu;
        ASSERT_TRUE(m.IsItemEnabled(menu, item)) << "menu " << menu << " item " << item;
        ASSERT_TRUE(m.Trigger(menu, item));
    }

    static void SendKey(QEvent::Type type, int key, const QString& text)
    {
        QKeyEvent event(type, key, Qt::NoModifier, 0, 0, 0, text);
        gClipsWindow->winId();
        QApplication::sendEvent(gClipsWindow->windowHandle(), &event);
    }

    static void SendMouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButtons buttons)
    {
        QMouseEvent e(type, QPointF(at), QPointF(w->mapToGlobal(at)),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    }

    // Moves the mouse over a clip's slot in the clips window.
    static void HoverClip(int clip)
    {
        const Rect slot = FindClipRectFromFrameIndex(clip);
        ASSERT_GE(slot.left, 0) << "clip " << clip << " is not on the page";
        const QPoint centre((slot.left + slot.right) / 2, (slot.top + slot.bottom) / 2);
        PointerScriptForTesting()->position = centre;
        SendMouse(ContentCanvas(gClipsWindow), QEvent::MouseMove, centre, Qt::NoButton);
        ASSERT_EQ(gTempSelectionIndex, clip);
    }

    // A plain click on a clip.
    static void ClickClip(int clip)
    {
        HoverClip(clip);
        Canvas* canvas = ContentCanvas(gClipsWindow);
        const QPoint at = PointerScriptForTesting()->position;
        SendMouse(canvas, QEvent::MouseButtonPress, at, Qt::LeftButton);
        SendMouse(canvas, QEvent::MouseButtonRelease, at, Qt::NoButton);
    }

    // Drags from image point (top, left) to (bottom, right) in the frame
    // inspector, with the window's own scale.
    static void DragBoundsRect(Rect image)
    {
        Canvas* canvas = ContentCanvas(gFrameInspectorWindow);
        ASSERT_NE(canvas, nullptr);
        auto toWindow = [canvas](int y, int x) {
            return QPoint(x * canvas->width() / kWidth, y * canvas->height() / kHeight);
        };
        const QPoint from = toWindow(image.top, image.left), to = toWindow(image.bottom, image.right);
        QTimer::singleShot(0, [canvas, from, to] {
            SendMouse(canvas, QEvent::MouseMove, (from + to) / 2, Qt::LeftButton);
            SendMouse(canvas, QEvent::MouseMove, to, Qt::LeftButton);
            SendMouse(canvas, QEvent::MouseButtonRelease, to, Qt::NoButton);
        });
        SendMouse(canvas, QEvent::MouseButtonPress, from, Qt::LeftButton);
    }

    // The whole session; lowMemory has every new clip written to its
    // temporary files as it comes in, and the result must not change.
    void RunSession(bool lowMemory);

    std::unique_ptr<ScriptedInteraction> mUser;
    std::string mFolder;
    TemporaryPreferences mPrefs;
};

// The sums the stack must hold, from the pixels written: each included clip
// adds its pixel from sensor position (y - v, x - h) when that lies in the
// image; a pixel fewer clips covered is scaled up to N clips as
// trunc(s + s / k × (N - k)).
std::vector<double> ExpectedPlane(int c, const std::vector<const Picture*>& pictures, const std::vector<Point>& offsets)
{
    const int n = static_cast<int>(pictures.size());
    std::vector<double> plane(static_cast<std::size_t>(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            long s = 0;
            int k = 0;
            for (int i = 0; i < n; ++i) {
                const int sy = y - offsets[i].v, sx = x - offsets[i].h;
                if (sy < 0 || sy >= kHeight || sx < 0 || sx >= kWidth)
                    continue;
                s += pictures[i]->At(c, sy, sx);
                ++k;
            }
            double v = static_cast<double>(s);
            if (k > 0 && k < n)
                v = std::trunc(v + (v / k) * (n - k));
            plane[static_cast<std::size_t>(y) * kWidth + x] = v;
        }
    return plane;
}

void WholeSessionTest::RunSession(bool lowMemory)
{
    // The user's frames, written as PNG files.
    const Sky sky;
    std::vector<Picture> frames;
    std::vector<std::string> files;
    for (int f = 0; f < kFrameCount; ++f) {
        frames.push_back(MakeFrame(sky, f));
        files.push_back(mFolder + "/night-" + std::to_string(f) + ".png");
        WritePng(frames.back(), files.back());
    }

    // File > Open with the twelve files chosen: one clip each, in file order
    // (one worker), holding exactly the pixels written.
    if (lowMemory)
        SetFreeMemForTesting([] { return int64_t{10'000'000}; }); // below the 15,000,000 bytes kept free
    mUser->AnswerFileDialog(files);
    Choose(kFileMenu, 1);
    ASSERT_TRUE(RunJobToEnd());
    ASSERT_EQ(FrameCount(), kFrameCount);
    ASSERT_EQ(gImageDim, MakeRect(0, 0, kHeight, kWidth));
    if (lowMemory) {
        int onDisk = 0;
        for (int i = 0; i < kFrameCount; ++i)
            onDisk += !FrameAt(i)->InMemory();
        EXPECT_GE(onDisk, kFrameCount - 1);
        EXPECT_GT(TempFileCount(), 0);
    }
    for (int i = 0; i < kFrameCount; ++i)
        ASSERT_EQ(FrameOfClip(*FrameAt(i), frames), i) << "clip " << i;
    ASSERT_TRUE(gClipsWindow->isVisible());

    // Four worker threads for the rest of the session.
    Choose(kThreadsMenu, ThreadItemForCount(4));
    ASSERT_EQ(gNumThreads, 4);

    // Hover over clip 0 so the inspector shows it, then drag the bounds
    // rectangle over the middle of the picture.
    HoverClip(0);
    DragBoundsRect(MakeRect(24, 28, 94, 128));
    ASSERT_TRUE(OperationBoundsRectExists());
    EXPECT_NEAR(gOperationBoundsRect.left, 28, 2);
    EXPECT_NEAR(gOperationBoundsRect.top, 24, 2);
    EXPECT_NEAR(gOperationBoundsRect.right, 128, 2);
    EXPECT_NEAR(gOperationBoundsRect.bottom, 94, 2);

    // Edit > Select All Clips; hold '1' (the 9-pixel search) and click a clip.
    Choose(kEditMenu, 8);
    ASSERT_EQ(gPersistantSelectionIndices.size(), static_cast<std::size_t>(kFrameCount));
    SendKey(QEvent::KeyPress, Qt::Key_1, "1");
    ASSERT_EQ(gAutoAlignmentSearchSize, 0);
    ClickClip(5);
    ASSERT_TRUE(RunJobToEnd());
    SendKey(QEvent::KeyRelease, Qt::Key_1, "1");
    EXPECT_EQ(gAutoAlignmentSearchSize, -1);

    // Every shift recovered exactly, on all three channels: clip i moves by
    // the reference's shift minus its own.
    for (int i = 0; i < kFrameCount; ++i) {
        const Point want = MakePoint(kShifts[0].v - kShifts[i].v, kShifts[0].h - kShifts[i].h);
        for (int c = 1; c <= 3; ++c)
            EXPECT_EQ(FrameAt(i)->GetAlignment(c), want) << "clip " << i << " channel " << c;
    }

    // Operations > Sort Clips > By Difference from Clip 1: the reference
    // stays first and the two poor frames come last.
    Choose(kSortClipsMenu, 1);
    ASSERT_TRUE(RunJobToEnd());
    ASSERT_EQ(FrameCount(), kFrameCount);
    std::vector<int> order;
    for (int i = 0; i < kFrameCount; ++i) {
        EXPECT_EQ(FrameAt(i)->GetIndex(), i);
        order.push_back(FrameOfClip(*FrameAt(i), frames));
    }
    EXPECT_EQ(order[0], 0);
    EXPECT_TRUE(IsPoor(order[kFrameCount - 1]) && IsPoor(order[kFrameCount - 2]))
        << "last two: " << order[kFrameCount - 1] << ", " << order[kFrameCount - 2];
    for (int i = 1; i < kFrameCount; ++i)
        EXPECT_LE(FrameAt(i - 1)->GetScore(), FrameAt(i)->GetScore()) << "position " << i;
    std::vector<int> sorted = order;
    std::sort(sorted.begin(), sorted.end());
    for (int f = 0; f < kFrameCount; ++f)
        ASSERT_EQ(sorted[f], f);

    // A plain click on each of the last two leaves it out of the sum.
    ClickClip(kFrameCount - 1);
    ClickClip(kFrameCount - 2);
    for (int i = 0; i < kFrameCount; ++i)
        EXPECT_EQ(FrameAt(i)->GetSumStackIncluded(), i < kFrameCount - 2) << "clip " << i;

    // Operations > Stack.
    Choose(kOperationsMenu, 10);
    ASSERT_TRUE(HaveSummedStack());
    ASSERT_EQ(StackWidth(), kWidth);
    ASSERT_EQ(StackHeight(), kHeight);
    const int n = kFrameCount - 2;
    EXPECT_EQ(gNumFramesInStack, n);
    EXPECT_TRUE(gFrameStackWindow->isVisible());

    // File > Save Stack as FITS, base name typed, OK.
    Choose(kFileMenu, 8);
    ASSERT_NE(gSaveFITSInterface, nullptr);
    const std::string base = mFolder + "/M42";
    gSaveFITSInterface->control(kSaveFITSNameText).SetText(base);
    gSaveFITSInterface->Dispatch(DialogEvent(DialogEvent::controlHit, kDialogOK));
    EXPECT_EQ(gSaveFITSInterface, nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(mUser->AlertCount(), 0);
    EXPECT_EQ(mUser->BeepCount(), 0);

    // The included clips, with the offsets and pixels the test knows.
    std::vector<const Picture*> included;
    std::vector<Point> offsets;
    for (int i = 0; i < n; ++i) {
        const int f = order[i];
        included.push_back(&frames[f]);
        offsets.push_back(MakePoint(kShifts[0].v - kShifts[f].v, kShifts[0].h - kShifts[f].h));
    }
    // Pixels every included clip covers: no scaling-up there.
    int top = 0, bottom = kHeight, left = 0, right = kWidth;
    for (const Point& o : offsets) {
        top = std::max(top, static_cast<int>(o.v));
        bottom = std::min(bottom, kHeight + o.v);
        left = std::max(left, static_cast<int>(o.h));
        right = std::min(right, kWidth + o.h);
    }
    ASSERT_LT(top, bottom);
    ASSERT_LT(left, right);

    // One frame's noise: every good frame's pixels against the sky it shows.
    std::vector<double> frameResiduals;
    for (int f = 0; f < kFrameCount; ++f) {
        if (IsPoor(f))
            continue;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                for (int c = 0; c < 3; ++c)
                    frameResiduals.push_back(frames[f].At(c, y, x) - sky.At(c, y - kShifts[f].v, x - kShifts[f].h));
    }
    const double frameNoise = Spread(frameResiduals);
    EXPECT_NEAR(frameNoise, std::sqrt(kGoodNoise * kGoodNoise + 1.0 / 12.0), 0.1); // noise and rounding

    const char* const letters[3] = {"R", "G", "B"};
    const char* const channels[3] = {"red", "green", "blue"};
    std::vector<std::vector<double>> saved(3);
    std::vector<double> stackResiduals;
    for (int c = 0; c < 3; ++c) {
        const std::string path = base + "-" + letters[c] + ".fit";
        SCOPED_TRACE(path);
        const FITSDescription fits = DescribeFITS(path);
        ASSERT_TRUE(fits.ok) << fits.output;
        EXPECT_EQ(fits.keys.at("NAXIS"), "2");
        EXPECT_EQ(fits.keys.at("SHAPE"), std::to_string(kHeight) + "x" + std::to_string(kWidth));
        // Ten sums of 8-bit values stay below 65536: unsigned 16-bit samples.
        EXPECT_EQ(fits.keys.at("BITPIX"), "16");
        EXPECT_EQ(fits.keys.at("BZERO"), "32768");
        EXPECT_EQ(fits.keys.at("CREATAPP"), "Velmora");
        EXPECT_EQ(fits.keys.at("CHANNEL"), channels[c]);
        std::string report;
        EXPECT_TRUE(FitsverifyClean(path, &report)) << report;

        // Exactly the sums of the included clips' pixels at their offsets.
        const std::vector<double> want = ExpectedPlane(c, included, offsets);
        ASSERT_EQ(fits.data.size(), want.size());
        std::size_t wrong = 0, first = want.size();
        for (std::size_t k = 0; k < want.size(); ++k)
            if (fits.data[k] != want[k]) {
                ++wrong;
                first = std::min(first, k);
            }
        EXPECT_EQ(wrong, 0u) << "first at row " << first / kWidth << " column " << first % kWidth << ": "
                             << (first < want.size() ? fits.data[first] : 0.0) << " for "
                             << (first < want.size() ? want[first] : 0.0);
        saved[c] = fits.data;

        // The mean of the sums against the reference frame's noiseless sky.
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x)
                stackResiduals.push_back(fits.data[static_cast<std::size_t>(y) * kWidth + x] / n -
                                         sky.At(c, y - kShifts[0].v, x - kShifts[0].h));
    }
    const double stackNoise = Spread(stackResiduals);
    const double expected = frameNoise / std::sqrt(static_cast<double>(n));
    RecordProperty("stackedNoiseRatio", std::to_string(stackNoise / expected));
    EXPECT_NEAR(stackNoise / expected, 1.0, kNoiseTolerance)
        << "stacked noise " << stackNoise << ", one frame's " << frameNoise << ", N " << n;

    // Close the document, then File > Open FITS as Stack for each channel:
    // the planes come back as saved.
    gClipsWindow->close();
    ASSERT_EQ(FrameCount(), 0);
    ASSERT_FALSE(HaveSummedStack());
    for (int c = 0; c < 3; ++c) {
        Choose(kFileMenu, 4);
        ASSERT_NE(gOpenFITSToStackInterface, nullptr);
        gOpenFITSToStackInterface->control(kOpenFITSNameText).SetText(base + "-" + letters[c] + ".fit");
        gOpenFITSToStackInterface->control(kOpenFITSChannelPopup).SetValue(c + 1);
        gOpenFITSToStackInterface->Dispatch(DialogEvent(DialogEvent::controlHit, kDialogOK));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ASSERT_TRUE(HaveSummedStack());
    }
    ASSERT_EQ(StackWidth(), kWidth);
    ASSERT_EQ(StackHeight(), kHeight);
    const int32_t* planes[3] = {gRedStack.get(), gGreenStack.get(), gBlueStack.get()};
    for (int c = 0; c < 3; ++c) {
        std::vector<double> back(planes[c], planes[c] + static_cast<std::size_t>(kWidth) * kHeight);
        EXPECT_EQ(back, saved[c]) << letters[c];
    }
    EXPECT_EQ(mUser->AlertCount(), 0);
    EXPECT_EQ(mUser->BeepCount(), 0);
}

} // namespace

TEST_F(WholeSessionTest, ImportAlignSortStackSaveAsFITSAndReadBack)
{
    RunSession(false);
}

TEST_F(WholeSessionTest, TheSameSessionWithEveryClipSwappedToDisk)
{
    RunSession(true);
}
