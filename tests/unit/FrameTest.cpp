// tests/unit/FrameTest.cpp: the clip record: defaults, setters and the dirty
// flag, the render's fixed order of steps against a numpy model, the
// calibration rectangles, and renders from several threads at once.
#include "engine/Frame.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <mutex>
#include <new>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/Calibration.h"
#include "imaging/MedianFilter.h"
#include "imaging/Rotation.h"
#include "imaging/Transforms.h"
#include "engine/MemoryPolicy.h"
#include "tests/support/ScriptedInteraction.h"
#include "tests/unit/EngineFixture.h"

namespace {

// Render steps that record each call (name) and then run the real step.
class StepSpy {
public:
    StepSpy()
    {
        const FrameRenderSteps& real = DefaultFrameRenderSteps();
        mSteps.debayer = [this, &real](GWorldWrapper& i, BayerPattern p, DebayerMethod m) {
            Note("debayer");
            real.debayer(i, p, m);
        };
        mSteps.subtractDark = [this, &real](GWorldWrapper& i, const GWorldWrapper& d, bool l, const Rect* a,
                                            const Rect* b) {
            Note("dark");
            if (mThrowInDark)
                throw std::bad_alloc();
            real.subtractDark(i, d, l, a, b);
        };
        mSteps.divideFlat = [this, &real](GWorldWrapper& i, const GWorldWrapper& f, bool l, double k, const Rect* a,
                                          const Rect* b) {
            Note("flat");
            real.divideFlat(i, f, l, k, a, b);
        };
        mSteps.deinterlace = [this, &real](GWorldWrapper& i) {
            Note("deinterlace");
            real.deinterlace(i);
        };
        mSteps.rotateNearest = [this, &real](GWorldWrapper& i, double a) {
            Note("rotate");
            return real.rotateNearest(i, a);
        };
        mSteps.rotateBilinear = [this, &real](GWorldWrapper& i, double a) {
            Note("rotateBilinear");
            return real.rotateBilinear(i, a);
        };
        mSteps.translate = [this, &real](GWorldWrapper& i, Point r, Point g, Point b) {
            Note("translate");
            WaitAtLatch();
            real.translate(i, r, g, b);
        };
        mSteps.multiply = [this, &real](GWorldWrapper& i, double k) {
            Note("multiply");
            real.multiply(i, k);
        };
        mSteps.median = [this, &real](GWorldWrapper& i, int r, int t) {
            Note("median");
            real.median(i, r, t);
        };
        SetFrameRenderStepsForTesting(&mSteps);
    }
    ~StepSpy() { SetFrameRenderStepsForTesting(nullptr); }

    std::vector<std::string> Calls()
    {
        std::lock_guard<std::mutex> lock(mMutex);
        return mCalls;
    }
    int Count(const std::string& name)
    {
        std::lock_guard<std::mutex> lock(mMutex);
        return static_cast<int>(std::count(mCalls.begin(), mCalls.end(), name));
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mCalls.clear();
    }
    // The translate step blocks until Release() while the latch is closed.
    void CloseLatch()
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mLatchClosed = true;
        mInsideLatch = false;
    }
    void WaitUntilInsideLatch()
    {
        std::unique_lock<std::mutex> lock(mMutex);
        mChanged.wait(lock, [this] { return mInsideLatch; });
    }
    void Release()
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mLatchClosed = false;
        mChanged.notify_all();
    }
    std::atomic<bool> mThrowInDark{false};

private:
    void Note(const char* name)
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mCalls.push_back(name);
    }
    void WaitAtLatch()
    {
        std::unique_lock<std::mutex> lock(mMutex);
        if (!mLatchClosed)
            return;
        mInsideLatch = true;
        mChanged.notify_all();
        mChanged.wait(lock, [this] { return !mLatchClosed; });
    }

    FrameRenderSteps mSteps;
    std::mutex mMutex; // guards everything below
    std::condition_variable mChanged;
    std::vector<std::string> mCalls;
    bool mLatchClosed = false;
    bool mInsideLatch = false;
};

std::vector<uint8_t> RgbBytes(const GWorldWrapper& image)
{
    std::vector<uint8_t> v;
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x) {
            const Argb p = GetPixel(image, x, y);
            v.insert(v.end(), {p.r, p.g, p.b});
        }
    return v;
}

class FrameTest : public EngineFixture {};

} // namespace

TEST_F(FrameTest, NewClipHasTheDefaults)
{
    Frame* frame = AddClip(7, 5, 1);
    EXPECT_EQ(frame->GetIndex(), 0);
    EXPECT_EQ(frame->GetScore(), 0.0);
    EXPECT_TRUE(frame->IsDirty());
    EXPECT_FALSE(frame->IsUpdating());
    EXPECT_TRUE(frame->InMemory());
    EXPECT_EQ(frame->GetRotation(), 0);
    EXPECT_EQ(frame->GetNormalizationFactor(), 1.0);
    EXPECT_EQ(frame->GetMedianFilterRadius(), 1);
    EXPECT_EQ(frame->GetMedianFilterThreshold(), 0);
    EXPECT_TRUE(frame->GetSumStackIncluded());
    EXPECT_FALSE(frame->GetDarkFrameSubtracted());
    EXPECT_FALSE(frame->GetFlatFrameDivided());
    EXPECT_FALSE(frame->GetDebayerized());
    EXPECT_EQ(frame->GetBayerPattern(), 0);
    EXPECT_EQ(frame->GetDebayerMethod(), 1);
    EXPECT_FALSE(frame->GetInterpolateInterlace());
    EXPECT_EQ(frame->GetPowerSpectrum(), nullptr);
    for (int c = 1; c <= 3; ++c) {
        EXPECT_EQ(frame->GetAlignment(c), Point{});
        EXPECT_EQ(frame->GetSubRect(c), MakeRect(0, 0, 5, 7));
    }
    frame->InitPowerSpectrum(10);
    EXPECT_NE(frame->GetPowerSpectrum(), nullptr);
    frame->DestroyPowerSpectrum();
    EXPECT_EQ(frame->GetPowerSpectrum(), nullptr);
}

TEST_F(FrameTest, RotationIsKeptWithinOneTurn)
{
    const std::vector<int> inputs = {-1, 2500, 0, 999, 1000, -1000, -1001, INT_MIN, INT_MAX, 123456789};
    std::string args;
    for (int r : inputs)
        args += std::to_string(r) + " ";
    std::string out;
    ASSERT_TRUE(
        RunPython("import sys\nprint(' '.join(str(int(a) % 1000) for a in sys.argv[1].split()))\n", {args}, &out))
        << out;
    std::istringstream expected(out);
    Frame* frame = AddClip(2, 2, 1);
    for (int r : inputs) {
        int want = -1;
        expected >> want;
        frame->SetRotation(r);
        EXPECT_EQ(frame->GetRotation(), want) << r;
    }
    frame->SetRotation(-1);
    EXPECT_EQ(frame->GetRotation(), 999);
    frame->SetRotation(2500);
    EXPECT_EQ(frame->GetRotation(), 500);
}

TEST_F(FrameTest, OnlyIndexScoreAndInclusionLeaveTheClipClean)
{
    StepSpy spy;
    Frame* frame = AddClip(9, 4, 2);
    auto clean = [&] {
        EXPECT_TRUE(frame->UpdateFrame(false));
        ASSERT_FALSE(frame->IsDirty());
    };
    clean();
    frame->SetIndex(5);
    frame->SetScore(2.5);
    frame->SetSumStackIncluded(false);
    EXPECT_FALSE(frame->IsDirty());
    EXPECT_EQ(frame->GetIndex(), 5);
    EXPECT_EQ(frame->GetScore(), 2.5);
    EXPECT_FALSE(frame->GetSumStackIncluded());

    const std::vector<std::function<void()>> dirtying = {
        [&] { frame->SetAlignment(MakePoint(1, 2), 2); },
        [&] { frame->SetAlignment(MakePoint(7, 7), 4); }, // stores nothing, still dirties
        [&] { frame->SetRotation(3); },
        [&] { frame->SetNormalizationFactor(1.5); },
        [&] { frame->SetMedianFilter(2, 0); },
        [&] { frame->SetDarkFrameSubtracted(true); },
        [&] { frame->SetFlatFrameDivided(true); },
        [&] { frame->SetDebayer(2, 0); },
        [&] { frame->UnDebayer(); },
        [&] { frame->ToggleInterpolateInterlace(); },
        [&] { frame->SetSubRect(MakeRect(1, 1, 5, 10), 1); },
        [&] { ASSERT_TRUE(frame->SetModified(MakeImage(9, 4).release())); },
        [&] { ASSERT_TRUE(frame->SetOriginal(MakeImage(9, 4).release())); },
        [&] { ASSERT_TRUE(frame->ResizeModified(MakeRect(0, 0, 4, 9))); },
        [&] { frame->UpdateFrameMinimal(); },
        [&] { frame->UpdateFrameDebayerOnly(); },
    };
    for (std::size_t i = 0; i < dirtying.size(); ++i) {
        clean();
        dirtying[i]();
        EXPECT_TRUE(frame->IsDirty()) << "setter " << i;
    }
    EXPECT_EQ(frame->GetAlignment(2), MakePoint(1, 2));
    EXPECT_EQ(frame->GetAlignment(3), Point{});

    // A clean clip renders nothing without force, everything with it.
    clean();
    spy.Clear();
    EXPECT_TRUE(frame->UpdateFrame(false));
    EXPECT_TRUE(spy.Calls().empty());
    EXPECT_TRUE(frame->UpdateFrame(true));
    EXPECT_EQ(spy.Count("translate"), 1);
}

TEST_F(FrameTest, StepsRunInTheirFixedOrderAndNeutralOnesAreSkipped)
{
    StepSpy spy;
    gDarkFrame = MakeImage(12, 10);
    gFlatFrame = MakeImage(12, 10);
    gAverageFlatFieldValue = 200;
    Frame* frame = AddClip(12, 10, 3);
    frame->UpdateFrame(false);
    // Normalisation 1.0, median threshold 0, no debayer, calibration flags
    // off: only the rotation (at angle 0) and the shift run.
    EXPECT_EQ(spy.Calls(), (std::vector<std::string>{"rotate", "translate"}));

    frame->SetDebayer(1, 1);
    frame->SetDarkFrameSubtracted(true);
    frame->SetFlatFrameDivided(true);
    frame->ToggleInterpolateInterlace();
    frame->SetRotation(10);
    frame->SetAlignment(MakePoint(1, -1), 1);
    frame->SetNormalizationFactor(0.9);
    frame->SetMedianFilter(1, 30);
    spy.Clear();
    frame->UpdateFrame(false);
    EXPECT_EQ(spy.Calls(), (std::vector<std::string>{"debayer", "dark", "flat", "deinterlace", "rotate", "translate",
                                                     "multiply", "median"}));
    // The dark and flat steps are skipped when the frames are absent.
    gDarkFrame.reset();
    gFlatFrame.reset();
    gRotationMethod = 2;
    spy.Clear();
    frame->UpdateFrame(true);
    EXPECT_EQ(spy.Calls(), (std::vector<std::string>{"debayer", "deinterlace", "rotateBilinear", "translate",
                                                     "multiply", "median"}));
    gRotationMethod = 0;
    spy.Clear();
    frame->UpdateFrame(true);
    EXPECT_EQ(spy.Count("rotate") + spy.Count("rotateBilinear"), 0);
}

TEST_F(FrameTest, ConstrainRectsTrimsPairsAndReportsMisses)
{
    const Rect bounds = MakeRect(0, 0, 20, 30);
    struct Case {
        Rect calibration;
        Rect wantImage, wantCalibration;
    };
    const Case cases[] = {
        // Inside: unchanged.
        {MakeRect(2, 3, 12, 13), MakeRect(0, 0, 10, 10), MakeRect(2, 3, 12, 13)},
        // Negative left and top.
        {MakeRect(-3, -4, 7, 6), MakeRect(3, 4, 10, 10), MakeRect(0, 0, 7, 6)},
        // Right and bottom past the frame.
        {MakeRect(15, 25, 25, 35), MakeRect(0, 0, 5, 5), MakeRect(15, 25, 20, 30)},
        // A full miss to the right: width below zero.
        {MakeRect(0, 40, 10, 50), MakeRect(0, 0, 10, -10), MakeRect(0, 40, 10, 30)},
        // A full miss above.
        {MakeRect(-15, 0, -5, 10), MakeRect(15, 0, 10, 10), MakeRect(0, 0, -5, 10)},
    };
    for (const Case& c : cases) {
        Rect image = MakeRect(0, 0, 10, 10), calibration = c.calibration;
        Frame::ConstrainRects(image, calibration, bounds);
        EXPECT_EQ(image, c.wantImage);
        EXPECT_EQ(calibration, c.wantCalibration);
        if (!image.IsEmpty()) {
            EXPECT_EQ(image.Width(), calibration.Width());
            EXPECT_EQ(image.Height(), calibration.Height());
        }
    }
}

TEST_F(FrameTest, ChannelMissingTheDarkFrameIsLeftUnchanged)
{
    gDarkFrame = MakeImage(8, 6);
    FillFlat(*gDarkFrame, 10, 10, 10);
    Frame* frame = AddClip(8, 6, 4);
    auto original = MakeImage(8, 6);
    *original = *frame->GetOriginal();
    frame->SetDarkFrameSubtracted(true);
    frame->SetSubRect(MakeRect(0, 100, 6, 108), 1); // red misses the dark frame entirely
    frame->UpdateFrame(false);
    FrameLease modified = frame->GetModified(false);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) {
            const Argb a = GetPixel(*original, x, y), b = GetPixel(*modified, x, y);
            EXPECT_EQ(b.r, a.r);
            EXPECT_EQ(b.g, a.g >= 10 ? a.g - 10 : 0);
        }
}

TEST_F(FrameTest, RenderMatchesAnIndependentModel)
{
    const int w = 37, h = 23;
    gImageDim = MakeRect(0, 0, h, w);
    gDarkFrame = MakeImage(w, h);
    FillNoise(*gDarkFrame, 100);
    gFlatFrame = MakeImage(w, h);
    FillNoise(*gFlatFrame, 101);
    for (int y = 0; y < h; ++y) // a few zero flat components: 0/0 and a/0 cases
        SetPixel(*gFlatFrame, y, y, Argb{0xFF, 0, 0, 0});
    gAverageFlatFieldValue = 131.375;
    Frame* frame = AddClip(w, h, 102);
    frame->SetDarkFrameSubtracted(true);
    frame->SetFlatFrameDivided(true);
    frame->SetSubRect(MakeRect(-3, 5, h - 3, w + 5), 1);
    frame->SetSubRect(MakeRect(5, -3, h + 5, w - 3), 2);
    frame->SetSubRect(MakeRect(2, 1, h + 2, w + 1), 3);
    frame->SetAlignment(MakePoint(2, -3), 1);
    frame->SetAlignment(MakePoint(-1, 4), 2);
    frame->SetAlignment(MakePoint(0, 0), 3);
    frame->SetNormalizationFactor(1.7);
    ASSERT_TRUE(frame->UpdateFrame(false));
    FrameLease modified = frame->GetModified(false);

    const std::string dir = ReferenceScratchDir();
    WriteBytes(dir + "/image", RgbBytes(*frame->GetOriginal()));
    WriteBytes(dir + "/dark", RgbBytes(*gDarkFrame));
    WriteBytes(dir + "/flat", RgbBytes(*gFlatFrame));
    const char* model = R"(
import sys, numpy as np
d, w, h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
img = np.fromfile(d + '/image', np.uint8).reshape(h, w, 3).astype(np.int64)
dark = np.fromfile(d + '/dark', np.uint8).reshape(h, w, 3).astype(np.int64)
flat = np.fromfile(d + '/flat', np.uint8).reshape(h, w, 3).astype(np.float64)
sub = [(-3, 5, h - 3, w + 5), (5, -3, h + 5, w - 3), (2, 1, h + 2, w + 1)]
shift = [(2, -3), (-1, 4), (0, 0)]
factor, norm = 131.375, 1.7
def pairs(t, l, b, r):
    it, il, ib, ir = 0, 0, h, w
    if l < 0: il, l = -l, 0
    if r > w: ir, r = ir - (r - w), w
    if t < 0: it, t = -t, 0
    if b > h: ib, b = ib - (b - h), h
    return (it, il, ib, ir), (t, l, b, r)
out = img.copy()
for c in range(3):
    (it, il, ib, ir), (t, l, b, r) = pairs(*sub[c])
    if ib > it and ir > il:
        a = out[it:ib, il:ir, c]; k = dark[t:b, l:r, c]
        out[it:ib, il:ir, c] = np.where(a >= k, a - k, 0)
for c in range(3):
    (it, il, ib, ir), (t, l, b, r) = pairs(*sub[c])
    if ib > it and ir > il:
        a = out[it:ib, il:ir, c].astype(np.float64); f = flat[t:b, l:r, c]
        with np.errstate(divide='ignore', invalid='ignore'):
            v = a / f * factor
        v = np.where(np.isnan(v) | (v < 0), 0, np.where(v > 255, 255, np.trunc(np.nan_to_num(v, posinf=255))))
        out[it:ib, il:ir, c] = v.astype(np.int64)
moved = np.zeros_like(out)
for c in range(3):
    v, hh = shift[c]
    for y in range(h):
        for x in range(w):
            sy, sx = y - v, x - hh
            if 0 <= sy < h and 0 <= sx < w:
                moved[y, x, c] = out[sy, sx, c]
res = np.minimum(np.trunc(moved * norm), 255).astype(np.uint8)
res.tofile(d + '/expected')
)";
    std::string out;
    ASSERT_TRUE(RunPython(model, {dir, std::to_string(w), std::to_string(h)}, &out)) << out;
    EXPECT_TRUE(RgbBytes(*modified) == ReadBytes(dir + "/expected"));
}

TEST_F(FrameTest, RotationAndMedianFollowInOrderAndOrderMatters)
{
    const int w = 37, h = 23;
    gDarkFrame = MakeImage(w, h);
    FillNoise(*gDarkFrame, 200);
    Frame* frame = AddClip(w, h, 201);
    frame->SetDarkFrameSubtracted(true);
    frame->SetRotation(37);
    frame->SetAlignment(MakePoint(1, 2), 1);
    frame->SetAlignment(MakePoint(-2, 0), 3);
    frame->SetNormalizationFactor(1.3);
    frame->SetMedianFilter(1, 120);
    ASSERT_TRUE(frame->UpdateFrame(false));
    const std::vector<uint8_t> rendered = RgbBytes(*frame->GetModified(false));

    // The same primitives called directly, in the render's order, and with
    // each pair of neighbouring steps swapped.
    const Rect full = MakeRect(0, 0, h, w);
    using Step = std::function<void(GWorldWrapper&)>;
    const std::vector<Step> steps = {
        [&](GWorldWrapper& i) { SubtractImage(i, *gDarkFrame, true, true, full, full, full, full, full, full); },
        [&](GWorldWrapper& i) { ASSERT_TRUE(RotateImageNearestNeighbor(i, 37 * kRotationIncrementRads)); },
        [&](GWorldWrapper& i) { TranslateImage(i, MakePoint(1, 2), Point{}, MakePoint(-2, 0)); },
        [&](GWorldWrapper& i) { MultiplyImage(i, 1.3); },
        [&](GWorldWrapper& i) { MedianFilterImage(i, 1, 120); },
    };
    auto run = [&](std::vector<Step> order) {
        auto image = MakeImage(w, h);
        *image = *frame->GetOriginal();
        for (const Step& s : order)
            s(*image);
        return RgbBytes(*image);
    };
    EXPECT_TRUE(run(steps) == rendered);
    for (std::size_t i = 0; i + 1 < steps.size(); ++i) {
        // The shift (uncovered pixels 0) and the normalisation (0 stays 0)
        // commute exactly; their order is checked by the call sequence above.
        if (i == 2)
            continue;
        std::vector<Step> swapped = steps;
        std::swap(swapped[i], swapped[i + 1]);
        EXPECT_FALSE(run(swapped) == rendered) << "steps " << i << " and " << i + 1 << " commute";
    }
}

TEST_F(FrameTest, ThumbnailShowsTheWholeRenderedImage)
{
    Frame* frame = AddClip(256, 192, 5);
    frame->SetNormalizationFactor(0.5);
    ASSERT_TRUE(frame->UpdateFrame(false));
    auto thumb = MakeImage(128, 96);
    frame->DrawClipImage(MakeRect(0, 0, 96, 128), thumb.get());
    FrameLease modified = frame->GetModified(false);
    for (int y = 0; y < 96; y += 7)
        for (int x = 0; x < 128; x += 5) {
            const Argb t = GetPixel(*thumb, x, y), m = GetPixel(*modified, 2 * x, 2 * y);
            EXPECT_EQ(t.r, m.r);
            EXPECT_EQ(t.b, m.b);
        }
}

TEST_F(FrameTest, FourThreadsAskingForOneDirtyClipSeeOneRender)
{
    StepSpy spy;
    Frame* frame = AddClip(64, 48, 6);
    frame->SetNormalizationFactor(0.5);
    std::vector<std::vector<uint8_t>> seen(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            FrameLease lease = frame->GetModified(true);
            if (lease)
                seen[t] = RgbBytes(*lease);
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(spy.Count("translate"), 1);
    auto expected = MakeImage(64, 48);
    *expected = *frame->GetOriginal();
    MultiplyImage(*expected, 0.5);
    for (const auto& bytes : seen)
        EXPECT_TRUE(bytes == RgbBytes(*expected));
}

TEST_F(FrameTest, MainThreadNeverWaitsForAWorkersRender)
{
    StepSpy spy;
    Frame* frame = AddClip(40, 30, 7);
    ASSERT_TRUE(frame->UpdateFrame(false)); // a thumbnail to show
    auto before = MakeImage(40, 30);
    frame->DrawClipImage(MakeRect(0, 0, 30, 40), before.get());
    frame->SetNormalizationFactor(0.25);
    spy.CloseLatch();
    std::thread worker([&] { frame->UpdateFrame(false); });
    spy.WaitUntilInsideLatch();

    // The main thread: no render, no lease, no display read; the thumbnail draws.
    EXPECT_TRUE(frame->IsUpdating());
    EXPECT_FALSE(frame->UpdateFrame(true));
    EXPECT_FALSE(frame->GetModified(false));
    EXPECT_FALSE(frame->WithModifiedForDisplay([](const GWorldWrapper&) {}));
    auto drawn = MakeImage(40, 30);
    frame->DrawClipImage(MakeRect(0, 0, 30, 40), drawn.get());
    EXPECT_TRUE(SamePixels(*drawn, *before));
    // A setter during the render is kept: the clip stays dirty.
    frame->SetNormalizationFactor(0.5);
    spy.Release();
    worker.join();
    EXPECT_TRUE(frame->IsDirty());
    EXPECT_FALSE(frame->IsUpdating());
    ASSERT_TRUE(frame->UpdateFrame(false));
    EXPECT_FALSE(frame->IsDirty());
    auto expected = MakeImage(40, 30);
    *expected = *frame->GetOriginal();
    MultiplyImage(*expected, 0.5);
    EXPECT_TRUE(SamePixels(*frame->GetModified(false), *expected));
    EXPECT_TRUE(frame->WithModifiedForDisplay([](const GWorldWrapper&) {}));
}

TEST_F(FrameTest, OutOfMemoryInAStepWakesWaitersAndReachesTheCaller)
{
    StepSpy spy;
    gDarkFrame = MakeImage(16, 16);
    Frame* frame = AddClip(16, 16, 8);
    frame->SetDarkFrameSubtracted(true);
    spy.mThrowInDark = true;
    std::atomic<int> thrown{0}, empty{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t)
        threads.emplace_back([&] {
            try {
                if (!frame->GetModified(true))
                    ++empty;
            } catch (const std::bad_alloc&) {
                ++thrown;
            }
        });
    for (auto& thread : threads)
        thread.join();
    // Every thread tried the render in turn and saw the failure; none hung.
    EXPECT_EQ(thrown.load(), 3);
    EXPECT_TRUE(frame->IsDirty());
    EXPECT_FALSE(frame->IsUpdating());
    spy.mThrowInDark = false;
    EXPECT_TRUE(frame->UpdateFrame(false));
    EXPECT_FALSE(frame->IsDirty());
}

TEST_F(FrameTest, DebayerOnTwoThreadsMatchesOneThread)
{
    Frame* a = AddClip(64, 48, 9);
    Frame* b = AddClip(33, 17, 10);
    a->SetDebayer(1, 2);
    b->SetDebayer(3, 1);
    ASSERT_TRUE(a->UpdateFrame(false));
    ASSERT_TRUE(b->UpdateFrame(false));
    const auto aBytes = RgbBytes(*a->GetModified(false)), bBytes = RgbBytes(*b->GetModified(false));
    for (int round = 0; round < 5; ++round) {
        std::thread worker([&] {
            SetThisThreadIndex(0);
            b->UpdateFrame(true);
            SetThisThreadIndex(kNoThreadSlot);
        });
        a->UpdateFrame(true); // the main thread at the same time
        worker.join();
        EXPECT_TRUE(RgbBytes(*a->GetModified(false)) == aBytes);
        EXPECT_TRUE(RgbBytes(*b->GetModified(false)) == bBytes);
    }
}

TEST_F(FrameTest, ReplacingAnImageOfABusyClipFailsAndFreesIt)
{
    StepSpy spy;
    Frame* frame = AddClip(20, 10, 11);
    spy.CloseLatch();
    std::thread worker([&] { frame->UpdateFrame(false); });
    spy.WaitUntilInsideLatch();
    // On the main thread the replacement is refused; the image passed in is
    // deleted (LeakSanitizer would report it otherwise).
    EXPECT_FALSE(frame->SetModified(MakeImage(20, 10).release()));
    spy.Release();
    worker.join();
    EXPECT_EQ(frame->GetModified(false)->Width(), 20);
}

TEST_F(FrameTest, SwapOutSkipsClipsBeingRenderedOrSwapped)
{
    StepSpy spy;
    for (int i = 0; i < 4; ++i)
        AddClip(24, 16, static_cast<uint32_t>(30 + i));
    spy.CloseLatch();
    std::thread worker([&] { gFrames[1]->UpdateFrame(false); });
    spy.WaitUntilInsideLatch();
    // Clip 1 is being rendered: the first free clip after it goes.
    EXPECT_TRUE(SendAFrameToATempDiskFile());
    EXPECT_TRUE(gFrames[1]->InMemory());
    EXPECT_FALSE(gFrames[2]->InMemory());
    // A clip on disk cannot be swapped out again.
    EXPECT_FALSE(gFrames[2]->SendToTempDiskFile());
    EXPECT_TRUE(SendAFrameToATempDiskFile());
    EXPECT_FALSE(gFrames[3]->InMemory());
    EXPECT_FALSE(SendAFrameToATempDiskFile()); // only clip 0 and the rendering clip 1 are left
    spy.Release();
    worker.join();
    EXPECT_FALSE(gFrames[1]->IsDirty());
    EXPECT_TRUE(SendAFrameToATempDiskFile());
    EXPECT_FALSE(gFrames[1]->InMemory());
}

TEST_F(FrameTest, ARotationOutOfMemoryRendersUnrotatedAndStaysDirty)
{
    FrameRenderSteps failing = DefaultFrameRenderSteps();
    failing.rotateNearest = [](GWorldWrapper&, double) { return false; }; // as after its alert
    SetFrameRenderStepsForTesting(&failing);
    Frame* frame = AddClip(12, 8, 12);
    frame->SetRotation(100);
    frame->SetNormalizationFactor(0.5);
    EXPECT_TRUE(frame->UpdateFrame(false));
    EXPECT_TRUE(frame->IsDirty());
    auto expected = MakeImage(12, 8);
    *expected = *frame->GetOriginal();
    MultiplyImage(*expected, 0.5);
    EXPECT_TRUE(SamePixels(*frame->GetModified(false), *expected));
    SetFrameRenderStepsForTesting(nullptr);
    EXPECT_TRUE(frame->UpdateFrame(false));
    EXPECT_FALSE(frame->IsDirty());
}
