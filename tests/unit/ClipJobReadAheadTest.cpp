// tests/unit/ClipJobReadAheadTest.cpp: clips on disk brought back ahead of
// their takers: the helpers stop at the free-memory figure and go on only
// as the takers finish clips; a job over swapped clips renders what it
// renders in memory, bit for bit, with its clips brought back by helpers
// within the figure.
#include "engine/ClipReadAhead.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/ClipListEdits.h"
#include "engine/MemoryPolicy.h"
#include "shell/ScratchImages.h"
#include "platform/core/MainThread.h"
#include "tests/unit/ClipJobFixture.h"

namespace {

class ClipJobReadAheadTest : public ClipJobFixture {
protected:
    static constexpr int kWidth = 64, kHeight = 48;
    static constexpr int64_t kClipBytes = 2 * int64_t{kWidth} * kHeight * 4;

    // The figure: room for room clips (both images) above the threshold,
    // less every clip not wholly on disk. Records the most clips held at
    // once and whether a thread outside the job's workers asked.
    void HoldToRoom(int room)
    {
        mMost = 0;
        mHelperAsked = false;
        SetFreeMemForTesting([this, room] {
            int held = 0;
            for (const auto& frame : gFrames)
                held += frame->GetResidency() != Frame::Residency::OnDisk;
            int seen = mMost.load();
            while (held > seen && !mMost.compare_exchange_weak(seen, held)) {
            }
            if (!IsMainThread() && getThisThreadIndex() == kNoThreadSlot)
                mHelperAsked = true;
            return kLowMemoryThreshold + (room - held) * kClipBytes;
        });
    }
    static int InMemoryCount()
    {
        int n = 0;
        for (const auto& frame : gFrames)
            n += frame->InMemory();
        return n;
    }
    // Waits (bounded) until done() holds.
    static bool Eventually(const std::function<bool()>& done)
    {
        const auto end = std::chrono::steady_clock::now() + kJobTimeout;
        while (!done()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }
    // clips noise clips, every one after the first with its own render
    // settings (channel offsets, a normalisation), so a job's renders differ.
    static void MakeClips(int clips)
    {
        gImageDim = MakeRect(0, 0, kHeight, kWidth);
        for (int i = 0; i < clips; ++i) {
            Frame* frame = AddClip(kWidth, kHeight, static_cast<uint32_t>(7 + i));
            frame->SetAlignment(MakePoint(i % 5 - 2, 2 - i % 3), 1);
            frame->SetAlignment(MakePoint(-(i % 4), i % 3), 3);
            frame->SetNormalizationFactor(0.75 + 0.01 * (i % 40));
        }
    }

    std::atomic<int> mMost{0};
    std::atomic<bool> mHelperAsked{false};
};

} // namespace

TEST_F(ClipJobReadAheadTest, HelpersStopAtTheFigureAndGoOnAsTakersFinish)
{
    constexpr int kLanes = 3, kPerLane = 20, kRoom = 10;
    gImageDim = MakeRect(0, 0, kHeight, kWidth);
    AddClip(kWidth, kHeight, 1); // clip 0 stays in memory, and in no lane
    std::vector<std::vector<Frame*>> lanes(kLanes);
    for (int lane = 0; lane < kLanes; ++lane)
        for (int i = 0; i < kPerLane; ++i) {
            Frame* frame = AddClip(kWidth, kHeight, static_cast<uint32_t>(10 + lane * kPerLane + i));
            ASSERT_TRUE(frame->SendToTempDiskFile());
            lanes[static_cast<std::size_t>(lane)].push_back(frame);
        }
    // Clip 0 counts against the room as well.
    HoldToRoom(kRoom);
    ClipReadAhead readAhead(lanes, 4, 8, kClipBytes);
    // Eight ahead of each of three takers would be 24 clips: the figure
    // stops the helpers at its room, and with nothing finished nothing goes.
    ASSERT_TRUE(Eventually([] { return InMemoryCount() == kRoom; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(InMemoryCount(), kRoom);
    // Every lane got its share, its first clips first.
    for (const auto& lane : lanes)
        EXPECT_TRUE(lane[0]->InMemory());
    // The first taker finishes its first six clips: the three of them in
    // memory make room for three clips that follow, the figure still held;
    // a finished clip is never brought back.
    readAhead.Finished(0, 6);
    auto movedOn = [&] {
        for (int i = 0; i < 3; ++i)
            if (lanes[0][static_cast<std::size_t>(i)]->GetResidency() != Frame::Residency::OnDisk)
                return false;
        return InMemoryCount() == kRoom;
    };
    ASSERT_TRUE(Eventually(movedOn));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    readAhead.Stop();
    EXPECT_LE(mMost.load(), kRoom);
    EXPECT_EQ(InMemoryCount(), kRoom);
    for (int i = 0; i < 6; ++i)
        EXPECT_FALSE(lanes[0][static_cast<std::size_t>(i)]->InMemory()) << i;
    int onDisk = 0;
    for (const auto& frame : gFrames)
        onDisk += frame->GetResidency() == Frame::Residency::OnDisk;
    EXPECT_EQ(TempFileCount(), 2 * onDisk);
    EXPECT_TRUE(gFrames[0]->InMemory());
}

// The room is full of the lane's last clips and its first are on disk: with
// nothing finished yet, the last clips go to disk one by one so that the
// helpers can work ahead of the taker, never a clip within their reach.
TEST_F(ClipJobReadAheadTest, WithNothingFinishedTheLastClipsMakeRoomForTheFirst)
{
    constexpr int kClips = 24, kOnDisk = 12, kAhead = 4;
    gImageDim = MakeRect(0, 0, kHeight, kWidth);
    AddClip(kWidth, kHeight, 1); // clip 0, in no lane
    std::vector<Frame*> lane;
    for (int i = 0; i < kClips; ++i) {
        lane.push_back(AddClip(kWidth, kHeight, static_cast<uint32_t>(20 + i)));
        if (i < kOnDisk) {
            ASSERT_TRUE(lane.back()->SendToTempDiskFile());
        }
    }
    const int room = 1 + kClips - kOnDisk;
    HoldToRoom(room);
    ClipReadAhead readAhead(lane, 4, kAhead, kClipBytes);
    auto firstBack = [&] {
        for (int i = 0; i < kAhead; ++i)
            if (!lane[static_cast<std::size_t>(i)]->InMemory())
                return false;
        return true;
    };
    ASSERT_TRUE(Eventually(firstBack));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    readAhead.Stop();
    EXPECT_LE(mMost.load(), room);
    // Within reach of the helpers and no further; of the rest, a run at the
    // lane's end went (a swap-in still under way is counted twice, so a few
    // more than the reach may have).
    int firstGone = kClips;
    while (firstGone > kOnDisk && !lane[static_cast<std::size_t>(firstGone - 1)]->InMemory())
        --firstGone;
    EXPECT_GE(firstGone, kClips - 2 * kAhead);
    for (int i = 0; i < kClips; ++i)
        EXPECT_EQ(lane[static_cast<std::size_t>(i)]->InMemory(), i < kAhead || (i >= kOnDisk && i < firstGone)) << i;
}

TEST_F(ClipJobReadAheadTest, AJobOverSwappedClipsRendersWhatItRendersInMemory)
{
    constexpr int kClips = 60, kRoom = 12;
    gNumThreads = 4;
    MakeClips(kClips);
    UpdateFrames();
    ASSERT_TRUE(IsJobActive());
    RunJobToEnd();
    std::vector<std::unique_ptr<GWorldWrapper>> inMemory;
    for (const auto& frame : gFrames) {
        FrameLease render = frame->GetModified(false);
        ASSERT_TRUE(render);
        inMemory.push_back(MakeImage(kWidth, kHeight));
        *inMemory.back() = *render;
    }

    Reset();
    MakeClips(kClips);
    for (int i = 1; i < kClips; ++i)
        ASSERT_TRUE(gFrames[static_cast<std::size_t>(i)]->SendToTempDiskFile());
    HoldToRoom(kRoom);
    UpdateFrames();
    ASSERT_TRUE(IsJobActive());
    RunJobToEnd();
    // Helpers brought clips back. They stop at the figure; each worker may
    // still bring back the clip it works on when the helpers have not, as
    // the swap rules let a clip in use come back when memory is low. A
    // read-ahead blind to the figure would hold eight clips ahead of each
    // of the four workers on top.
    EXPECT_TRUE(mHelperAsked.load());
    EXPECT_LE(mMost.load(), kRoom + gNumThreads + 1);
    int onDisk = 0;
    for (const auto& frame : gFrames)
        onDisk += frame->GetResidency() == Frame::Residency::OnDisk;
    EXPECT_GT(onDisk, 0);
    EXPECT_EQ(TempFileCount(), 2 * onDisk);
    EXPECT_TRUE(gFrames[0]->InMemory());

    SetFreeMemForTesting([] { return int64_t{1} << 34; });
    for (std::size_t i = 0; i < gFrames.size(); ++i) {
        Frame& frame = *gFrames[i];
        EXPECT_FALSE(frame.IsDirty()) << i;
        FrameLease render = frame.GetModified(false);
        ASSERT_TRUE(render) << i;
        std::string where;
        EXPECT_TRUE(SamePixels(*render, *inMemory[i], true, &where)) << "clip " << i << ": " << where;
    }
}
