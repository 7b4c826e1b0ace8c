// tests/unit/GWorldWrapperTest.cpp: the image buffer: creation, resizing,
// assignment, stretching copies and the per-thread drawing target.
#include "platform/core/GWorldWrapper.h"

#include <chrono>
#include <cstdint>
#include <cstring>
#include <new>
#include <thread>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include "platform/core/FreeMemory.h"
#include "platform/core/LargePages.h"
#include "platform/core/PretouchedBlocks.h"

#include "tests/support/TestImages.h"

static_assert(!std::is_copy_constructible_v<GWorldWrapper>);
static_assert(!std::is_move_constructible_v<GWorldWrapper>);
static_assert(std::is_copy_assignable_v<GWorldWrapper>);

namespace {

bool AllWhite(const GWorldWrapper& image)
{
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x)
            if (!(GetPixel(image, x, y) == Argb{0xFF, 0xFF, 0xFF, 0xFF}))
                return false;
    return true;
}

}  // namespace

TEST(GWorldWrapper, NewImagesAreWhiteWithFullRows)
{
    for (auto [w, h] : std::vector<std::pair<int, int>>{{1, 1}, {640, 480}, {5000, 10}, {3, 7}}) {
        GWorldWrapper image(32, MakeRect(0, 0, h, w), -1);
        EXPECT_EQ(image.GetDim(), MakeRect(0, 0, h, w));
        EXPECT_GE(image.GetSrcRowBytes(), 4 * w) << w;
        EXPECT_TRUE(AllWhite(image)) << w << "x" << h;
    }
}

TEST(GWorldWrapper, EmptyImagesAreUsable)
{
    for (auto [w, h] : std::vector<std::pair<int, int>>{{0, 0}, {0, 7}, {7, 0}}) {
        GWorldWrapper image(32, MakeRect(0, 0, h, w), -1);
        EXPECT_EQ(image.Width(), w);
        EXPECT_EQ(image.Height(), h);
        image.EraseGWorldRect();
        auto other = MakeImage(4, 4);
        FillGradient(*other);
        image = *other;  // grows from empty
        EXPECT_TRUE(SamePixels(image, *other, true));
    }
}

TEST(GWorldWrapper, NegativeSidesThrow)
{
    EXPECT_THROW(GWorldWrapper(32, MakeRect(0, 0, -1, 10), -1), std::bad_alloc);
    EXPECT_THROW(GWorldWrapper(32, MakeRect(0, 0, 10, -1), -1), std::bad_alloc);
}

TEST(GWorldWrapper, WideImagesKeepTheirWholeRow)
{
    // Wider than the 14 bits of the old row-length field.
    GWorldWrapper image(32, MakeRect(0, 0, 3, 5000), -1);
    EXPECT_GE(image.GetSrcRowBytes(), 20000);
    SetPixel(image, 4999, 2, {1, 2, 3, 4});
    EXPECT_EQ(GetPixel(image, 4999, 2), (Argb{1, 2, 3, 4}));
    EXPECT_EQ(GetPixel(image, 4998, 2), (Argb{0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(GWorldWrapper, ResizeKeepsPixelsWhenBottomAndRightAreTheSame)
{
    auto image = MakeImage(20, 10);
    FillGradient(*image);
    auto copy = MakeImage(20, 10);
    FillGradient(*copy);
    image->UpdateGWorldFromRect(MakeRect(3, 5, 10, 20));  // top and left are not compared
    EXPECT_EQ(image->GetDim(), MakeRect(0, 0, 10, 20));
    EXPECT_TRUE(SamePixels(*image, *copy, true));

    image->UpdateGWorldFromRect(MakeRect(0, 0, 11, 30));
    EXPECT_EQ(image->GetDim(), MakeRect(0, 0, 11, 30));
    EXPECT_TRUE(AllWhite(*image));
}

TEST(GWorldWrapper, CopyIntoSameBottomRightOtherOriginTakesSourceSize)
{
    // Same bottom and right as the source but a smaller buffer: the copy
    // must not keep it.
    GWorldWrapper dest(32, MakeRect(3, 5, 10, 20), -1);
    auto source = MakeImage(20, 10);
    FillGradient(*source);
    dest = *source;
    EXPECT_EQ(dest.GetDim(), source->GetDim());
    EXPECT_TRUE(SamePixels(dest, *source, true));
    GWorldWrapper other(32, MakeRect(3, 5, 10, 20), -1);
    CopyGWorldWrapper(*source, other);
    EXPECT_TRUE(SamePixels(other, *source, true));
}

TEST(GWorldWrapper, FailedResizeLeavesImageAsItWas)
{
    auto image = MakeImage(20, 10);
    FillGradient(*image);
    auto copy = MakeImage(20, 10);
    FillGradient(*copy);
    FailNextImageAllocationsForTesting(1);
    EXPECT_THROW(image->UpdateGWorldFromRect(MakeRect(0, 0, 50, 50)), std::bad_alloc);
    EXPECT_EQ(image->GetDim(), MakeRect(0, 0, 10, 20));
    EXPECT_TRUE(SamePixels(*image, *copy, true));

    auto big = MakeImage(40, 40);
    FailNextImageAllocationsForTesting(1);
    EXPECT_THROW(*image = *big, std::bad_alloc);
    EXPECT_TRUE(SamePixels(*image, *copy, true));

    FailNextImageAllocationsForTesting(1);
    EXPECT_THROW(MakeImage(5, 5), std::bad_alloc);
    EXPECT_NO_THROW(MakeImage(5, 5));  // only the next one fails
}

TEST(GWorldWrapper, AssignmentCopiesSizeAndEveryByte)
{
    auto source = MakeImage(100, 50);
    FillNoise(*source, 7);
    SetPixel(*source, 3, 4, {0x12, 1, 2, 3});  // alpha is copied too
    auto target = MakeImage(10, 10);
    *target = *source;
    EXPECT_EQ(target->GetDim(), MakeRect(0, 0, 50, 100));
    EXPECT_TRUE(SamePixels(*target, *source, true));

    *target = *target;  // self-assignment changes nothing
    EXPECT_TRUE(SamePixels(*target, *source, true));
}

TEST(GWorldWrapper, AssignmentFromPaddedSource)
{
    SetImageRowPaddingForTesting(20);
    auto source = MakeImage(37, 5);
    SetImageRowPaddingForTesting(0);
    FillNoise(*source, 3);
    auto target = MakeImage(10, 10);
    *target = *source;
    EXPECT_TRUE(SamePixels(*target, *source, true));
    EXPECT_TRUE(source->RowPaddingIntact());
    EXPECT_TRUE(target->RowPaddingIntact());
}

TEST(GWorldWrapper, SameSizeCopyIsExact)
{
    auto source = MakeImage(13, 9);
    FillNoise(*source, 11);
    auto target = MakeImage(13, 9);
    source->CopyWorldBits(source->GetDim(), target->GetGWorldPtr());
    EXPECT_TRUE(SamePixels(*target, *source, true));
}

TEST(GWorldWrapper, DoubleStretchRepeatsEachPixel)
{
    auto source = MakeImage(5, 3);
    FillNoise(*source, 5);
    auto target = MakeImage(10, 6);
    source->CopyWorldBits(MakeRect(0, 0, 6, 10), target->GetGWorldPtr());
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 10; ++x)
            ASSERT_EQ(GetPixel(*target, x, y), GetPixel(*source, x / 2, y / 2)) << x << "," << y;
}

TEST(GWorldWrapper, HalfShrinkTakesProportionalSource)
{
    auto source = MakeImage(9, 7);
    FillNoise(*source, 9);
    auto target = MakeImage(4, 3);
    source->CopyWorldBits(MakeRect(0, 0, 3, 4), target->GetGWorldPtr());
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)  // d takes floor(d * srcW / dstW)
            ASSERT_EQ(GetPixel(*target, x, y), GetPixel(*source, x * 9 / 4, y * 7 / 3)) << x << "," << y;
}

TEST(GWorldWrapper, PartialCopyWithSourceRect)
{
    auto source = MakeImage(8, 8);
    FillGradient(*source);
    auto target = MakeImage(8, 8);
    source->CopyWorldBits(MakeRect(2, 3, 4, 5), MakeRect(0, 0, 4, 4), target->GetGWorldPtr());
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(GetPixel(*target, x, y), GetPixel(*source, 3 + x / 2, 2 + y / 2));
    EXPECT_EQ(GetPixel(*target, 4, 4), (Argb{0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(GWorldWrapper, CopiesPastEitherEdgeStayInside)
{
    auto source = MakeImage(6, 6);
    FillGradient(*source);
    SetImageRowPaddingForTesting(8);
    auto target = MakeImage(6, 6);
    SetImageRowPaddingForTesting(0);
    // Destination hangs over every edge; the mapping is that of the whole rect.
    source->CopyWorldBits(MakeRect(-3, -3, 9, 9), target->GetGWorldPtr());
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(GetPixel(*target, x, y), GetPixel(*source, (x + 3) / 2, (y + 3) / 2));
    // Source rect past the source image: only existing source pixels are copied.
    auto target2 = MakeImage(6, 6);
    source->CopyWorldBits(MakeRect(3, 3, 9, 9), MakeRect(0, 0, 6, 6), target2->GetGWorldPtr());
    EXPECT_EQ(GetPixel(*target2, 0, 0), GetPixel(*source, 3, 3));
    EXPECT_EQ(GetPixel(*target2, 2, 2), GetPixel(*source, 5, 5));
    EXPECT_EQ(GetPixel(*target2, 3, 3), (Argb{0xFF, 0xFF, 0xFF, 0xFF}));
    // Empty, reversed and far-away rects copy nothing.
    auto before = MakeImage(6, 6);
    *before = *target2;
    source->CopyWorldBits(MakeRect(4, 4, 2, 2), target2->GetGWorldPtr());
    source->CopyWorldBits(MakeRect(0, 0, 0, 5), target2->GetGWorldPtr());
    source->CopyWorldBits(MakeRect(100, 100, 200, 200), target2->GetGWorldPtr());
    source->CopyWorldBits(MakeRect(-200, -200, -100, -100), target2->GetGWorldPtr());
    EXPECT_TRUE(SamePixels(*before, *target2, true));
    EXPECT_TRUE(target->RowPaddingIntact());
}

TEST(GWorldWrapper, CopyIntoCurrentPort)
{
    auto source = MakeImage(4, 4);
    FillGradient(*source);
    auto target = MakeImage(4, 4);
    source->CopyWorldBits(source->GetDim());  // no current port: nothing happens
    EXPECT_TRUE(AllWhite(*target));
    {
        UsingGWorld using_(*target);
        EXPECT_EQ(GetPort(), target->GetGWorldPtr());
        source->CopyWorldBits(source->GetDim());
    }
    EXPECT_EQ(GetPort(), nullptr);
    EXPECT_TRUE(SamePixels(*source, *target, true));
}

TEST(GWorldWrapper, DrawingPrimitivesStayInside)
{
    auto image = MakeImage(5, 4);
    const RGBColor black{0, 0, 0};
    image->FillRect(MakeRect(-2, -2, 2, 2), black);
    EXPECT_EQ(GetPixel(*image, 1, 1), (Argb{0xFF, 0, 0, 0}));
    EXPECT_EQ(GetPixel(*image, 2, 2), (Argb{0xFF, 0xFF, 0xFF, 0xFF}));
    image->EraseGWorldRect();
    image->DrawLine(MakePoint(-5, 0), MakePoint(10, 0), black);  // vertical, column 0
    for (int y = 0; y < 4; ++y)
        EXPECT_EQ(GetPixel(*image, 0, y).r, 0);
    EXPECT_EQ(GetPixel(*image, 1, 0).r, 0xFF);
    image->EraseGWorldRect();
    image->FrameRect(image->GetDim(), black);
    EXPECT_EQ(GetPixel(*image, 0, 0).r, 0);
    EXPECT_EQ(GetPixel(*image, 4, 3).r, 0);
    EXPECT_EQ(GetPixel(*image, 2, 2).r, 0xFF);
}

TEST(GWorldWrapper, DrawingTargetIsPerThread)
{
    auto shared = MakeImage(32, 16);
    FillNoise(*shared, 1);
    std::vector<std::thread> threads;
    std::vector<int> failures(16, 0);
    for (int t = 0; t < 16; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 20; ++round) {
                auto own = MakeImage(8 + t, 4 + round % 5);
                auto mine = MakeImage(3, 3);
                SetPort(mine->GetGWorldPtr());
                own->StartUsingGWorld();
                if (GetPort() != own->GetGWorldPtr())
                    ++failures[t];
                shared->CopyWorldBits(own->GetDim());  // stretch the shared image into our own
                own->FinishUsingGWorld();
                if (GetPort() != mine->GetGWorldPtr())
                    ++failures[t];
                auto copy = MakeImage(1, 1);
                *copy = *shared;
                if (!SamePixels(*copy, *shared, true))
                    ++failures[t];
                if (!(GetPixel(*own, 0, 0) == GetPixel(*shared, 0, 0)))
                    ++failures[t];
                SetPort(nullptr);
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    for (int t = 0; t < 16; ++t)
        EXPECT_EQ(failures[t], 0) << "thread " << t;
}

// A shrink in place keeps the base address and the rows the caller wrote at
// the new row length, puts the padding canary behind each new row, and
// unmaps the whole pages of a mapped block past the new size at once (a
// heap block, as under AddressSanitizer, is kept whole).
TEST(GWorldWrapper, ShrinkInPlaceKeepsRowsAndGivesBackTheTail)
{
    for (const int padding : {0, 12}) {
        SCOPED_TRACE(padding);
        SetImageRowPaddingForTesting(padding);
        auto image = MakeImage(400, 300); // 480 KB: a mapping of its own
        SetImageRowPaddingForTesting(0);
        uint8_t* base = image->GetPixBaseAddr();
        const std::size_t oldBytes = static_cast<std::size_t>(image->GetSrcRowBytes()) * 300;
        const std::ptrdiff_t rowBytes = image->RowBytesAtWidth(150);
        EXPECT_EQ(rowBytes, 150 * 4 + padding);
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 150; ++x)
                std::memcpy(base + y * rowBytes + x * 4, &x, 4);
        image->ShrinkInPlace(MakeRect(0, 0, 100, 150));
        ASSERT_EQ(image->Width(), 150);
        ASSERT_EQ(image->Height(), 100);
        EXPECT_EQ(image->GetPixBaseAddr(), base);
        EXPECT_EQ(image->GetSrcRowBytes(), rowBytes);
        EXPECT_TRUE(image->RowPaddingIntact());
        int wrong = 0;
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 150; ++x)
                wrong += std::memcmp(image->PixelRow(y) + x * 4, &x, 4) != 0;
        EXPECT_EQ(wrong, 0);
        if (image->HasMappedPixels()) {
            const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
            const std::size_t kept = (static_cast<std::size_t>(rowBytes) * 100 + page - 1) / page * page;
            unsigned char resident[1];
            EXPECT_EQ(::mincore(base + kept - page, page, resident), 0);
            EXPECT_EQ(::mincore(base + kept, page, resident), -1) << "the tail is still mapped";
            EXPECT_EQ(::mincore(base + (oldBytes - 1) / page * page, page, resident), -1);
        }
        image->ShrinkInPlace(MakeRect(0, 0, 101, 150)); // larger: nothing changes
        EXPECT_EQ(image->Height(), 100);
    }
}

// Large blocks begin on a 2 MiB boundary, whole and zero-filled to their
// last byte; small ones are plain mappings.
TEST(LargePages, LargeBlocksStartOnHugePageBoundaries)
{
    constexpr std::size_t kHuge = std::size_t{2} << 20;
    for (const std::size_t bytes : {kHuge, kHuge + 1, 5 * kHuge + 12345, std::size_t{100} << 10}) {
        SCOPED_TRACE(bytes);
        auto* block = static_cast<uint8_t*>(MapLargeBlock(bytes));
        ASSERT_NE(block, nullptr);
        if (bytes >= kHuge) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % kHuge, 0u);
        }
        EXPECT_EQ(block[0], 0);
        EXPECT_EQ(block[bytes - 1], 0);
        block[0] = block[bytes / 2] = block[bytes - 1] = 1;
        EXPECT_EQ(::munmap(block, bytes), 0);
    }
}

// Blocks kept ready are zero-filled, of the size asked for and no other, and
// are made only while free memory holds them twice over.
TEST(PretouchedBlocks, ReadyBlocksAreZeroAndMadeOnlyWithRoomToSpare)
{
    constexpr std::size_t kBytes = (std::size_t{3} << 20) + 4096;
    auto takeWithin = [](std::chrono::milliseconds wait) -> uint8_t* {
        const auto until = std::chrono::steady_clock::now() + wait;
        for (;;) {
            if (void* block = TakeReadyBlock(kBytes))
                return static_cast<uint8_t*>(block);
            if (std::chrono::steady_clock::now() >= until)
                return nullptr;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };

    SetFreeMemForTesting([] { return static_cast<int64_t>(3 * kBytes); });
    KeepBlocksReady(kBytes, 2);
    EXPECT_EQ(takeWithin(std::chrono::milliseconds(200)), nullptr);

    SetFreeMemForTesting({});
    KeepBlocksReady(kBytes, 2);
    uint8_t* block = takeWithin(std::chrono::seconds(20));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(TakeReadyBlock(kBytes - 4096), nullptr);
    const std::vector<uint8_t> zeros(kBytes, 0);
    EXPECT_EQ(std::memcmp(block, zeros.data(), kBytes), 0);
    block[kBytes - 1] = 1;
    EXPECT_EQ(::munmap(block, kBytes), 0);

    StopKeepingBlocksReady();
    EXPECT_EQ(TakeReadyBlock(kBytes), nullptr);
}

// A freed block is held for the next block of its size and counted as free
// memory meanwhile; a few are held at most, and none for long.
TEST(PretouchedBlocks, AFreedBlockGoesToTheNextOfItsSizeAndIsGivenBackSoon)
{
    constexpr std::size_t kBytes = std::size_t{3} << 20;
    SetFreeMemForTesting([] { return int64_t{1000}; });
    auto* first = static_cast<uint8_t*>(MapLargeBlock(kBytes));
    ASSERT_NE(first, nullptr);
    first[5] = 7;
    ASSERT_TRUE(RecycleBlock(first, kBytes));
    EXPECT_EQ(FreeMem(), int64_t{1000} + static_cast<int64_t>(kBytes));
    EXPECT_EQ(TakeReadyBlock(kBytes + 4096), nullptr);
    EXPECT_EQ(TakeReadyBlock(kBytes), first);
    EXPECT_EQ(first[5], 7);
    EXPECT_EQ(RecycledBlockBytes(), 0);

    // Two of any size are held, a third only within 8 MiB in all.
    void* second = MapLargeBlock(kBytes);
    void* third = MapLargeBlock(kBytes);
    ASSERT_TRUE(second && third);
    EXPECT_TRUE(RecycleBlock(first, kBytes));
    EXPECT_TRUE(RecycleBlock(second, kBytes));
    EXPECT_FALSE(RecycleBlock(third, kBytes));
    EXPECT_EQ(RecycledBlockBytes(), static_cast<int64_t>(2 * kBytes));

    // Held past a quarter of a second, they are given back by the next call.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(RecycleBlock(third, kBytes));
    EXPECT_EQ(RecycledBlockBytes(), static_cast<int64_t>(kBytes));
    EXPECT_EQ(TakeReadyBlock(kBytes), third);
    EXPECT_EQ(::munmap(third, kBytes), 0);
    SetFreeMemForTesting({});
}
