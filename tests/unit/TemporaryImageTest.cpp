// tests/unit/TemporaryImageTest.cpp: scratch images, the out-of-memory
// alert raised when one cannot be made, and the per-thread spare image.
#include "imaging/TemporaryImage.h"

#include <thread>

#include <gtest/gtest.h>

#include "imaging/SpareImage.h"

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

// A mapped-size image given back as the spare is handed out again for its
// size, without an allocation; another size frees it first, and a small
// image is never kept.
TEST(SpareImage, ReusedForItsSizeOnly)
{
    ScriptedInteraction ui;
    ReleaseSpareImage();
    KeepSpareImage(MakeImage(16, 16));
    EXPECT_EQ(SpareImageBytesForTesting(), 0u);

    auto kept = MakeImage(256, 200);
    const uint8_t* pixels = kept->GetPixBaseAddr();
    const std::size_t bytes = static_cast<std::size_t>(kept->GetSrcRowBytes()) * 200;
    KeepSpareImage(std::move(kept));
    EXPECT_EQ(SpareImageBytesForTesting(), bytes);

    auto like = MakeImage(256, 200);
    FailNextImageAllocationsForTesting(1);
    auto taken = TakeSpareImage(*like);
    FailNextImageAllocationsForTesting(0);
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->GetPixBaseAddr(), pixels);
    EXPECT_EQ(taken->GetDim(), like->GetDim());
    EXPECT_EQ(SpareImageBytesForTesting(), 0u);

    KeepSpareImage(std::move(taken));
    auto other = TakeSpareImage(*MakeImage(200, 256));
    ASSERT_TRUE(other);
    EXPECT_EQ(other->Width(), 200);
    EXPECT_EQ(other->Height(), 256);
    EXPECT_EQ(SpareImageBytesForTesting(), 0u);

    KeepSpareImage(std::move(other));
    ReleaseSpareImage();
    EXPECT_EQ(SpareImageBytesForTesting(), 0u);
    EXPECT_EQ(ui.AlertCount(), 0);
}

// Each thread has its own spare: one kept on a worker is not handed out on
// another thread, and goes with the worker.
TEST(SpareImage, OnePerThread)
{
    ScriptedInteraction ui;
    ReleaseSpareImage();
    std::size_t onWorker = 0;
    std::thread worker([&] {
        KeepSpareImage(MakeImage(256, 200));
        onWorker = SpareImageBytesForTesting();
    });
    worker.join();
    EXPECT_GT(onWorker, 0u);
    EXPECT_EQ(SpareImageBytesForTesting(), 0u);
    auto like = MakeImage(256, 200);
    FailNextImageAllocationsForTesting(1);
    EXPECT_FALSE(TakeSpareImage(*like));
    FailNextImageAllocationsForTesting(0);
    EXPECT_EQ(ui.AlertCount(), 1);
}
