// tests/unit/ThreadedStackTest.cpp: the summed stack built on several
// threads gives the planes of one thread, bit for bit, with per-channel
// offsets, excluded clips, hot pixels and partial coverage.
#include "engine/SummedStack.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/ShellSettings.h"
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
    }
}
