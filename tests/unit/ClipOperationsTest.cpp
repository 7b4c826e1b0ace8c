// tests/unit/ClipOperationsTest.cpp: sorting by each score, the spectrum
// sort's measuring job, resample and crop (sizes, bakes, the mask, failed
// clips), deleting clips and choosing the reference clip.
#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include <gtest/gtest.h>

#include "app/Commands.h"
#include "shell/DialogPointers.h"
#include "engine/ClipListEdits.h"
#include "engine/ClipOperationCommands.h"
#include "engine/ClipResizing.h"
#include "engine/ClipSorting.h"
#include "engine/ClipsWindowLayout.h"
#include "engine/FrameRenderSteps.h"
#include "engine/SummedStack.h"
#include "files/CalibrationFrameFiles.h"
#include "platform/core/FreeMemory.h"
#include "platform/core/StandardAlerts.h"
#include "tests/unit/ClipJobFixture.h"

namespace {

class ClipOperationsTest : public ClipJobFixture {
protected:
    void TearDown() override
    {
        SetSortBySpectrumDialogFactory(nullptr);
        SetFrameRenderStepsForTesting(nullptr);
        gSortBySpectrumInterface = nullptr;
        ClipJobFixture::TearDown();
    }

    // A clip of width × height whose image is built by fill; tag is kept in
    // its score field until a sort overwrites it, to follow clips around.
    Frame* Add(int width, int height, const std::function<void(GWorldWrapper&)>& fill)
    {
        auto original = MakeImage(width, height);
        fill(*original);
        auto modified = MakeImage(width, height);
        *modified = *original;
        gImageDim = MakeRect(0, 0, height, width);
        gFrames.push_back(
            std::make_unique<Frame>(static_cast<int>(gFrames.size()), original.release(), modified.release()));
        return gFrames.back().get();
    }
    Frame* AddFlat(int width, int height, uint8_t value)
    {
        return Add(width, height, [value](GWorldWrapper& i) { FillFlat(i, value, value, value); });
    }
    std::vector<Frame*> Order() const
    {
        std::vector<Frame*> v;
        for (auto& f : gFrames)
            v.push_back(f.get());
        return v;
    }
    void ExpectIndicesArePositions() const
    {
        for (std::size_t i = 0; i < gFrames.size(); ++i)
            EXPECT_EQ(gFrames[i]->GetIndex(), static_cast<int>(i));
    }
    void ExpectEveryClipAt(int width, int height)
    {
        for (auto& f : gFrames) {
            FrameLease o = f->GetOriginal();
            FrameLease m = f->GetModified(true);
            ASSERT_TRUE(o && m);
            EXPECT_EQ(o->Width(), width);
            EXPECT_EQ(o->Height(), height);
            EXPECT_EQ(m->Width(), width);
            EXPECT_EQ(m->Height(), height);
        }
        EXPECT_EQ(gImageDim, MakeRect(0, 0, height, width));
        for (auto& scratch : gTempGWs) {
            EXPECT_EQ(scratch->Width(), width);
            EXPECT_EQ(scratch->Height(), height);
        }
    }
    void RunCommand(const std::function<void()>& command)
    {
        command();
        ASSERT_TRUE(IsJobActive());
        RunJobToEnd();
    }
    std::vector<std::unique_ptr<GWorldWrapper>> Renders()
    {
        std::vector<std::unique_ptr<GWorldWrapper>> out;
        for (auto& f : gFrames) {
            FrameLease m = f->GetModified(true);
            auto copy = MakeImage(m->Width(), m->Height());
            *copy = *m;
            out.push_back(std::move(copy));
        }
        return out;
    }
};

// ---------------------------------------------------------------- sorting

TEST_F(ClipOperationsTest, SortItemsAndBins)
{
    EXPECT_EQ(SortMethodForItem(1), kSortByDifference);
    EXPECT_EQ(SortMethodForItem(6), kSortByValue);
    EXPECT_EQ(SortMethodForItem(12), kSortByValueRange);
    EXPECT_EQ(SortMethodForItem(18), kSortBySpectrum);
    EXPECT_EQ(SortMethodForItem(2), -1);
    // Side s has right = left + s - 1: trunc(((s - 1) / 2) × 1.5).
    EXPECT_EQ(SpectrumBinsForBounds(10, 10 + 31), 22);
    EXPECT_EQ(SpectrumBinsForBounds(0, 63), 46);
    EXPECT_EQ(SpectrumBinsForBounds(5, 5 + 127), 94);
    EXPECT_EQ(SpectrumBinsForBounds(0, 255), 190);
}

TEST_F(ClipOperationsTest, SortByValueIsDescending)
{
    Frame* a = AddFlat(20, 10, 50);
    Frame* b = AddFlat(20, 10, 200);
    Frame* c = AddFlat(20, 10, 100);
    Frame* d = AddFlat(20, 10, 10);
    Frame* e = AddFlat(20, 10, 100); // a duplicate score
    gOperationBoundsRect = MakeRect(2, 3, 8, 17);
    RunCommand([] { SortClips(6); });
    const std::vector<Frame*> order = Order();
    EXPECT_EQ(order[0], b);
    EXPECT_TRUE((order[1] == c && order[2] == e) || (order[1] == e && order[2] == c));
    EXPECT_EQ(order[3], a);
    EXPECT_EQ(order[4], d);
    ExpectIndicesArePositions();
    EXPECT_DOUBLE_EQ(b->GetScore(), 200.0 / 255.0);
    EXPECT_TRUE(gPersistantSelectionIndices.empty());
    EXPECT_EQ(gNumThreads, 4);
}

TEST_F(ClipOperationsTest, SortByValueRangeIsDescending)
{
    auto ranged = [](int lo, int hi) {
        return [lo, hi](GWorldWrapper& i) {
            FillFlat(i, static_cast<uint8_t>(lo), static_cast<uint8_t>(lo), static_cast<uint8_t>(lo));
            SetPixel(i, 5, 5, Argb{0xFF, static_cast<uint8_t>(hi), 0, 0});
        };
    };
    Frame* narrow = Add(16, 12, ranged(100, 110));
    Frame* wide = Add(16, 12, ranged(0, 250));
    Frame* middle = Add(16, 12, ranged(50, 150));
    gOperationBoundsRect = MakeRect(0, 0, 12, 16);
    RunCommand([] { SortClips(12); });
    EXPECT_EQ(Order(), (std::vector<Frame*>{wide, middle, narrow}));
    EXPECT_DOUBLE_EQ(wide->GetScore(), 251.0 / 256.0);
    ExpectIndicesArePositions();
}

TEST_F(ClipOperationsTest, SortByDifferenceIsAscendingWithTheReferenceFirst)
{
    auto noisy = [](int amplitude) {
        return [amplitude](GWorldWrapper& i) {
            FillFlat(i, 100, 100, 100);
            for (int y = 0; y < i.Height(); ++y)
                for (int x = 0; x < i.Width(); ++x)
                    if ((x + y) % 2)
                        SetPixel(i, x, y, Argb{0xFF, static_cast<uint8_t>(100 + amplitude), 100, 100});
        };
    };
    Frame* ref = Add(18, 14, noisy(0));
    Frame* worst = Add(18, 14, noisy(90));
    Frame* best = Add(18, 14, noisy(5));
    Frame* mid = Add(18, 14, noisy(40));
    gOperationBoundsRect = MakeRect(1, 1, 13, 17);
    gNumThreads = 3;
    RunCommand([] { SortClips(1); });
    EXPECT_EQ(Order(), (std::vector<Frame*>{ref, best, mid, worst}));
    EXPECT_EQ(ref->GetScore(), 0.0);
    ExpectIndicesArePositions();
    EXPECT_EQ(gNumThreads, 3);
}

TEST_F(ClipOperationsTest, SortRefusals)
{
    AddFlat(20, 10, 50);
    AddFlat(20, 10, 60);
    SortClips(6);
    EXPECT_FALSE(IsJobActive());
    ASSERT_EQ(mUser.AlertCount(), 1);
    EXPECT_EQ(mUser.Alerts()[0].request.title, "Illegal Operation Bounds Rect");
    EXPECT_EQ(mUser.Alerts()[0].request.message, "Please define an Operation Bounds Rect first.");
    // A straight drag: no width.
    gOperationBoundsRect = MakeRect(2, 5, 8, 5);
    SortClips(6);
    EXPECT_FALSE(IsJobActive());
    EXPECT_EQ(mUser.BeepCount(), 2); // the alert's own beep, then the plain one
    EXPECT_EQ(mUser.AlertCount(), 1);
    // An open spectrum dialog blocks every clip change.
    gOperationBoundsRect = MakeRect(2, 3, 8, 17);
    gSortBySpectrumInterface = reinterpret_cast<SortBySpectrumInterface*>(&mUser);
    SortClips(6);
    DeleteFrames();
    SetReferenceFrame();
    EXPECT_FALSE(IsJobActive());
    EXPECT_EQ(mUser.BeepCount(), 5);
    EXPECT_EQ(mUser.AlertCount(), 1);
    EXPECT_EQ(gFrames.size(), 2u);
}

TEST_F(ClipOperationsTest, SpectrumSortMeasuresEveryClipWithOneThread)
{
    for (int side : {32, 64, 128, 256}) {
        gFrames.clear();
        for (uint32_t seed = 1; seed <= 3; ++seed)
            Add(260, 259, [seed](GWorldWrapper& i) { FillNoise(i, seed); });
        gFrames[1]->SetSumStackIncluded(false);
        gOperationBoundsRect = MakeRect(1, 2, 1 + side - 1, 2 + side - 1);
        int openedWith = -1, threadsAtDialog = -1;
        SetSortBySpectrumDialogFactory([&](int bins) {
            openedWith = bins;
            threadsAtDialog = gNumThreads;
        });
        gNumThreads = 4;
        SortClips(18);
        ASSERT_TRUE(IsJobActive());
        EXPECT_EQ(gNumThreads, 1);
        RunJobToEnd();
        const int bins = SpectrumBinsForBounds(2, 2 + side - 1);
        EXPECT_EQ(openedWith, bins);
        EXPECT_EQ(threadsAtDialog, 4);
        EXPECT_EQ(gNumThreads, 4);
        for (auto& f : gFrames) {
            ASSERT_NE(f->GetPowerSpectrum(), nullptr);
            EXPECT_GT(f->GetPowerSpectrum()[0], 0.0);
            EXPECT_TRUE(f->GetSumStackIncluded());
        }
    }
    EXPECT_EQ(SpectrumBinsForBounds(0, 63), 46);
}

TEST_F(ClipOperationsTest, NewSpectraStartAtZero)
{
    Frame* f = AddFlat(8, 8, 1);
    f->InitPowerSpectrum(190);
    ASSERT_NE(f->GetPowerSpectrum(), nullptr);
    EXPECT_EQ(std::count(f->GetPowerSpectrum(), f->GetPowerSpectrum() + 190, 0.0), 190);
}

TEST_F(ClipOperationsTest, SpectrumSortRefusalsLeaveTheThreads)
{
    for (int i = 0; i < 2; ++i)
        Add(100, 80, [i](GWorldWrapper& img) { FillNoise(img, static_cast<uint32_t>(i + 1)); });
    gNumThreads = 4;
    gOperationBoundsRect = MakeRect(0, 0, 31, 63); // 64 × 32
    SortClips(18);
    EXPECT_FALSE(IsJobActive());
    EXPECT_EQ(gNumThreads, 4);
    ASSERT_EQ(mUser.AlertCount(), 1);
    EXPECT_EQ(mUser.Alerts()[0].request.message,
              "Sorting by power spectrum requires a Power-of-2 Operation Bounds Rect.");
    // A square whose right edge is the image's: its last column is outside.
    gOperationBoundsRect = MakeRect(0, 37, 63, 100);
    SortClips(18);
    EXPECT_FALSE(IsJobActive());
    EXPECT_EQ(gNumThreads, 4);
    EXPECT_EQ(mUser.AlertCount(), 1);
    EXPECT_EQ(mUser.BeepCount(), 2); // the alert's own beep, then the plain one
}

class StoppedWindow final : public JobProgressWindow {
public:
    std::shared_ptr<const std::atomic<int>> Status() const override { return mStatus; }
    void Step() override {}

private:
    std::shared_ptr<std::atomic<int>> mStatus = std::make_shared<std::atomic<int>>(2);
};

TEST_F(ClipOperationsTest, SpectrumSortCancelledOrWithoutDialogFreesTheSpectra)
{
    for (int i = 0; i < 3; ++i)
        Add(70, 70, [i](GWorldWrapper& img) { FillNoise(img, static_cast<uint32_t>(i + 1)); });
    gOperationBoundsRect = MakeRect(0, 0, 63, 63);
    int opened = 0;
    SetSortBySpectrumDialogFactory([&](int) { ++opened; });
    GetJobHooks().openProgressWindow = [](int) { return std::make_unique<StoppedWindow>(); };
    RunCommand([] { SortClips(18); });
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(gNumThreads, 4);
    for (auto& f : gFrames)
        EXPECT_EQ(f->GetPowerSpectrum(), nullptr);

    // A dialog that cannot be made: the alert, no spectra left.
    GetJobHooks().openProgressWindow = nullptr;
    SetSortBySpectrumDialogFactory([](int) { throw std::bad_alloc(); });
    RunCommand([] { SortClips(18); });
    EXPECT_EQ(mUser.AlertCount(), 1);
    EXPECT_EQ(gNumThreads, 4);
    for (auto& f : gFrames)
        EXPECT_EQ(f->GetPowerSpectrum(), nullptr);
}

// ---------------------------------------------------------------- resample

TEST_F(ClipOperationsTest, ResampledSizes)
{
    int w = 0, h = 0;
    ASSERT_TRUE(ResampledSize(kResampleMethodNearest, 0.5, 101, 75, w, h));
    EXPECT_EQ(w, 50);
    EXPECT_EQ(h, 37);
    ASSERT_TRUE(ResampledSize(kResampleMethodBinning, 3.0, 101, 75, w, h));
    EXPECT_EQ(w, 50);
    EXPECT_EQ(h, 37);
    EXPECT_FALSE(ResampledSize(kResampleMethodBicubic, 0.25, 7, 100, w, h)); // 1 wide
    EXPECT_FALSE(ResampledSize(kResampleMethodBinning, 0.5, 3, 100, w, h));
    EXPECT_FALSE(ResampledSize(kResampleMethodNearest, 4.0, 9000, 10, w, h));
    EXPECT_FALSE(ResampledSize(kResampleMethodNearest, std::nan(""), 100, 100, w, h));
}

TEST_F(ClipOperationsTest, ResampleHalvesClipsCalibrationAndMask)
{
    for (uint32_t seed = 1; seed <= 5; ++seed)
        Add(101, 75, [seed](GWorldWrapper& i) { FillNoise(i, seed); });
    gDarkFrame = MakeImage(101, 75);
    FillFlat(*gDarkFrame, 4, 4, 4);
    gFlatFrame = MakeImage(101, 75);
    FillFlat(*gFlatFrame, 30, 60, 90);
    gHotPixelMask.Reset(101, 75);
    gHotPixelMask.pixels[500] = 1;
    CreateTempGWWs(4);
    int withoutCancel = 0;
    GetJobHooks().openProgressWindowWithoutCancel = [&withoutCancel](int) {
        ++withoutCancel;
        return std::make_unique<StoppedWindow>(); // even a stop leaves no clip behind
    };
    RunCommand([] { Resample(kResampleMethodBilinear, 0.5); });
    EXPECT_EQ(withoutCancel, 1);
    EXPECT_EQ(mWindows.Opened(), 0);
    ASSERT_EQ(gFrames.size(), 5u);
    ExpectEveryClipAt(50, 37);
    EXPECT_EQ(gDarkFrame->Width(), 50);
    EXPECT_EQ(gDarkFrame->Height(), 37);
    EXPECT_EQ(gFlatFrame->Width(), 50);
    EXPECT_EQ(gFlatFrame->Height(), 37);
    EXPECT_DOUBLE_EQ(gAverageFlatFieldValue, 60.0);
    EXPECT_TRUE(gHotPixelMask.Matches(50, 37));
    EXPECT_FALSE(gHotPixelMask.HasAnyHotPixel());
    ASSERT_EQ(mUser.AlertCount(), 1);
    EXPECT_EQ(mUser.Alerts()[0].request.title, "Hot Pixel Mask Warning");
    EXPECT_EQ(mUser.Alerts()[0].request.message,
              "Note that if you have defined a hot pixel mask, then it has been erased as a result of resampling "
              "the clips and you will have to recreate it.  Sorry.");
    ExpectIndicesArePositions();
    EXPECT_TRUE(gPersistantSelectionIndices.empty());
}

TEST_F(ClipOperationsTest, BinningBinsWhateverTheFactorAndSumsTheFlat)
{
    for (int i = 0; i < 3; ++i)
        AddFlat(20, 11, 40);
    gFlatFrame = MakeImage(20, 11);
    FillFlat(*gFlatFrame, 10, 20, 30);
    RunCommand([] { Resample(kResampleMethodBinning, 3.0); });
    ExpectEveryClipAt(10, 5);
    // Binning sums each 2 × 2 block.
    EXPECT_DOUBLE_EQ(gAverageFlatFieldValue, 80.0);
    FrameLease m = gFrames[0]->GetModified(true);
    EXPECT_EQ(GetPixel(*m, 3, 3), (Argb{0xFF, 160, 160, 160}));
}

// Every render step set on clip k (k = 0, 1, ...), with a dark and a flat.
void SetEverySetting(Frame& f, int k)
{
    f.SetDebayer(static_cast<BayerPattern>(k % 4), kDebayerBilinear);
    f.SetDarkFrameSubtracted(true);
    f.SetFlatFrameDivided(true);
    f.SetRotation(10 + k);
    f.SetAlignment(MakePoint(2, -3), 1);
    f.SetAlignment(MakePoint(-1, 1), 2);
    f.SetNormalizationFactor(1.3);
    f.SetMedianFilter(1, 30);
    f.ToggleInterpolateInterlace();
}

TEST_F(ClipOperationsTest, ResampleByOneKeepsEveryRenderBitIdentical)
{
    for (uint32_t seed = 1; seed <= 4; ++seed)
        Add(33, 27, [seed](GWorldWrapper& i) { FillNoise(i, seed); });
    gDarkFrame = MakeImage(33, 27);
    FillNoise(*gDarkFrame, 99);
    gFlatFrame = MakeImage(33, 27);
    FillFlat(*gFlatFrame, 200, 180, 220);
    gAverageFlatFieldValue = 200.0;
    for (std::size_t k = 0; k < gFrames.size(); ++k)
        SetEverySetting(*gFrames[k], static_cast<int>(k));
    const auto before = Renders();
    RunCommand([] { Resample(kResampleMethodNearest, 1.0); });
    ASSERT_EQ(gFrames.size(), before.size());
    for (std::size_t k = 0; k < gFrames.size(); ++k) {
        Frame& f = *gFrames[k];
        EXPECT_FALSE(f.GetDebayerized());
        EXPECT_FALSE(f.GetDarkFrameSubtracted());
        EXPECT_FALSE(f.GetFlatFrameDivided());
        EXPECT_FALSE(f.GetInterpolateInterlace());
        EXPECT_EQ(f.GetRotation(), 0);
        EXPECT_EQ(f.GetMedianFilterThreshold(), 0);
        EXPECT_EQ(f.GetNormalizationFactor(), 1.0);
        EXPECT_EQ(f.GetAlignment(1), Point{});
        std::string where;
        {
            FrameLease m = f.GetModified(true);
            EXPECT_TRUE(SamePixels(*m, *before[k], false, &where)) << k << " " << where;
        }
        ASSERT_TRUE(f.UpdateFrame(true));
        FrameLease again = f.GetModified(false);
        EXPECT_TRUE(SamePixels(*again, *before[k], false, &where)) << k << " " << where;
    }
}

// Makes the render of the clip with normalisation factor 2.0 run out of memory.
struct FailingMultiply {
    FrameRenderSteps steps = DefaultFrameRenderSteps();
    FailingMultiply()
    {
        steps.multiply = [](GWorldWrapper& image, double factor) {
            if (factor == 2.0)
                throw std::bad_alloc();
            DefaultFrameRenderSteps().multiply(image, factor);
        };
    }
};

TEST_F(ClipOperationsTest, FailedClipsAreRemovedNeverLeftAtTheOldSize)
{
    for (bool crop : {false, true}) {
        gFrames.clear();
        for (uint32_t seed = 1; seed <= 8; ++seed)
            Add(40, 30, [seed](GWorldWrapper& i) { FillNoise(i, seed); });
        gFrames[3]->SetNormalizationFactor(2.0);
        Frame* survivor = gFrames[4].get();
        gHotPixelMask.Reset(40, 30);
        FailingMultiply failing;
        int withoutCancel = 0;
        GetJobHooks().openProgressWindowWithoutCancel = [&withoutCancel](int) {
            ++withoutCancel;
            return std::make_unique<StoppedWindow>();
        };
        SetFrameRenderStepsForTesting(&failing.steps);
        const int alertsBefore = mUser.AlertCount();
        if (crop) {
            gOperationBoundsRect = MakeRect(5, 6, 25, 36);
            RunCommand([] { Crop(); });
        } else {
            RunCommand([] { Resample(kResampleMethodNearest, 2.0); });
        }
        SetFrameRenderStepsForTesting(nullptr);
        ASSERT_EQ(gFrames.size(), 7u) << crop;
        EXPECT_EQ(gFrames[3].get(), survivor);
        ExpectIndicesArePositions();
        const int w = crop ? 30 : 80, h = crop ? 20 : 60;
        ExpectEveryClipAt(w, h);
        EXPECT_TRUE(gHotPixelMask.Matches(w, h));
        // One out-of-memory alert (plus the resample's mask warning).
        const auto alerts = mUser.Alerts();
        int outOfMemory = 0;
        for (std::size_t i = static_cast<std::size_t>(alertsBefore); i < alerts.size(); ++i)
            outOfMemory += alerts[i].request.title == kOutOfMemoryTitle;
        EXPECT_EQ(outOfMemory, 1);
        EXPECT_EQ(withoutCancel, 1);
        EXPECT_EQ(mWindows.Opened(), 0); // never the window with Cancel
    }
}

// ---------------------------------------------------------------- crop

TEST_F(ClipOperationsTest, CropMovesCalibrationRectanglesAndTheMask)
{
    Add(240, 130, [](GWorldWrapper& i) { FillNoise(i, 3); });
    Add(240, 130, [](GWorldWrapper& i) { FillNoise(i, 4); });
    for (auto& f : gFrames)
        for (int c = 1; c <= 3; ++c)
            f->SetAlignment(MakePoint(2, -3), c);
    // A hot sensor pixel at (y 40, x 60): in clip 0's render it lies at (42, 57).
    gHotPixelMask.Reset(240, 130);
    gHotPixelMask.pixels[40 * 240 + 60] = 1;
    gOperationBoundsRect = MakeRect(10, 20, 110, 220);
    RunCommand([] { Crop(); });
    ExpectEveryClipAt(200, 100);
    for (auto& f : gFrames)
        for (int c = 1; c <= 3; ++c) {
            EXPECT_EQ(f->GetSubRect(c), MakeRect(8, 23, 108, 223));
            EXPECT_EQ(f->GetAlignment(c), Point{});
        }
    EXPECT_EQ(gOperationBoundsRect, kNoBoundsRect);
    ASSERT_TRUE(gHotPixelMask.Matches(200, 100));
    // Same sensor pixel: (40 - 8, 60 - 23) of the cropped clip.
    int marked = 0;
    for (std::size_t i = 0; i < gHotPixelMask.pixels.size(); ++i)
        marked += gHotPixelMask.pixels[i] != 0;
    EXPECT_EQ(marked, 1);
    EXPECT_EQ(gHotPixelMask.pixels[(40 - 8) * 200 + (60 - 23)], 1);
    EXPECT_EQ(mUser.AlertCount(), 0);
}

TEST_F(ClipOperationsTest, ANewFrameAfterACropTakesTheSensorsSize)
{
    // No dark or flat yet: the first one loaded after the crop is read
    // through the clips' calibration rectangles, so it has the sensor's size.
    Add(50, 40, [](GWorldWrapper& i) { FillNoise(i, 3); });
    gOperationBoundsRect = MakeRect(10, 12, 30, 42);
    RunCommand([] { Crop(); });
    ExpectEveryClipAt(30, 20);
    EXPECT_EQ(gFrames[0]->GetSubRect(2), MakeRect(10, 12, 30, 42));
    EXPECT_EQ(CalibrationFrameTargetDim(CalibrationFrameKind::dark), MakeRect(0, 0, 40, 50));
    EXPECT_EQ(CalibrationFrameTargetDim(CalibrationFrameKind::flat), MakeRect(0, 0, 40, 50));
    // A second crop still cuts from the same sensor.
    gOperationBoundsRect = MakeRect(2, 3, 12, 23);
    RunCommand([] { Crop(); });
    EXPECT_EQ(CalibrationFrameTargetDim(CalibrationFrameKind::dark), MakeRect(0, 0, 40, 50));
    // A resample puts the rectangles back at the clips' bounds.
    RunCommand([] { Resample(kResampleMethodNearest, 2.0); });
    ExpectEveryClipAt(40, 20);
    EXPECT_EQ(CalibrationFrameTargetDim(CalibrationFrameKind::dark), MakeRect(0, 0, 20, 40));
}

TEST_F(ClipOperationsTest, CropToTheWholeImageKeepsRendersBitIdentical)
{
    for (uint32_t seed = 1; seed <= 3; ++seed)
        Add(36, 26, [seed](GWorldWrapper& i) { FillNoise(i, seed); });
    gFlatFrame = MakeImage(36, 26);
    FillFlat(*gFlatFrame, 200, 180, 220);
    gAverageFlatFieldValue = 200.0;
    for (std::size_t k = 0; k < gFrames.size(); ++k) {
        Frame& f = *gFrames[k];
        f.SetDebayer(static_cast<BayerPattern>(k), kDebayerLaplacian);
        f.SetFlatFrameDivided(true);
        f.SetMedianFilter(1, 25);
        f.ToggleInterpolateInterlace();
    }
    // The dark alone, at alignment (2, -3): it keeps being subtracted.
    Frame* dark = Add(36, 26, [](GWorldWrapper& i) { FillNoise(i, 17); });
    gDarkFrame = MakeImage(36, 26);
    FillNoise(*gDarkFrame, 23);
    dark->SetDarkFrameSubtracted(true);
    for (int c = 1; c <= 3; ++c)
        dark->SetAlignment(MakePoint(2, -3), c);

    const auto before = Renders();
    gOperationBoundsRect = MakeRect(0, 0, 26, 36);
    RunCommand([] { Crop(); });
    ASSERT_EQ(gFrames.size(), before.size());
    EXPECT_TRUE(dark->GetDarkFrameSubtracted());
    for (std::size_t k = 0; k < gFrames.size(); ++k) {
        std::string where;
        {
            FrameLease m = gFrames[k]->GetModified(true);
            EXPECT_TRUE(SamePixels(*m, *before[k], false, &where)) << k << " " << where;
        }
        ASSERT_TRUE(gFrames[k]->UpdateFrame(true));
        FrameLease again = gFrames[k]->GetModified(false);
        EXPECT_TRUE(SamePixels(*again, *before[k], false, &where)) << k << " " << where;
    }
}

TEST_F(ClipOperationsTest, CropRefusals)
{
    AddFlat(30, 20, 9);
    Crop();                                       // no rectangle
    gOperationBoundsRect = MakeRect(2, 2, 18, 3); // one column
    Crop();
    gOperationBoundsRect = MakeRect(2, 2, 21, 10); // past the bottom
    Crop();
    EXPECT_FALSE(IsJobActive());
    EXPECT_EQ(mUser.BeepCount(), 3);
    EXPECT_EQ(gImageDim, MakeRect(0, 0, 20, 30));
}

TEST_F(ClipOperationsTest, DebayeredDarkClipsThroughCropResampleAndRenderJobs)
{
    for (uint32_t seed = 1; seed <= 9; ++seed)
        Add(64, 48, [seed](GWorldWrapper& i) { FillNoise(i, seed); });
    gDarkFrame = MakeImage(64, 48);
    FillNoise(*gDarkFrame, 77);
    for (auto& f : gFrames) {
        f->SetDebayer(kBayerRGGB, kDebayerLaplacian);
        f->SetDarkFrameSubtracted(true);
    }
    gOperationBoundsRect = MakeRect(3, 5, 43, 55);
    RunCommand([] { Crop(); });
    ExpectEveryClipAt(50, 40);
    RunCommand([] { Resample(kResampleMethodBicubic, 2.0); });
    ExpectEveryClipAt(100, 80);
    for (auto& f : gFrames)
        f->SetDebayer(kBayerGRBG, kDebayerBilinear);
    RunCommand([] { UpdateFrames(); });
    ExpectEveryClipAt(100, 80);
    EXPECT_EQ(gDarkFrame->Width(), 128); // the resample scaled the sensor-sized dark too
}

// ---------------------------------------------------------------- delete, reference, update

TEST_F(ClipOperationsTest, DeleteRenumbersAndRemovesTempFiles)
{
    std::vector<Frame*> clips;
    for (uint32_t seed = 1; seed <= 8; ++seed)
        clips.push_back(Add(12, 9, [seed](GWorldWrapper& i) { FillNoise(i, seed); }));
    ASSERT_TRUE(clips[5]->SendToTempDiskFile());
    ASSERT_TRUE(clips[7]->SendToTempDiskFile());
    EXPECT_EQ(TempFileCount(), 4);
    gPersistantSelectionIndices = {5, 2};
    gTempSelectionIndex = 6;
    DeleteFrames();
    ASSERT_EQ(gFrames.size(), 6u);
    ExpectIndicesArePositions();
    EXPECT_EQ(gFrames[4].get(), clips[6]);
    EXPECT_EQ(gFrames[5].get(), clips[7]);
    EXPECT_TRUE(gPersistantSelectionIndices.empty());
    EXPECT_EQ(gTempSelectionIndex, -1);
    // Clip 5's files went with it; clip 7 came back once memory allowed.
    EXPECT_EQ(TempFileCount(), 0);
    EXPECT_TRUE(clips[7]->InMemory());

    // Deleting clip 0 makes the next the reference; deleting all closes the document.
    gTempSelectionIndex = 0;
    DeleteFrames();
    EXPECT_EQ(gFrames[0].get(), clips[1]);
    gPersistantSelectionIndices = {0, 1, 2, 3, 4};
    DeleteFrames();
    EXPECT_TRUE(gFrames.empty());
    EXPECT_TRUE(gImageDim.IsEmpty());

    DeleteFrames(); // nothing selected, nothing there: nothing happens
    EXPECT_EQ(mUser.BeepCount(), 0);
}

TEST_F(ClipOperationsTest, SaturateAfterDeleteBringsClipsBackInIndexOrder)
{
    int64_t freeMemory = int64_t{1} << 34;
    SetFreeMemForTesting([&freeMemory] { return freeMemory; });
    std::vector<Frame*> clips;
    for (uint32_t seed = 1; seed <= 6; ++seed)
        clips.push_back(Add(12, 9, [seed](GWorldWrapper& i) { FillNoise(i, seed); }));
    for (std::size_t i = 1; i < clips.size(); ++i)
        ASSERT_TRUE(clips[i]->SendToTempDiskFile());
    gTempSelectionIndex = 5;
    DeleteFrames();
    for (std::size_t i = 1; i < 5; ++i)
        EXPECT_TRUE(clips[i]->InMemory()) << i;
}

TEST_F(ClipOperationsTest, ReferenceSwapKeepsStackAndSelection)
{
    std::vector<Frame*> clips;
    for (uint32_t seed = 1; seed <= 5; ++seed)
        clips.push_back(Add(12, 9, [seed](GWorldWrapper& i) { FillNoise(i, seed); }));
    ASSERT_TRUE(CreateInitialStack());
    gPersistantSelectionIndices = {1, 3};
    gTempSelectionIndex = 3;
    SetReferenceFrame();
    EXPECT_EQ(gFrames[0].get(), clips[3]);
    EXPECT_EQ(gFrames[3].get(), clips[0]);
    ExpectIndicesArePositions();
    EXPECT_TRUE(HaveSummedStack());
    EXPECT_EQ(gPersistantSelectionIndices, (std::vector<int>{1, 3}));

    gTempSelectionIndex = 0;
    SetReferenceFrame();
    EXPECT_EQ(gFrames[0].get(), clips[3]);
    gTempSelectionIndex = -1;
    SetReferenceFrame();
    EXPECT_EQ(gFrames[0].get(), clips[3]);
}

TEST_F(ClipOperationsTest, UpdateRendersEveryClipAndDiscardsTheStack)
{
    for (uint32_t seed = 1; seed <= 6; ++seed)
        Add(12, 9, [seed](GWorldWrapper& i) { FillNoise(i, seed); });
    ASSERT_TRUE(CreateInitialStack());
    for (auto& f : gFrames)
        f->SetAlignment(MakePoint(1, 1), 1);
    RunCommand([] { UpdateFrames(); });
    for (auto& f : gFrames)
        EXPECT_FALSE(f->IsDirty());
    EXPECT_FALSE(HaveSummedStack());
    EXPECT_TRUE(gPersistantSelectionIndices.empty());
}

TEST_F(ClipOperationsTest, MenuCommandsReachTheOperations)
{
    CommandOperations saved = GetCommandOperations();
    InstallClipOperationCommands();
    for (uint32_t seed = 1; seed <= 3; ++seed)
        Add(30, 20, [seed](GWorldWrapper& i) { FillNoise(i, seed); });
    GetCommandOperations().resample(kResampleMethodNearest, 0.5);
    RunJobToEnd();
    ExpectEveryClipAt(15, 10);
    gOperationBoundsRect = MakeRect(1, 2, 9, 12);
    GetCommandOperations().crop();
    RunJobToEnd();
    ExpectEveryClipAt(10, 8);
    gOperationBoundsRect = MakeRect(0, 0, 8, 10);
    GetCommandOperations().sortClips(6);
    RunJobToEnd();
    ExpectIndicesArePositions();
    GetCommandOperations().updateFrames();
    RunJobToEnd();
    GetCommandOperations() = saved;
}

} // namespace
