// tests/unit/MemoryPolicyTest.cpp: swapping clips to temporary files and
// back under an injected free-memory figure: the threshold, the victim rule,
// round trips, failures, and several threads at once.
#include "engine/MemoryPolicy.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "files/ImportedClips.h"
#include "imaging/SpareImage.h"
#include "platform/core/ResidentSet.h"
#include "platform/core/StandardAlerts.h"
#include "tests/support/ScriptedInteraction.h"
#include "tests/unit/EngineFixture.h"

namespace {

constexpr int64_t kPlenty = int64_t{1} << 34;

class MemoryPolicyTest : public EngineFixture {
protected:
    void SetFigure(int64_t bytes)
    {
        SetFreeMemForTesting([bytes] { return bytes; });
    }
    // Copies of a clip's images, to compare after a round trip.
    struct Snapshot {
        std::unique_ptr<GWorldWrapper> original, modified;
    };
    static Snapshot Take(Frame* frame)
    {
        Snapshot s;
        FrameLease o = frame->GetOriginal();
        FrameLease m = frame->GetModified(false);
        s.original = MakeImage(o->Width(), o->Height());
        *s.original = *o;
        s.modified = MakeImage(m->Width(), m->Height());
        *s.modified = *m;
        return s;
    }
    static bool Same(Frame* frame, const Snapshot& s)
    {
        FrameLease o = frame->GetOriginal();
        FrameLease m = frame->GetModified(false);
        return o && m && SamePixels(*o, *s.original) && SamePixels(*m, *s.modified);
    }
};

} // namespace

TEST_F(MemoryPolicyTest, ThresholdIsFifteenMillionBytes)
{
    SetFigure(15000000);
    EXPECT_FALSE(FreeMemoryIsLow());
    SetFigure(14999999);
    EXPECT_TRUE(FreeMemoryIsLow());

    for (int i = 0; i < 4; ++i)
        AddClip(16, 12, static_cast<uint32_t>(i));
    ASSERT_TRUE(gFrames[3]->SendToTempDiskFile());
    ASSERT_EQ(TempFileCount(), 2);
    // Bringing clip 3 back at exactly the threshold makes no room.
    SetFigure(15000000);
    ASSERT_TRUE(gFrames[3]->RetrieveFromTempDiskFile());
    EXPECT_EQ(TempFileCount(), 0);
    for (auto& frame : gFrames)
        EXPECT_TRUE(frame->InMemory());
    // One byte less: clip 1, the first candidate, goes out first.
    SetFigure(kPlenty);
    ASSERT_TRUE(gFrames[3]->SendToTempDiskFile());
    SetFigure(14999999);
    ASSERT_TRUE(gFrames[3]->RetrieveFromTempDiskFile());
    EXPECT_TRUE(gFrames[0]->InMemory());
    EXPECT_FALSE(gFrames[1]->InMemory());
    EXPECT_TRUE(gFrames[2]->InMemory());
    EXPECT_TRUE(gFrames[3]->InMemory());
    EXPECT_EQ(TempFileCount(), 2);
}

TEST_F(MemoryPolicyTest, RoundTripKeepsBytesSettingsAndOwnSize)
{
    gImageDim = MakeRect(0, 0, 480, 640);
    Frame* frame = AddClip(320, 240, 1); // smaller than the document, as crop and resample make them
    frame->SetNormalizationFactor(0.75);
    frame->SetAlignment(MakePoint(3, -2), 2);
    ASSERT_TRUE(frame->UpdateFrame(false));
    frame->SetRotation(12); // dirty again before going out
    const Snapshot before = Take(frame);
    ASSERT_TRUE(frame->SendToTempDiskFile());
    EXPECT_FALSE(frame->InMemory());
    const std::string files[2] = {frame->GetTempFile(0), frame->GetTempFile(1)};
    EXPECT_TRUE(std::filesystem::exists(files[0]));
    EXPECT_TRUE(std::filesystem::exists(files[1]));
    ASSERT_TRUE(frame->RetrieveFromTempDiskFile());
    EXPECT_TRUE(frame->InMemory());
    EXPECT_TRUE(Same(frame, before));
    EXPECT_EQ(frame->GetOriginal()->Width(), 320);
    EXPECT_EQ(frame->GetModified(false)->Height(), 240);
    EXPECT_TRUE(frame->IsDirty());
    EXPECT_EQ(frame->GetRotation(), 12);
    EXPECT_EQ(frame->GetNormalizationFactor(), 0.75);
    EXPECT_EQ(frame->GetAlignment(2), MakePoint(3, -2));
    EXPECT_FALSE(std::filesystem::exists(files[0]));
    EXPECT_FALSE(std::filesystem::exists(files[1]));
    EXPECT_EQ(TempFileCount(), 0);
}

TEST_F(MemoryPolicyTest, ImageGettersBringTheClipBack)
{
    Frame* frame = AddClip(33, 7, 2);
    const Snapshot before = Take(frame);
    ASSERT_TRUE(frame->SendToTempDiskFile());
    FrameLease lease = frame->GetModified(true);
    ASSERT_TRUE(lease);
    EXPECT_TRUE(frame->InMemory());
    EXPECT_FALSE(frame->IsDirty());
    lease.reset();
    ASSERT_TRUE(frame->SendToTempDiskFile());
    EXPECT_TRUE(frame->SetOriginal(MakeImage(33, 7).release()));
    EXPECT_TRUE(frame->InMemory());
}

TEST_F(MemoryPolicyTest, VictimsAreNeverClipZeroOrClipsInUse)
{
    for (int i = 0; i < 4; ++i)
        AddClip(8, 8, static_cast<uint32_t>(i));
    // Clip 1 leased, clip 2 updating-free but leased on another thread: only 3 qualifies.
    FrameLease pinned = gFrames[1]->GetModified(false);
    std::mutex m;
    std::condition_variable cv;
    bool leased = false, release = false;
    std::thread holder([&] {
        FrameLease other = gFrames[2]->GetOriginal();
        std::unique_lock<std::mutex> lock(m);
        leased = true;
        cv.notify_all();
        cv.wait(lock, [&] { return release; });
    });
    {
        std::unique_lock<std::mutex> lock(m);
        cv.wait(lock, [&] { return leased; });
    }
    EXPECT_TRUE(SendAFrameToATempDiskFile());
    EXPECT_TRUE(gFrames[0]->InMemory());
    EXPECT_TRUE(gFrames[1]->InMemory());
    EXPECT_TRUE(gFrames[2]->InMemory());
    EXPECT_FALSE(gFrames[3]->InMemory());
    // Nothing else qualifies now.
    EXPECT_FALSE(SendAFrameToATempDiskFile());
    {
        std::lock_guard<std::mutex> lock(m);
        release = true;
        cv.notify_all();
    }
    holder.join();
    pinned.reset();
    EXPECT_TRUE(SendAFrameToATempDiskFile());
    EXPECT_FALSE(gFrames[1]->InMemory());
    EXPECT_TRUE(SendAFrameToATempDiskFile());
    EXPECT_FALSE(gFrames[2]->InMemory());
    EXPECT_FALSE(SendAFrameToATempDiskFile()); // clip 0 never
    EXPECT_TRUE(gFrames[0]->InMemory());
}

TEST_F(MemoryPolicyTest, OnlyClipZeroInMemoryStillReadsTheClip)
{
    for (int i = 0; i < 5; ++i)
        AddClip(8, 8, static_cast<uint32_t>(i));
    const Snapshot three = Take(gFrames[3].get());
    for (int i = 1; i < 5; ++i)
        ASSERT_TRUE(gFrames[i]->SendToTempDiskFile());
    SetFigure(1000);
    FrameLease lease = gFrames[3]->GetOriginal();
    ASSERT_TRUE(lease);
    lease.reset();
    EXPECT_TRUE(Same(gFrames[3].get(), three));
    EXPECT_TRUE(gFrames[0]->InMemory());
    EXPECT_FALSE(gFrames[1]->InMemory());
    EXPECT_FALSE(gFrames[2]->InMemory());
    EXPECT_FALSE(gFrames[4]->InMemory());
}

TEST_F(MemoryPolicyTest, SaturateMemoryGoesInOrderAndStopsAtTheFirstLowAnswer)
{
    for (int i = 0; i < 5; ++i)
        AddClip(8, 8, static_cast<uint32_t>(i));
    for (int i = 1; i < 5; ++i)
        ASSERT_TRUE(gFrames[i]->SendToTempDiskFile());
    // Answers in the order asked: the loop's check for clip 0 (in memory),
    // its check for clip 1 and the swap-in's own check, then the same for
    // clip 2, then low at the check for clip 3.
    std::vector<int64_t> answers = {kPlenty, kPlenty, kPlenty, kPlenty, kPlenty, 1000};
    std::atomic<int> asked{0};
    SetFreeMemForTesting([&] {
        const int i = asked++;
        return i < static_cast<int>(answers.size()) ? answers[static_cast<std::size_t>(i)] : kPlenty;
    });
    SaturateMemory();
    EXPECT_EQ(asked.load(), 6);
    EXPECT_TRUE(gFrames[1]->InMemory());
    EXPECT_TRUE(gFrames[2]->InMemory());
    EXPECT_FALSE(gFrames[3]->InMemory());
    EXPECT_FALSE(gFrames[4]->InMemory());
}

TEST_F(MemoryPolicyTest, FailedSwapOutKeepsTheClipAndLeavesNoFile)
{
    Frame* frame = AddClip(10, 10, 3);
    FailPictFileWriteAfterForTesting(1); // the modified image's file fails
    EXPECT_FALSE(frame->SendToTempDiskFile());
    EXPECT_TRUE(frame->InMemory());
    EXPECT_EQ(TempFileCount(), 0);
    EXPECT_TRUE(frame->GetModified(false));
    // Too wide to record: kept in memory too.
    Frame* wide = AddClip(kMaxPictWidth + 1, 1, 4);
    EXPECT_FALSE(wide->SendToTempDiskFile());
    EXPECT_TRUE(wide->InMemory());
    EXPECT_EQ(TempFileCount(), 0);
}

TEST_F(MemoryPolicyTest, TruncatedFileKeepsTheClipOnDisk)
{
    ScriptedInteraction interaction;
    Frame* frame = AddClip(70, 9, 5);
    ASSERT_TRUE(frame->SendToTempDiskFile());
    const std::string modified = frame->GetTempFile(1);
    std::filesystem::resize_file(modified, std::filesystem::file_size(modified) - 20);
    EXPECT_FALSE(frame->RetrieveFromTempDiskFile());
    EXPECT_FALSE(frame->InMemory());
    EXPECT_TRUE(std::filesystem::exists(frame->GetTempFile(0)));
    EXPECT_TRUE(std::filesystem::exists(modified));
    EXPECT_FALSE(frame->GetModified(true));
    EXPECT_FALSE(frame->GetOriginal());
    EXPECT_FALSE(frame->UpdateFrame(true));
    EXPECT_FALSE(frame->SetModified(MakeImage(70, 9).release()));
    EXPECT_EQ(interaction.AlertCount(), 0);
}

TEST_F(MemoryPolicyTest, OutOfMemoryAtSwapInShowsOneAlert)
{
    ScriptedInteraction interaction;
    Frame* frame = AddClip(12, 12, 6);
    ASSERT_TRUE(frame->SendToTempDiskFile());
    FailNextImageAllocationsForTesting(1);
    EXPECT_FALSE(frame->RetrieveFromTempDiskFile());
    EXPECT_FALSE(frame->InMemory());
    ASSERT_EQ(interaction.AlertCount(), 1);
    EXPECT_EQ(interaction.Alerts()[0].request.title, std::string(kOutOfMemoryTitle));
    EXPECT_EQ(TempFileCount(), 2);
    EXPECT_TRUE(frame->RetrieveFromTempDiskFile());
}

TEST_F(MemoryPolicyTest, FourThreadsNeedingOneClipReadItOnce)
{
    Frame* frame = AddClip(300, 200, 7);
    const Snapshot before = Take(frame);
    for (int round = 0; round < 10; ++round) {
        ASSERT_TRUE(frame->SendToTempDiskFile());
        std::vector<GWorldWrapper*> seen(4, nullptr);
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&, t] {
                FrameLease lease = frame->GetOriginal();
                seen[static_cast<std::size_t>(t)] = lease.get();
            });
        for (auto& thread : threads)
            thread.join();
        // A second read would have found the files gone and failed.
        for (GWorldWrapper* image : seen)
            EXPECT_NE(image, nullptr);
        EXPECT_TRUE(Same(frame, before));
    }
}

TEST_F(MemoryPolicyTest, SwapOutNeverFreesALeasedImage)
{
    for (int i = 0; i < 3; ++i)
        AddClip(64, 64, static_cast<uint32_t>(10 + i));
    const Snapshot one = Take(gFrames[1].get());
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (!stop) {
            FrameLease lease = gFrames[1]->GetModified(false);
            if (lease) {
                // Reading every byte while the other thread swaps: ASan and
                // TSan report any use of a freed image.
                EXPECT_TRUE(SamePixels(*lease, *one.modified));
            }
        }
    });
    std::thread swapper([&] {
        for (int i = 0; i < 200; ++i) {
            SendAFrameToATempDiskFile();
            gFrames[1]->RetrieveFromTempDiskFile();
            gFrames[2]->RetrieveFromTempDiskFile();
        }
        stop = true;
    });
    swapper.join();
    reader.join();
    EXPECT_TRUE(Same(gFrames[1].get(), one));
}

TEST_F(MemoryPolicyTest, ConcurrentSwapOutsUseDistinctFiles)
{
    std::vector<Snapshot> before;
    for (int i = 0; i < 5; ++i) {
        AddClip(40 + i, 30, static_cast<uint32_t>(20 + i));
        before.push_back(Take(gFrames[static_cast<std::size_t>(i)].get()));
    }
    std::vector<std::thread> threads;
    for (int t = 1; t <= 4; ++t)
        threads.emplace_back([&, t] {
            SetThisThreadIndex(t - 1);
            EXPECT_TRUE(gFrames[static_cast<std::size_t>(t)]->SendToTempDiskFile());
            SetThisThreadIndex(kNoThreadSlot);
        });
    for (auto& thread : threads)
        thread.join();
    std::set<std::string> names;
    for (int i = 1; i <= 4; ++i) {
        names.insert(gFrames[static_cast<std::size_t>(i)]->GetTempFile(0));
        names.insert(gFrames[static_cast<std::size_t>(i)]->GetTempFile(1));
    }
    EXPECT_EQ(names.size(), 8u);
    EXPECT_EQ(TempFileCount(), 8);
    threads.clear();
    for (int t = 1; t <= 4; ++t)
        threads.emplace_back([&, t] { EXPECT_TRUE(gFrames[static_cast<std::size_t>(t)]->RetrieveFromTempDiskFile()); });
    for (auto& thread : threads)
        thread.join();
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(Same(gFrames[static_cast<std::size_t>(i)].get(), before[static_cast<std::size_t>(i)]));
    EXPECT_EQ(TempFileCount(), 0);
}

TEST_F(MemoryPolicyTest, DeletingAClipOnDiskRemovesItsFiles)
{
    AddClip(8, 8, 1);
    AddClip(8, 8, 2);
    ASSERT_TRUE(gFrames[1]->SendToTempDiskFile());
    EXPECT_EQ(TempFileCount(), 2);
    gFrames.pop_back();
    EXPECT_EQ(TempFileCount(), 0);
}

TEST_F(MemoryPolicyTest, ScratchImagesFollowTheThreadCountAndTheDocumentSize)
{
    gImageDim = MakeRect(0, 0, 480, 640);
    CreateTempGWWs(4);
    ASSERT_EQ(gTempGWs.size(), 4u);
    GWorldWrapper* first = gTempGWs[0].get();
    GWorldWrapper* second = gTempGWs[1].get();
    CreateTempGWWs(2);
    ASSERT_EQ(gTempGWs.size(), 2u);
    EXPECT_EQ(gTempGWs[0].get(), first);
    EXPECT_EQ(gTempGWs[1].get(), second);
    gImageDim = MakeRect(0, 0, 960, 1280);
    CreateTempGWWs(2);
    for (const auto& image : gTempGWs) {
        EXPECT_EQ(image->Width(), 1280);
        EXPECT_EQ(image->Height(), 960);
    }
    // Each worker's slot, and the main thread's own image, never a worker's.
    GWorldWrapper& mine = ThisThreadScratchImage(gImageDim);
    EXPECT_NE(&mine, gTempGWs[0].get());
    GWorldWrapper* workerImage = nullptr;
    std::thread worker([&] {
        SetThisThreadIndex(1);
        workerImage = &ThisThreadScratchImage(MakeRect(0, 0, 10, 20));
        SetThisThreadIndex(kNoThreadSlot);
    });
    worker.join();
    EXPECT_EQ(workerImage, gTempGWs[1].get());
    EXPECT_EQ(gTempGWs[1]->Width(), 20); // remade by its owner for the image it serves
    // A render with debayer after the document grew stays in bounds (ASan).
    Frame* small = AddClip(640, 480, 30);
    small->SetDebayer(0, 2);
    ASSERT_TRUE(small->UpdateFrame(false));
    Frame* large = AddClip(1280, 960, 31);
    large->SetDebayer(1, 2);
    ASSERT_TRUE(large->UpdateFrame(false));
}

// The spare image a rotation leaves is given back when memory runs low, and
// when the scratch images are made anew.
TEST_F(MemoryPolicyTest, LowMemoryAndNewScratchImagesFreeTheSpare)
{
    AddClip(8, 8, 1);
    KeepSpareImage(MakeImage(256, 200));
    ASSERT_GT(SpareImageBytesForTesting(), 0u);
    EXPECT_FALSE(SendAFrameToATempDiskFile()); // only clip 0
    EXPECT_EQ(SpareImageBytesForTesting(), 0u);
    KeepSpareImage(MakeImage(256, 200));
    gImageDim = MakeRect(0, 0, 8, 8);
    CreateTempGWWs(1);
    EXPECT_EQ(SpareImageBytesForTesting(), 0u);
}

TEST_F(MemoryPolicyTest, ManyClipsKeepTheResidentSetWithinTheBudget)
{
    // The budget is what the process holds now plus 40 MiB; the free figure
    // is the budget less the present resident set, as the system would say.
    // 300 clips of 320 × 240 (two images each, 184 MB) cannot all stay in
    // memory: clips swapped out must give their memory back at once, through
    // import and through passes that bring clips back on several threads.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's shadow memory and quarantine are resident too";
#endif
    if (!ResetPeakResidentSet() || ProcessStatusBytes("VmRSS") < 0)
        GTEST_SKIP() << "no /proc peak reset here";
    const int64_t budget = ProcessStatusBytes("VmRSS") + (int64_t{40} << 20);
    SetFreeMemForTesting([budget] { return budget - ProcessStatusBytes("VmRSS"); });
    constexpr int kClips = 300;
    for (int i = 0; i < kClips; ++i)
        (void)AppendImportedClip(std::unique_ptr<Frame>(AddClip(320, 240, static_cast<uint32_t>(i), false)));
    int swapped = 0;
    for (auto& frame : gFrames)
        swapped += frame->InMemory() ? 0 : 1;
    EXPECT_GT(swapped, kClips / 2);

    // Two passes over every clip, split over four threads.
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([t] {
                for (int i = t; i < kClips; i += 4) {
                    FrameLease lease = gFrames[static_cast<std::size_t>(i)]->GetOriginal();
                    EXPECT_TRUE(lease);
                }
            });
        for (auto& thread : threads)
            thread.join();
    }
    const int64_t peak = ProcessStatusBytes("VmHWM");
    EXPECT_LE(peak, budget + budget / 20) << "budget " << (budget >> 20) << " MiB, peak " << (peak >> 20) << " MiB";
    SetFreeMemForTesting([] { return kPlenty; });
}
