// tests/unit/CalibrationJobsTest.cpp: the dark and flat jobs over the
// selection (their numbers against numpy, the toggle and forced rules, the
// refusals, cancel and running out of memory), taking in a new frame, and
// the size a new frame takes.
#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "shell/DialogPointers.h"
#include "engine/CalibrationJobs.h"
#include "engine/CalibrationWindows.h"
#include "engine/FrameRenderSteps.h"
#include "engine/SummedStack.h"
#include "files/CalibrationFrameFiles.h"
#include "imaging/Measurements.h"
#include "platform/core/StandardAlerts.h"
#include "tests/unit/ClipJobFixture.h"

namespace {

constexpr int kW = 37; // odd sizes, not a multiple of 4
constexpr int kH = 23;

// A progress window whose status the test (or a render step) sets.
class FixedStatusWindow final : public JobProgressWindow {
public:
    explicit FixedStatusWindow(std::shared_ptr<std::atomic<int>> s) : mStatus(std::move(s)) {}
    std::shared_ptr<const std::atomic<int>> Status() const override { return mStatus; }
    void Step() override {}

private:
    std::shared_ptr<std::atomic<int>> mStatus;
};

std::vector<unsigned char> RgbBytes(const GWorldWrapper& image)
{
    std::vector<unsigned char> bytes;
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x) {
            const Argb p = GetPixel(image, x, y);
            bytes.insert(bytes.end(), {p.r, p.g, p.b});
        }
    return bytes;
}

class CalibrationJobsTest : public ClipJobFixture {
protected:
    void SetUp() override
    {
        ClipJobFixture::SetUp();
        gImageDim = MakeRect(0, 0, kH, kW);
    }
    void TearDown() override
    {
        gSortBySpectrumInterface = nullptr;
        SetFrameRenderStepsForTesting(nullptr);
        DeleteFrameStack();
        ClipJobFixture::TearDown();
    }
    static void AddClips(int n)
    {
        for (int i = 0; i < n; ++i)
            AddClip(kW, kH, 100 + static_cast<uint32_t>(i));
    }
    static std::unique_ptr<GWorldWrapper> Noise(uint32_t seed, int w = kW, int h = kH)
    {
        auto image = MakeImage(w, h);
        FillNoise(*image, seed);
        return image;
    }
    static std::vector<bool> DarkFlags()
    {
        std::vector<bool> flags;
        for (auto& f : gFrames)
            flags.push_back(f->GetDarkFrameSubtracted());
        return flags;
    }
    static void SetDarkFlags(const std::vector<bool>& flags)
    {
        for (std::size_t i = 0; i < flags.size(); ++i)
            gFrames[i]->SetDarkFrameSubtracted(flags[i]);
    }
    void Click(bool flat, bool force)
    {
        if (flat)
            DivideFlatFrame(force);
        else
            SubtractDarkFrame(force);
        RunJobToEnd();
    }
};

} // namespace

TEST_F(CalibrationJobsTest, DarkThenFlatRenderAsNumpyComputesThem)
{
    AddClips(4);
    gDarkFrame = Noise(7);
    // A flat with zeros, so that a > 0 over 0 (255) and 0 over 0 (0) both occur.
    auto flat = Noise(8);
    for (int x = 0; x < kW; x += 3)
        SetPixel(*flat, x, 5, Argb{0xFF, 0, 0, 0});
    gFlatFrame = std::move(flat);
    gAverageFlatFieldValue = CalculateAverageValue(*gFlatFrame, gFlatFrame->GetDim());
    gPersistantSelectionIndices = {3, 1, 0, 2};
    gTempSelectionIndex = 1;
    Click(false, false);
    for (auto& f : gFrames)
        EXPECT_TRUE(f->GetDarkFrameSubtracted());

    const std::string dir = ReferenceScratchDir();
    std::vector<unsigned char> originals;
    for (auto& f : gFrames) {
        FrameLease o = f->GetOriginal();
        const auto bytes = RgbBytes(*o);
        originals.insert(originals.end(), bytes.begin(), bytes.end());
    }
    WriteBytes(dir + "/clips.bin", originals);
    WriteBytes(dir + "/dark.bin", RgbBytes(*gDarkFrame));
    WriteBytes(dir + "/flat.bin", RgbBytes(*gFlatFrame));
    WriteDoubles(dir + "/mean.bin", {gAverageFlatFieldValue});
    const std::string code = R"(
import sys, numpy as np
d = sys.argv[1]
w, h = int(sys.argv[2]), int(sys.argv[3])
clips = np.fromfile(d + '/clips.bin', dtype=np.uint8).astype(np.int64).reshape(-1, h, w, 3)
dark = np.fromfile(d + '/dark.bin', dtype=np.uint8).astype(np.int64).reshape(h, w, 3)
flat = np.fromfile(d + '/flat.bin', dtype=np.uint8).astype(np.float64).reshape(h, w, 3)
mean = np.fromfile(d + '/mean.bin', dtype=np.float64)[0]
darked = np.maximum(clips - dark, 0)
darked.astype(np.uint8).tofile(d + '/darked.bin')
with np.errstate(divide='ignore', invalid='ignore'):
    v = (darked / flat) * mean
v = np.where(np.isnan(v), 0.0, v)
v = np.where(v > 255, 255.0, v)
v = np.where(v < 0, 0.0, v)
np.trunc(v).astype(np.uint8).tofile(d + '/flattened.bin')
print(repr(flat.mean()))
)";
    std::string output;
    ASSERT_TRUE(RunPython(code, {dir, std::to_string(kW), std::to_string(kH)}, &output)) << output;
    // Summation order differs; the mean of 2553 values of 0..255 agrees far
    // closer than this.
    EXPECT_NEAR(gAverageFlatFieldValue, std::stod(output), 1e-9);

    const auto renders = [] {
        std::vector<unsigned char> all;
        for (auto& f : gFrames) {
            FrameLease m = f->GetModified(true);
            const auto bytes = RgbBytes(*m);
            all.insert(all.end(), bytes.begin(), bytes.end());
        }
        return all;
    };
    EXPECT_EQ(renders(), ReadBytes(dir + "/darked.bin"));

    Click(true, false);
    for (auto& f : gFrames)
        EXPECT_TRUE(f->GetFlatFrameDivided());
    const std::vector<unsigned char> flattened = ReadBytes(dir + "/flattened.bin");
    EXPECT_EQ(renders(), flattened);
    EXPECT_NE(std::count(flattened.begin(), flattened.end(), 255), 0);
    EXPECT_EQ(mUser.BeepCount(), 0);
}

TEST_F(CalibrationJobsTest, PlainClicksToggleEachClipAndForcedClicksMatchTheClickedOne)
{
    AddClips(3);
    gDarkFrame = Noise(7);
    SetDarkFlags({true, false, true});
    gPersistantSelectionIndices = {0, 1, 2};
    gTempSelectionIndex = 0;
    Click(false, false);
    EXPECT_EQ(DarkFlags(), (std::vector<bool>{false, true, false}));

    // Forced: every selected clip takes the inverse of the clicked one's flag.
    gTempSelectionIndex = 1; // on
    Click(false, true);
    EXPECT_EQ(DarkFlags(), (std::vector<bool>{false, false, false}));
    gTempSelectionIndex = 2; // off
    Click(false, true);
    EXPECT_EQ(DarkFlags(), (std::vector<bool>{true, true, true}));

    // Only the selected clips change.
    gPersistantSelectionIndices = {2, 0};
    gTempSelectionIndex = 2;
    Click(false, false);
    EXPECT_EQ(DarkFlags(), (std::vector<bool>{false, true, false}));

    // Without a persistent selection: the clip under the mouse alone; a
    // plain click toggles it, a forced one clears it.
    gPersistantSelectionIndices.clear();
    gTempSelectionIndex = 0;
    Click(false, false);
    EXPECT_EQ(DarkFlags(), (std::vector<bool>{true, true, false}));
    Click(false, true);
    EXPECT_EQ(DarkFlags(), (std::vector<bool>{false, true, false}));
    Click(false, true);
    EXPECT_EQ(DarkFlags(), (std::vector<bool>{false, true, false}));
    EXPECT_EQ(mUser.BeepCount(), 0);
}

TEST_F(CalibrationJobsTest, FlatClicksChangeOnlyTheFlatFlag)
{
    AddClips(2);
    gFlatFrame = Noise(9);
    gAverageFlatFieldValue = CalculateAverageValue(*gFlatFrame, gFlatFrame->GetDim());
    gPersistantSelectionIndices = {0, 1};
    gTempSelectionIndex = 1;
    Click(true, false);
    for (auto& f : gFrames) {
        EXPECT_TRUE(f->GetFlatFrameDivided());
        EXPECT_FALSE(f->GetDarkFrameSubtracted());
    }
}

TEST_F(CalibrationJobsTest, RefusalsBeepOrStaySilentAsTheRulesSay)
{
    AddClips(3);
    gTempSelectionIndex = 1;
    // No dark (flat) frame: one beep, no job.
    for (bool flat : {false, true}) {
        const int beeps = mUser.BeepCount();
        Click(flat, false);
        EXPECT_EQ(mUser.BeepCount(), beeps + 1);
        EXPECT_EQ(mWindows.Opened(), 0);
    }
    gDarkFrame = Noise(7);
    gFlatFrame = Noise(8);
    const int beeps = mUser.BeepCount();
    // No clip under the mouse: nothing, silently.
    gTempSelectionIndex = -1;
    Click(false, false);
    gTempSelectionIndex = 9; // left over from deleted clips
    Click(true, true);
    // A persistent selection without the clicked clip: nothing, forced or not.
    gPersistantSelectionIndices = {0, 2};
    gTempSelectionIndex = 1;
    Click(false, true);
    Click(true, false);
    EXPECT_EQ(mUser.BeepCount(), beeps);
    EXPECT_EQ(DarkFlags(), (std::vector<bool>{false, false, false}));
    for (auto& f : gFrames)
        EXPECT_FALSE(f->GetFlatFrameDivided());

    // A dialog that reads the clips is open: one beep.
    gPersistantSelectionIndices = {1};
    gSortBySpectrumInterface = reinterpret_cast<SortBySpectrumInterface*>(&gFrames);
    Click(false, false);
    EXPECT_EQ(mUser.BeepCount(), beeps + 1);
    gSortBySpectrumInterface = nullptr;
    EXPECT_EQ(DarkFlags(), (std::vector<bool>{false, false, false}));
    EXPECT_FALSE(IsJobActive());
}

TEST_F(CalibrationJobsTest, TheJobsEndDiscardsTheStack)
{
    AddClips(2);
    gDarkFrame = Noise(7);
    ASSERT_TRUE(CreateInitialStack());
    ASSERT_TRUE(HaveSummedStack());
    gTempSelectionIndex = 0;
    Click(false, false);
    EXPECT_FALSE(HaveSummedStack());
    EXPECT_TRUE(gFrames[0]->GetDarkFrameSubtracted());
    EXPECT_FALSE(gFrames[0]->IsDirty()); // rendered by the job
}

TEST_F(CalibrationJobsTest, CancelStopsAfterTheClipInHand)
{
    AddClips(5);
    gDarkFrame = Noise(7);
    gNumThreads = 1;
    gPersistantSelectionIndices = {0, 1, 2, 3, 4};
    gTempSelectionIndex = 0;
    ASSERT_TRUE(CreateInitialStack());
    auto status = std::make_shared<std::atomic<int>>(0);
    GetJobHooks().openProgressWindow = [status](int) { return std::make_unique<FixedStatusWindow>(status); };
    FrameRenderSteps steps = DefaultFrameRenderSteps();
    std::atomic<int> darkSteps{0};
    steps.subtractDark = [&](GWorldWrapper& image, const GWorldWrapper& dark, bool lock, const Rect i[3],
                             const Rect d[3]) {
        // The user presses Cancel while the second clip renders.
        if (++darkSteps == 2)
            status->store(2);
        DefaultFrameRenderSteps().subtractDark(image, dark, lock, i, d);
    };
    SetFrameRenderStepsForTesting(&steps);
    Click(false, false);
    SetFrameRenderStepsForTesting(nullptr);
    EXPECT_EQ(DarkFlags(), (std::vector<bool>{true, true, false, false, false}));
    EXPECT_EQ(darkSteps.load(), 2);
    // The final ran all the same.
    EXPECT_FALSE(HaveSummedStack());
    EXPECT_FALSE(IsJobActive());
}

TEST_F(CalibrationJobsTest, OutOfMemoryInARenderEndsThatWorkersPartAndTheJob)
{
    AddClips(4);
    gDarkFrame = Noise(7);
    gNumThreads = 1;
    gPersistantSelectionIndices = {0, 1, 2, 3};
    gTempSelectionIndex = 0;
    FrameRenderSteps steps = DefaultFrameRenderSteps();
    std::atomic<int> darkSteps{0};
    steps.subtractDark = [&](GWorldWrapper& image, const GWorldWrapper& dark, bool lock, const Rect i[3],
                             const Rect d[3]) {
        if (++darkSteps == 2)
            throw std::bad_alloc();
        DefaultFrameRenderSteps().subtractDark(image, dark, lock, i, d);
    };
    SetFrameRenderStepsForTesting(&steps);
    TestMainThreadQueue alerts; // a worker's alert waits for the main thread
    SubtractDarkFrame(false);
    RunJobToEnd();
    SetFrameRenderStepsForTesting(nullptr);
    EXPECT_EQ(mUser.AlertCount(), 0);
    alerts.Drain();
    EXPECT_FALSE(IsJobActive());
    // The second clip has its flag but is still to render; the rest were not reached.
    EXPECT_EQ(DarkFlags(), (std::vector<bool>{true, true, false, false}));
    EXPECT_TRUE(gFrames[1]->IsDirty());
    int outOfMemory = 0;
    for (const auto& shown : mUser.Alerts())
        outOfMemory += shown.request.title == kOutOfMemoryTitle;
    EXPECT_EQ(outOfMemory, 1);
}

TEST_F(CalibrationJobsTest, ClipsWithoutTheirFrameBeepOnceWhenTheJobEnds)
{
    // A step runs on a worker: it says nothing itself.
    Frame* clip = AddClip(kW, kH, 3);
    EXPECT_FALSE(SubtractDarkFrameFromOneFrame(clip, false, true));
    EXPECT_FALSE(DivideFlatFrameFromOneFrame(clip, true, true));
    EXPECT_EQ(mUser.BeepCount(), 0);
    EXPECT_FALSE(clip->GetDarkFrameSubtracted());
    EXPECT_FALSE(clip->GetFlatFrameDivided());

    gDarkFrame = Noise(7);
    gFlatFrame = Noise(8);
    EXPECT_TRUE(SubtractDarkFrameFromOneFrame(clip, false, false)); // not forced: inverts
    EXPECT_TRUE(clip->GetDarkFrameSubtracted());
    EXPECT_TRUE(SubtractDarkFrameFromOneFrame(clip, true, true)); // forced: sets
    EXPECT_TRUE(clip->GetDarkFrameSubtracted());
    EXPECT_TRUE(DivideFlatFrameFromOneFrame(clip, true, false));
    EXPECT_FALSE(clip->GetFlatFrameDivided());
    EXPECT_TRUE(DivideFlatFrameFromOneFrame(clip, false, false));
    EXPECT_TRUE(clip->GetFlatFrameDivided());
    EXPECT_EQ(mUser.BeepCount(), 0);

    // A job whose dark frame is gone after its first clip's render: the
    // three clips left without it give one beep, from the job's end.
    clip->SetDarkFrameSubtracted(false);
    AddClips(3);
    gNumThreads = 1;
    gPersistantSelectionIndices = {0, 1, 2, 3};
    gTempSelectionIndex = 0;
    std::unique_ptr<GWorldWrapper> kept; // the image stays alive for the job's lock
    FrameRenderSteps steps = DefaultFrameRenderSteps();
    steps.subtractDark = [&kept](GWorldWrapper& image, const GWorldWrapper& dark, bool lock, const Rect i[3],
                                 const Rect d[3]) {
        DefaultFrameRenderSteps().subtractDark(image, dark, lock, i, d);
        kept = std::move(gDarkFrame);
    };
    SetFrameRenderStepsForTesting(&steps);
    SubtractDarkFrame(false);
    RunJobToEnd();
    SetFrameRenderStepsForTesting(nullptr);
    EXPECT_EQ(DarkFlags(), (std::vector<bool>{true, false, false, false}));
    EXPECT_EQ(mUser.BeepCount(), 1);
}

TEST_F(CalibrationJobsTest, ANewDarkFrameReachesEveryClipThatSubtractsIt)
{
    AddClips(2);
    gDarkFrame = Noise(7);
    gFrames[0]->SetDarkFrameSubtracted(true);
    for (auto& f : gFrames)
        ASSERT_TRUE(f->UpdateFrame(false));
    // A flat grey dark of 40 replaces the noisy one.
    auto grey = MakeImage(kW, kH);
    FillFlat(*grey, 40, 40, 40);
    UseAsDarkFrame(std::move(grey));
    EXPECT_TRUE(gFrames[0]->IsDirty());
    EXPECT_FALSE(gFrames[1]->IsDirty());
    FrameLease original = gFrames[0]->GetOriginal();
    FrameLease modified = gFrames[0]->GetModified(true);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const Argb o = GetPixel(*original, x, y), m = GetPixel(*modified, x, y);
            ASSERT_EQ(m.r, std::max(0, o.r - 40));
            ASSERT_EQ(m.g, std::max(0, o.g - 40));
            ASSERT_EQ(m.b, std::max(0, o.b - 40));
        }
}

TEST_F(CalibrationJobsTest, ANewFlatFrameTakesItsMeanComponent)
{
    AddClip(kW, kH, 3);
    gFrames[0]->SetFlatFrameDivided(true);
    ASSERT_TRUE(gFrames[0]->UpdateFrame(false));
    auto flat = MakeImage(kW, kH);
    FillFlat(*flat, 90, 60, 30);
    UseAsFlatFrame(std::move(flat));
    EXPECT_DOUBLE_EQ(gAverageFlatFieldValue, 60.0);
    EXPECT_TRUE(gFrames[0]->IsDirty());
    // Of a frame of another size than the clips (the sensor's, after a crop),
    // over all of its own pixels.
    auto large = MakeImage(kW + 10, kH + 4);
    FillFlat(*large, 10, 10, 10);
    for (int x = 0; x < kW + 10; ++x)
        SetPixel(*large, x, 0, Argb{0xFF, 250, 250, 250});
    UseAsFlatFrame(std::move(large));
    EXPECT_NEAR(gAverageFlatFieldValue, 10.0 + 240.0 / (kH + 4), 1e-9);
    UseAsFlatFrame(nullptr); // nothing to take: the frame stays
    ASSERT_NE(gFlatFrame, nullptr);
    EXPECT_EQ(gFlatFrame->Width(), kW + 10);
}

TEST_F(CalibrationJobsTest, NewFramesTakeTheSizeOfTheFramesTheClipsUse)
{
    gImageDim = Rect{};
    EXPECT_TRUE(CalibrationFrameTargetDim(CalibrationFrameKind::dark).IsEmpty());
    gImageDim = MakeRect(0, 0, kH, kW);
    EXPECT_EQ(CalibrationFrameTargetDim(CalibrationFrameKind::dark), MakeRect(0, 0, kH, kW));
    EXPECT_EQ(CalibrationFrameTargetDim(CalibrationFrameKind::flat), MakeRect(0, 0, kH, kW));
    // After a crop the frames keep the sensor's size.
    gDarkFrame = Noise(7, 100, 80);
    EXPECT_EQ(CalibrationFrameTargetDim(CalibrationFrameKind::dark), MakeRect(0, 0, 80, 100));
    EXPECT_EQ(CalibrationFrameTargetDim(CalibrationFrameKind::flat), MakeRect(0, 0, 80, 100));
    gFlatFrame = Noise(8, 90, 70);
    EXPECT_EQ(CalibrationFrameTargetDim(CalibrationFrameKind::flat), MakeRect(0, 0, 70, 90));
    gDarkFrame.reset();
    EXPECT_EQ(CalibrationFrameTargetDim(CalibrationFrameKind::dark), MakeRect(0, 0, 70, 90));
}
