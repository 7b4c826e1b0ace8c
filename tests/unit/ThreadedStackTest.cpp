// tests/unit/ThreadedStackTest.cpp: the summed stack built on several
// threads gives the planes of one thread, bit for bit, with per-channel
// offsets, excluded clips, hot pixels and partial coverage; clips on disk
// are read ahead within the free memory, the rendered ones left on disk.
#include "engine/SummedStack.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "shell/ShellSettings.h"
#include "engine/ClipReadAhead.h"
#include "engine/MemoryPolicy.h"
#include "imaging/StackRowSums.h"
#include "platform/core/MainThread.h"
#include "tests/unit/EngineFixture.h"

namespace {

class ThreadedStackTest : public EngineFixture {
protected:
    void TearDown() override
    {
        DeleteFrameStack();
        gNumThreads = mThreads;
        EngineFixture::TearDown();
    }
    // The three planes after a stack built on threads threads.
    static std::vector<int32_t> StackOn(int threads)
    {
        gNumThreads = threads;
        EXPECT_TRUE(CreateInitialStack());
        const std::size_t n = static_cast<std::size_t>(StackWidth()) * static_cast<std::size_t>(StackHeight());
        std::vector<int32_t> planes;
        for (const auto* plane : {&gRedStack, &gGreenStack, &gBlueStack})
            planes.insert(planes.end(), plane->get(), plane->get() + n);
        return planes;
    }
    // clips clips of w × h: every third one with per-channel offsets, every
    // seventh one left out, a few hot pixels.
    static void MakeClips(int w, int h, int clips)
    {
        gImageDim = MakeRect(0, 0, h, w);
        for (int i = 0; i < clips; ++i) {
            Frame* frame = AddClip(w, h, static_cast<uint32_t>(100 + i));
            if (i % 3 == 1) {
                frame->SetAlignment(MakePoint(i % 5 - 2, 3 - i % 4), 1);
                frame->SetAlignment(MakePoint(-(i % 4), i % 3), 3);
            } else if (i % 3 == 2) {
                const Point shift = MakePoint(i % 7 - 3, i % 2);
                for (int c = 1; c <= 3; ++c)
                    frame->SetAlignment(shift, c);
            }
            if (i % 7 == 6)
                frame->SetSumStackIncluded(false);
        }
        gHotPixelMask.Reset(w, h);
        for (int k = 0; k < 40; ++k)
            gHotPixelMask.pixels[static_cast<std::size_t>((k * 7919) % (w * h))] = 1;
    }

    int mThreads = gNumThreads;
};

} // namespace

TEST_F(ThreadedStackTest, EveryThreadCountGivesTheSumsOfOneThread)
{
    // Tall and narrow (bands of many rows) and wide and low (bands of few
    // rows); more clips than two batches, so bands are added while clips are
    // still being taken.
    for (const auto [w, h, clips] : {std::array{64, 150, 45}, std::array{2000, 40, 37}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        Reset();
        MakeClips(w, h, clips);
        const std::vector<int32_t> one = StackOn(1);
        ASSERT_FALSE(one.empty());
        for (int threads : {2, 3, 8})
            EXPECT_TRUE(StackOn(threads) == one) << threads << " threads";
        // The same sums from every build of the row loops.
        for (const auto build : {StackRowSumsBuild::kPlain, StackRowSumsBuild::kAvx2}) {
            if (UseStackRowSumsBuildForTesting(build)) {
                EXPECT_TRUE(StackOn(3) == one) << "build " << static_cast<int>(build);
            }
        }
        UseStackRowSumsBuildForTesting(StackRowSumsBuild::kChosen);
    }
}

TEST_F(ThreadedStackTest, ReadAheadStaysWithinTheFreeMemory)
{
    const int w = 64, h = 48, clips = 120;
    MakeClips(w, h, clips);
    const std::vector<int32_t> inMemory = StackOn(4);
    // Every third clip on disk is dirty (a setting set again: the same
    // render), so it must come back; the others are read into copies.
    std::vector<std::string> files;
    for (int i = 1; i < clips; ++i) {
        Frame& frame = *gFrames[static_cast<std::size_t>(i)];
        ASSERT_TRUE(frame.SendToTempDiskFile());
        if (i % 3 == 0)
            frame.SetRotation(frame.GetRotation());
        else
            files.push_back(frame.GetTempFile(1));
    }
    // The figure: room for kRoom clips (both images) above the threshold,
    // less every clip not wholly on disk (one coming back counts already)
    // and the copies (half a clip each). The stack itself holds under 40
    // clips at a time, so all the rest of the room is the read-ahead's.
    constexpr int kRoom = 50;
    const int64_t clipBytes = 2 * int64_t{w} * h * 4;
    std::atomic<int64_t> most{0};
    std::atomic<bool> helpersAsked{false};
    SetFreeMemForTesting([&] {
        int held = 0;
        for (const auto& frame : gFrames)
            held += frame->GetResidency() != Frame::Residency::OnDisk;
        const int64_t bytes = held * clipBytes + ClipCopyBytes();
        int64_t seen = most.load();
        while (bytes > seen && !most.compare_exchange_weak(seen, bytes)) {
        }
        if (!IsMainThread())
            helpersAsked = true;
        return kLowMemoryThreshold + kRoom * clipBytes - bytes;
    });
    EXPECT_TRUE(StackOn(4) == inMemory);
    EXPECT_TRUE(helpersAsked.load());
    EXPECT_EQ(ClipCopyBytes(), 0);
    // The helpers stop at the figure. The stack's own swap-ins, for clips
    // the helpers have not reached, may still take a few clips past it, as
    // the swap rules let the stack's next clip come back when memory is low
    // (racing the helpers' swap-outs of finished clips); a read-ahead blind
    // to the figure would hold its whole distance ahead on top.
    EXPECT_LE(most.load(), (kRoom + 4) * clipBytes);
    int onDisk = 0;
    for (const auto& frame : gFrames)
        onDisk += frame->GetResidency() == Frame::Residency::OnDisk;
    EXPECT_EQ(TempFileCount(), 2 * onDisk);
    EXPECT_TRUE(gFrames[0]->InMemory());
    // The rendered clips were only read: still on disk, in the same files.
    for (int i = 1, k = 0; i < clips; ++i) {
        if (i % 3 == 0)
            continue;
        EXPECT_EQ(gFrames[static_cast<std::size_t>(i)]->GetTempFile(1), files[static_cast<std::size_t>(k++)])
            << "clip " << i;
    }
}

TEST_F(ThreadedStackTest, ANewStackShowsWhatItsProjectionShows)
{
    // The bands show themselves as they finish; the picture must be the
    // projection of the whole stack, pixel for pixel, on any thread count.
    gRedChannelOn = gGreenChannelOn = gBlueChannelOn = true;
    for (const auto [w, h, clips] : {std::array{64, 150, 45}, std::array{300, 40, 20}}) {
        for (int threads : {1, 8}) {
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " on " + std::to_string(threads));
            Reset();
            MakeClips(w, h, clips);
            gNumThreads = threads;
            ASSERT_TRUE(CreateInitialStack());
            std::vector<uint8_t> shown;
            for (int y = 0; y < h; ++y)
                shown.insert(shown.end(), gFrameStack->PixelRow(y), gFrameStack->PixelRow(y) + 4 * w);
            ProjectStackIntoFrameStackGWorld(false);
            for (int y = 0; y < h; ++y)
                ASSERT_TRUE(
                    std::equal(shown.begin() + 4 * w * y, shown.begin() + 4 * w * (y + 1), gFrameStack->PixelRow(y)))
                    << "row " << y;
        }
    }
}
