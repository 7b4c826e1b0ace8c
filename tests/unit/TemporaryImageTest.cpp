// tests/unit/TemporaryImageTest.cpp: scratch images and the out-of-memory
// alert raised when one cannot be made.
#include "imaging/TemporaryImage.h"

#include <thread>

#include <gtest/gtest.h>

#include "tests/support/ScriptedInteraction.h"
#include "tests/support/TestImages.h"

TEST(TemporaryImage, NewImageIsWhiteOfTheSize)
{
    ScriptedInteraction ui;
    auto image = NewTemporaryImage(MakeRect(0, 0, 3, 5));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->Width(), 5);
    EXPECT_EQ(image->Height(), 3);
    EXPECT_EQ(image->GetDepth(), 32);
    EXPECT_EQ(image->GetClutID(), -1);
    EXPECT_EQ(GetPixel(*image, 4, 2), (Argb{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(ui.AlertCount(), 0);
}

TEST(TemporaryImage, CopyHoldsEveryByte)
{
    auto source = MakeImage(7, 4);
    FillNoise(*source, 1);
    SetPixel(*source, 6, 3, {0x12, 1, 2, 3});
    auto copy = NewTemporaryCopy(*source);
    ASSERT_TRUE(copy);
    EXPECT_TRUE(SamePixels(*copy, *source, true));
}

TEST(TemporaryImage, OutOfMemoryAlertsAndReturnsNull)
{
    ScriptedInteraction ui;
    FailNextImageAllocationsForTesting(1);
    EXPECT_FALSE(NewTemporaryImage(MakeRect(0, 0, 4, 4)));
    EXPECT_EQ(ui.AlertCount(), 1);
    EXPECT_EQ(ui.Alerts()[0].request.title, "Out of Memory Error");
    auto source = MakeImage(4, 4);
    FailNextImageAllocationsForTesting(1);
    EXPECT_FALSE(NewTemporaryCopy(*source));
    EXPECT_EQ(ui.AlertCount(), 2);
    FailNextImageAllocationsForTesting(0);
}

TEST(TemporaryImage, AdoptGivesSizeAndPixelsOrLeavesTarget)
{
    ScriptedInteraction ui;
    auto result = MakeImage(5, 2);
    FillNoise(*result, 2);
    auto target = MakeImage(3, 3);
    FillNoise(*target, 3);
    auto before = MakeImage(3, 3);
    *before = *target;
    FailNextImageAllocationsForTesting(1);
    EXPECT_FALSE(AdoptTemporaryImage(*target, *result));
    FailNextImageAllocationsForTesting(0);
    EXPECT_EQ(ui.AlertCount(), 1);
    EXPECT_TRUE(SamePixels(*target, *before, true));
    EXPECT_TRUE(AdoptTemporaryImage(*target, *result));
    EXPECT_TRUE(SamePixels(*target, *result, true));
}

TEST(TemporaryImage, WorkerAlertGoesToMainThread)
{
    ScriptedInteraction ui;
    TestMainThreadQueue queue;
    bool made = true;
    std::thread worker([&] {
        FailNextImageAllocationsForTesting(1);
        made = NewTemporaryImage(MakeRect(0, 0, 2, 2)) != nullptr;
    });
    worker.join();
    EXPECT_FALSE(made);
    EXPECT_EQ(ui.AlertCount(), 0);
    EXPECT_EQ(queue.Drain(), 1);
    EXPECT_EQ(ui.AlertCount(), 1);
}
