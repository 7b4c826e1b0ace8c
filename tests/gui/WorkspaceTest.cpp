// tests/gui/WorkspaceTest.cpp: whole documents saved to workspace files and
// opened again (every clip setting, mask, dark and flat frames), damaged
// files refused with the open document untouched, failed saves that keep the
// old file, and the Save Workspace, Export Clips and Open Workspace commands.
#include "files/Workspace.h"

#include <QCoreApplication>
#include <QEvent>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "shell/Alerts.h"
#include "app/Application.h"
#include "app/Commands.h"
#include "shell/DialogPointers.h"
#include "app/MainWindows.h"
#include "app/MenuBar.h"
#include "shell/OperationBoundsRect.h"
#include "shell/ShellHooks.h"
#include "engine/AlignmentThreshold.h"
#include "engine/Selection.h"
#include "engine/SummedStack.h"
#include "files/DumpWorkspaceInterface.h"
#include "files/FITSStack.h"
#include "files/PictOutput.h"
#include "files/SaveWorkspaceInterface.h"
#include "imaging/Measurements.h"
#include "platform/core/PictCodec.h"
#include "platform/core/StandardAlerts.h"
#include "platform/qt/Controls.h"
#include "platform/qt/MenuModel.h"
#include "platform/qt/ShellWindow.h"
#include "tests/gui/GuiTestApp.h"
#include "tests/support/ScriptedInteraction.h"
#include "tests/unit/EngineFixture.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> FileBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void PutFile(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::unique_ptr<GWorldWrapper> CopyOf(const GWorldWrapper& image)
{
    auto copy = MakeImage(image.Width(), image.Height());
    *copy = image;
    return copy;
}

// What a clip of the document held before it was saved.
struct SavedClip {
    FrameSettings settings;
    bool included;
    std::unique_ptr<GWorldWrapper> original;
};

class WorkspaceTest : public EngineFixture {
protected:
    void SetUp() override
    {
        GuiTestApp();
        EngineFixture::SetUp();
        StartShell({});
        mFolder = ReferenceScratchDir();
        gAlignmentBrightnessThreshold = 0;
        gPreviousHotPixelMaskThreshold = 256;
        gPreviousHotPixelMaskRadius = 0;
    }
    void TearDown() override
    {
        Flush();
        FailWorkspaceWriteAfterBytesForTesting(-1);
        DeleteFrameStack();
        EndShell();
        GetShellHooks() = ShellHooks{};
        gAlignmentBrightnessThreshold = 0;
        gPreviousHotPixelMaskThreshold = 256;
        gPreviousHotPixelMaskRadius = 0;
        EngineFixture::TearDown();
    }
    static void Flush() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
    static void Run(const char (&code)[5]) { ASSERT_TRUE(MenuHandler(FourCC(code), 129, 1)); }
    fs::path File(const std::string& name) const { return fs::path(mFolder) / name; }

    // A document of width × height with every kind of setting: four clips
    // (one excluded, one swapped out), a mask, dark and flat frames, the
    // thresholds, a stack and a bounds rectangle.
    void MakeDocument(int width, int height)
    {
        gImageDim = MakeRect(0, 0, height, width);
        gMaxClipDim = MakeRect(0, 0, 96, 128);
        for (uint32_t seed = 1; seed <= 4; ++seed)
            AddClip(width, height, seed);
        Frame& a = *gFrames[0];
        a.SetAlignment(Point{3, -2}, 1);
        a.SetAlignment(Point{-1, 4}, 2);
        a.SetAlignment(Point{0, 1}, 3);
        a.SetNormalizationFactor(1.23456);
        a.SetMedianFilter(2, 30);
        a.SetDarkFrameSubtracted(true);
        Frame& b = *gFrames[1];
        b.SetSumStackIncluded(false);
        b.SetFlatFrameDivided(true);
        b.SetNormalizationFactor(-0.5);
        Frame& c = *gFrames[2];
        c.SetDarkFrameSubtracted(true);
        c.SetFlatFrameDivided(true);
        c.SetMedianFilter(3, 255);
        c.SetAlignment(Point{-7, 7}, 2);
        gDarkFrame = MakeImage(width, height);
        FillNoise(*gDarkFrame, 77);
        gFlatFrame = MakeImage(width, height);
        FillGradient(*gFlatFrame);
        gAverageFlatFieldValue = CalculateAverageValue(*gFlatFrame, gImageDim);
        gHotPixelMask.Reset(width, height);
        gHotPixelMask.pixels[0] = 1;
        gHotPixelMask.pixels[gHotPixelMask.pixels.size() - 1] = 1;
        gHotPixelMask.pixels[width + 1] = 1;
        gAlignmentBrightnessThreshold = 42;
        gPreviousHotPixelMaskThreshold = 120;
        gPreviousHotPixelMaskRadius = 1;
        for (auto& frame : gFrames)
            ASSERT_TRUE(frame->UpdateFrame(false));
        ASSERT_TRUE(CreateInitialStack());
        gOperationBoundsRect = MakeRect(1, 1, 3, 3);
        ASSERT_EQ(gFrames[3]->TrySendToTempDiskFile(), Frame::SwapOutResult::swapped);
    }
    std::vector<SavedClip> Snapshot(bool allFrames) const
    {
        std::vector<SavedClip> clips;
        for (const auto& frame : gFrames) {
            if (!allFrames && !frame->GetSumStackIncluded())
                continue;
            clips.push_back(
                SavedClip{frame->GetSettings(), frame->GetSumStackIncluded(), CopyOf(*frame->GetOriginal())});
        }
        return clips;
    }
    // The document holds the first count clips of saved (all by default).
    static void ExpectLoaded(const std::vector<SavedClip>& saved, std::size_t count = SIZE_MAX)
    {
        count = std::min(count, saved.size());
        ASSERT_EQ(gFrames.size(), count);
        for (std::size_t i = 0; i < count; ++i) {
            SCOPED_TRACE(testing::Message() << "clip " << i);
            Frame& f = *gFrames[i];
            EXPECT_EQ(f.GetIndex(), static_cast<int>(i));
            EXPECT_TRUE(SamePixels(*f.GetOriginal(), *saved[i].original));
            const FrameSettings s = f.GetSettings();
            const FrameSettings& e = saved[i].settings;
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(s.alignment[c], e.alignment[c]) << c;
            EXPECT_EQ(f.GetSumStackIncluded(), saved[i].included);
            EXPECT_EQ(s.darkFrameSubtracted, e.darkFrameSubtracted);
            EXPECT_EQ(s.flatFrameDivided, e.flatFrameDivided);
            EXPECT_DOUBLE_EQ(s.normalizationFactor, e.normalizationFactor);
            EXPECT_EQ(s.medianFilterRadius, e.medianFilterRadius);
            EXPECT_EQ(s.medianFilterThreshold, e.medianFilterThreshold);
            // What a workspace does not keep comes back as in a new clip.
            EXPECT_EQ(s.rotation, 0);
            EXPECT_FALSE(s.debayerized);
            EXPECT_FALSE(s.interpolateInterlace);
        }
    }
    std::string mFolder;
};

} // namespace

TEST_F(WorkspaceTest, WholeDocumentRoundTripsInBothBlockKinds)
{
    ScriptedInteraction ui;
    for (bool pictures : {false, true}) {
        SCOPED_TRACE(pictures ? "pictures" : "raw");
        MakeDocument(9, 7);
        gFrames[0]->SetRotation(250); // not kept by workspaces
        const std::vector<SavedClip> saved = Snapshot(true);
        const std::vector<uint8_t> mask = gHotPixelMask.pixels;
        const std::unique_ptr<GWorldWrapper> dark = CopyOf(*gDarkFrame), flat = CopyOf(*gFlatFrame);
        const fs::path first = File("first.work"), second = File("second.work");
        ASSERT_EQ(SaveWorkspaceTo(first, pictures, true), WorkspaceWriteStatus::ok);

        // The open document is replaced whole by another one first.
        gAlignmentBrightnessThreshold = 3;
        gPreviousHotPixelMaskThreshold = 9;
        ASSERT_TRUE(OpenWorkspaceFrom(first));
        EXPECT_EQ(gImageDim, MakeRect(0, 0, 7, 9));
        ExpectLoaded(saved);
        EXPECT_EQ(gHotPixelMask.width, 9);
        EXPECT_EQ(gHotPixelMask.height, 7);
        EXPECT_EQ(gHotPixelMask.pixels, mask);
        ASSERT_TRUE(gDarkFrame && gFlatFrame);
        EXPECT_TRUE(SamePixels(*gDarkFrame, *dark));
        EXPECT_TRUE(SamePixels(*gFlatFrame, *flat));
        EXPECT_DOUBLE_EQ(gAverageFlatFieldValue, CalculateAverageValue(*flat, MakeRect(0, 0, 7, 9)));
        EXPECT_EQ(gAlignmentBrightnessThreshold, 42);
        EXPECT_EQ(gPreviousHotPixelMaskThreshold, 120);
        EXPECT_EQ(gPreviousHotPixelMaskRadius, 1);
        EXPECT_FALSE(HaveSummedStack());
        EXPECT_FALSE(OperationBoundsRectExists());
        EXPECT_EQ(gTempSelectionIndex, 0);
        for (const auto& frame : gFrames)
            EXPECT_FALSE(frame->IsDirty()); // rendered once with the loaded frames
        EXPECT_TRUE(gClipsWindow->isVisible());
        EXPECT_TRUE(gDarkFrameWindow->isVisible());
        EXPECT_TRUE(gFlatFrameWindow->isVisible());
        EXPECT_TRUE(gFrameInspectorWindow->isVisible());

        // Saving the loaded document again writes the very same bytes.
        ASSERT_EQ(SaveWorkspaceTo(second, pictures, true), WorkspaceWriteStatus::ok);
        EXPECT_EQ(FileBytes(first), FileBytes(second));
        CloseMainWindow();
    }
    EXPECT_EQ(ui.AlertCount(), 0);
}

TEST_F(WorkspaceTest, IncludedClipsOnlyAndNoClipsAtAll)
{
    ScriptedInteraction ui;
    MakeDocument(6, 5);
    const std::vector<SavedClip> included = Snapshot(false);
    ASSERT_EQ(included.size(), 3u);
    const fs::path path = File("included.work");
    ASSERT_EQ(SaveWorkspaceTo(path, true, false), WorkspaceWriteStatus::ok);
    ASSERT_TRUE(OpenWorkspaceFrom(path));
    ExpectLoaded(included);

    // No clip included: the document keeps its size, mask and frames.
    for (auto& frame : gFrames)
        frame->SetSumStackIncluded(false);
    ASSERT_EQ(SaveWorkspaceTo(path, false, false), WorkspaceWriteStatus::ok);
    ASSERT_TRUE(OpenWorkspaceFrom(path));
    EXPECT_TRUE(gFrames.empty());
    EXPECT_EQ(gImageDim, MakeRect(0, 0, 5, 6));
    EXPECT_TRUE(gHotPixelMask.Matches(6, 5));
    EXPECT_TRUE(gHotPixelMask.HasAnyHotPixel());
    EXPECT_TRUE(gDarkFrame && gFlatFrame);
    EXPECT_EQ(gTempSelectionIndex, -1);
    EXPECT_FALSE(gClipsWindow->isVisible());
    // The menus of a document without clips: the file commands that need
    // clips are off, opening clips is on, and the clip menus are off.
    const MenuModel& menus = GetMenuModel();
    for (int item : {2, 3, 12, 13})
        EXPECT_FALSE(menus.IsItemEnabled(kFileMenu, item)) << item;
    for (int item : {4, 5})
        EXPECT_TRUE(menus.IsItemEnabled(kFileMenu, item)) << item;
    EXPECT_FALSE(menus.IsMenuEnabled(kEditMenu));
    EXPECT_FALSE(menus.IsMenuEnabled(kOperationsMenu));
    EXPECT_EQ(ui.AlertCount(), 0);
}

TEST_F(WorkspaceTest, CroppedClipsUsingCalibrationFramesReopenRenderingTheSame)
{
    ScriptedInteraction ui;
    for (bool pictures : {false, true}) {
        SCOPED_TRACE(pictures ? "pictures" : "raw");
        // 6 × 5 clips cut at (top 2, left 3) out of a 10 × 8 sensor whose dark
        // and flat frames kept its size.
        gImageDim = MakeRect(0, 0, 5, 6);
        for (uint32_t seed = 1; seed <= 3; ++seed)
            AddClip(6, 5, seed);
        gDarkFrame = MakeImage(10, 8);
        FillNoise(*gDarkFrame, 77);
        gFlatFrame = MakeImage(10, 8);
        FillGradient(*gFlatFrame);
        gAverageFlatFieldValue = CalculateAverageValue(*gFlatFrame, MakeRect(0, 0, 8, 10));
        gHotPixelMask.Reset(6, 5);
        for (auto& frame : gFrames)
            for (int c = 1; c <= 3; ++c)
                frame->SetSubRect(MakeRect(2, 3, 7, 9), c);
        gFrames[0]->SetDarkFrameSubtracted(true);
        gFrames[0]->SetAlignment(Point{1, -1}, 2);
        gFrames[0]->SetNormalizationFactor(1.5);
        gFrames[1]->SetDarkFrameSubtracted(true);
        gFrames[1]->SetFlatFrameDivided(true);
        // Clip 2 uses neither frame: it is stored as it is.
        std::vector<std::unique_ptr<GWorldWrapper>> renders;
        for (auto& frame : gFrames)
            renders.push_back(CopyOf(*frame->GetModified(true)));
        const std::unique_ptr<GWorldWrapper> plain = CopyOf(*gFrames[2]->GetOriginal());

        const fs::path path = File("cropped.work");
        ASSERT_EQ(SaveWorkspaceTo(path, pictures, true), WorkspaceWriteStatus::ok);
        ASSERT_TRUE(OpenWorkspaceFrom(path));
        ASSERT_EQ(gFrames.size(), 3u);
        for (std::size_t i = 0; i < 3; ++i) {
            std::string where;
            EXPECT_TRUE(SamePixels(*gFrames[i]->GetModified(true), *renders[i], false, &where)) << i << " " << where;
        }
        // The first two went in calibrated, their flags off; the third as it was.
        for (int i : {0, 1}) {
            EXPECT_FALSE(gFrames[i]->GetDarkFrameSubtracted()) << i;
            EXPECT_FALSE(gFrames[i]->GetFlatFrameDivided()) << i;
        }
        EXPECT_TRUE(SamePixels(*gFrames[2]->GetOriginal(), *plain));
        EXPECT_EQ(gFrames[0]->GetAlignment(2), (Point{1, -1}));
        EXPECT_DOUBLE_EQ(gFrames[0]->GetNormalizationFactor(), 1.5);
        CloseMainWindow();
    }
    EXPECT_EQ(ui.AlertCount(), 0);
}

TEST_F(WorkspaceTest, PictureBlocksTooWideForPicturesAreRefusedBeforeAnything)
{
    ScriptedInteraction ui;
    gImageDim = MakeRect(0, 0, 1, 4096);
    AddClip(4096, 1, 1);
    gHotPixelMask.Reset(4096, 1);
    EXPECT_FALSE(PutWorkingSpaceToFile(true, true));
    EXPECT_TRUE(ui.FileDialogs().empty()); // nothing asked
    ASSERT_EQ(ui.AlertCount(), 1);
    EXPECT_EQ(ui.Alerts()[0].request.title, std::string(kImageWidthErrorTitle));
    EXPECT_EQ(ui.Alerts()[0].request.message, std::string(kImageWidthMessage));
    // Raw blocks have no such limit.
    const fs::path path = File("wide.work");
    ui.AnswerFileDialog({path.string()});
    EXPECT_TRUE(PutWorkingSpaceToFile(false, true));
    EXPECT_TRUE(fs::exists(path));
    CloseMainWindow();

    // A dark frame kept at a wider sensor's size is refused the same way.
    gImageDim = MakeRect(0, 0, 1, 100);
    AddClip(100, 1, 2);
    gHotPixelMask.Reset(100, 1);
    gDarkFrame = MakeImage(4096, 1);
    EXPECT_FALSE(PutWorkingSpaceToFile(true, true));
    EXPECT_EQ(ui.FileDialogs().size(), 1u);
    ASSERT_EQ(ui.AlertCount(), 2);
    EXPECT_EQ(ui.Alerts()[1].request.title, std::string(kImageWidthErrorTitle));
}

TEST_F(WorkspaceTest, DamagedFilesLeaveTheOpenDocumentAsItWas)
{
    ScriptedInteraction ui;
    MakeDocument(5, 4);
    const fs::path good = File("good.work");
    ASSERT_EQ(SaveWorkspaceTo(good, false, true), WorkspaceWriteStatus::ok);
    const std::vector<uint8_t> bytes = FileBytes(good);

    // A different open document that must survive every refused file.
    CloseMainWindow();
    MakeDocument(8, 3);
    gFrames[2]->SetRotation(100);
    std::vector<Frame*> clips;
    for (const auto& frame : gFrames)
        clips.push_back(frame.get());
    const GWorldWrapper* dark = gDarkFrame.get();
    const Rect maxClipDim = gMaxClipDim;
    const std::vector<uint8_t> mask = gHotPixelMask.pixels;

    const auto expectUntouched = [&](const char* what) {
        SCOPED_TRACE(what);
        ASSERT_EQ(gFrames.size(), clips.size());
        for (std::size_t i = 0; i < clips.size(); ++i)
            EXPECT_EQ(gFrames[i].get(), clips[i]);
        EXPECT_EQ(gFrames[2]->GetRotation(), 100);
        EXPECT_EQ(gImageDim, MakeRect(0, 0, 3, 8));
        EXPECT_EQ(gMaxClipDim, maxClipDim);
        EXPECT_EQ(gDarkFrame.get(), dark);
        EXPECT_EQ(gHotPixelMask.pixels, mask);
        EXPECT_TRUE(HaveSummedStack());
        EXPECT_TRUE(OperationBoundsRectExists());
        EXPECT_EQ(gAlignmentBrightnessThreshold, 42);
    };
    const auto expectAlert = [&](const char* message) {
        ASSERT_GE(ui.AlertCount(), 1);
        EXPECT_EQ(ui.Alerts().back().request.title, std::string(kWorkspaceErrorTitle));
        EXPECT_EQ(ui.Alerts().back().request.message, std::string(message));
    };

    // Cut before the first record: inside the header, after it, after the
    // mask and after the dark frame.
    const std::size_t maskEnd = 31 + 20, frame = 4 + 20 * 3, record = 27 + 20 * 3;
    const std::size_t recordsAt = maskEnd + 2 * frame;
    ASSERT_EQ(bytes.size(), recordsAt + 4 * record);
    const fs::path cut = File("cut.work");
    int alerts = 0;
    for (std::size_t length : {std::size_t{0}, std::size_t{3}, std::size_t{4}, std::size_t{30}, std::size_t{31},
                               maskEnd, maskEnd + 4, maskEnd + frame, recordsAt - 1}) {
        SCOPED_TRACE(testing::Message() << "cut at " << length);
        PutFile(cut, std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length)));
        EXPECT_FALSE(OpenWorkspaceFrom(cut));
        EXPECT_EQ(ui.AlertCount(), ++alerts);
        expectAlert(kWorkspaceDamagedMessage);
        expectUntouched("truncated");
    }
    // Another kind of file, garbage, and a file that is not there.
    std::vector<uint8_t> other = bytes;
    other[0] = 0;
    PutFile(cut, other);
    EXPECT_FALSE(OpenWorkspaceFrom(cut));
    expectAlert(kWorkspaceOlderVersionMessage);
    expectUntouched("marker");
    std::vector<uint8_t> garbage = bytes;
    for (std::size_t i = 31; i < garbage.size(); i += 7)
        garbage[i] ^= 0xFF;
    garbage[21] = 5; // a flag that is no flag
    PutFile(cut, garbage);
    EXPECT_FALSE(OpenWorkspaceFrom(cut));
    expectAlert(kWorkspaceDamagedMessage);
    expectUntouched("garbage");
    EXPECT_FALSE(OpenWorkspaceFrom(File("absent.work")));
    expectAlert(kWorkspaceUnreadableMessage);
    expectUntouched("absent");
    // Out of memory while building the new clips: the old document stays.
    FailNextImageAllocationsForTesting(3);
    EXPECT_FALSE(OpenWorkspaceFrom(good));
    FailNextImageAllocationsForTesting(0);
    EXPECT_EQ(ui.Alerts().back().request.title, std::string(kOutOfMemoryTitle));
    expectUntouched("memory");
    // Free memory that cannot hold the new document beside the open one:
    // refused before anything is made. Its mask, two frames, one clip's two
    // images and a block being read take 20 + 5 × 80 bytes.
    const int outOfMemory = ui.AlertCount();
    SetFreeMemForTesting([] { return int64_t{20 + 5 * 80 - 1}; });
    EXPECT_FALSE(OpenWorkspaceFrom(good));
    ASSERT_EQ(ui.AlertCount(), outOfMemory + 1);
    EXPECT_EQ(ui.Alerts().back().request.title, std::string(kOutOfMemoryTitle));
    expectUntouched("free memory");
    SetFreeMemForTesting([] { return int64_t{20 + 5 * 80}; });
    EXPECT_TRUE(OpenWorkspaceFrom(good));
    SetFreeMemForTesting([] { return int64_t{1} << 34; });
    // The good file still opens.
    EXPECT_TRUE(OpenWorkspaceFrom(good));
    EXPECT_EQ(gFrames.size(), 4u);
    // A mask radius no mask dialog offers (0 to 3) comes in as the nearest it does.
    std::vector<uint8_t> radius = bytes;
    radius[27] = 99;
    PutFile(cut, radius);
    EXPECT_TRUE(OpenWorkspaceFrom(cut));
    EXPECT_EQ(gPreviousHotPixelMaskRadius, 3);
    radius[30] = 0x80; // negative
    PutFile(cut, radius);
    EXPECT_TRUE(OpenWorkspaceFrom(cut));
    EXPECT_EQ(gPreviousHotPixelMaskRadius, 0);
}

TEST_F(WorkspaceTest, AFileThatEndsEarlyOpensTheClipsBeforeItsEndAndSaysSo)
{
    ScriptedInteraction ui;
    MakeDocument(5, 4);
    const std::vector<SavedClip> saved = Snapshot(true);
    const fs::path good = File("good.work");
    ASSERT_EQ(SaveWorkspaceTo(good, false, true), WorkspaceWriteStatus::ok);
    const std::vector<uint8_t> bytes = FileBytes(good);
    const std::size_t recordsAt = 31 + 20 + 2 * (4 + 20 * 3), record = 27 + 20 * 3;
    ASSERT_EQ(bytes.size(), recordsAt + 4 * record);
    CloseMainWindow();

    // Cut right before the first record, inside each record's fields and
    // inside each one's pixel block.
    struct Cut {
        std::size_t length;
        int clips;
    };
    std::vector<Cut> cuts = {{recordsAt, 0}, {bytes.size() - 1, 3}};
    for (int r = 0; r < 4; ++r) {
        cuts.push_back({recordsAt + r * record + 10, r});
        cuts.push_back({recordsAt + r * record + 27 + 30, r});
    }
    const fs::path cut = File("cut.work");
    for (const Cut& c : cuts) {
        SCOPED_TRACE(testing::Message() << "cut at " << c.length);
        MakeDocument(8, 3); // the document the file replaces
        PutFile(cut, std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(c.length)));
        const int before = ui.AlertCount();
        ASSERT_TRUE(OpenWorkspaceFrom(cut));
        EXPECT_EQ(gImageDim, MakeRect(0, 0, 4, 5));
        ExpectLoaded(saved, static_cast<std::size_t>(c.clips));
        EXPECT_TRUE(gDarkFrame && gFlatFrame);
        ASSERT_EQ(ui.AlertCount(), before + 1);
        const AlertRequest shown = ui.Alerts().back().request;
        EXPECT_EQ(shown.kind, kAlertPlain);
        EXPECT_EQ(shown.title, std::string(kWorkspaceEndedEarlyTitle));
        EXPECT_EQ(shown.message, WorkspaceEndedEarlyMessage(c.clips, 4));
        CloseMainWindow();
    }
    EXPECT_EQ(WorkspaceEndedEarlyMessage(4, 5),
              "The workspace file ended early, after 4 of its 5 clips.  The clips before that point have been "
              "opened; the rest are lost.");
    // The whole file: no alert.
    const int before = ui.AlertCount();
    ASSERT_TRUE(OpenWorkspaceFrom(good));
    ExpectLoaded(saved);
    EXPECT_EQ(ui.AlertCount(), before);
}

TEST_F(WorkspaceTest, FailedSavesKeepTheOldFileAndSaySo)
{
    ScriptedInteraction ui;
    MakeDocument(6, 4);
    const fs::path path = File("kept.work");
    PutFile(path, {4, 3, 2, 1});
    // Cancel: nothing written, nothing said.
    EXPECT_FALSE(PutWorkingSpaceToFile(false, true));
    EXPECT_EQ(FileBytes(path), (std::vector<uint8_t>{4, 3, 2, 1}));
    EXPECT_EQ(ui.AlertCount(), 0);
    // A full disk part way.
    ui.AnswerFileDialog({path.string()});
    FailWorkspaceWriteAfterBytesForTesting(60);
    EXPECT_FALSE(PutWorkingSpaceToFile(false, true));
    EXPECT_EQ(FileBytes(path), (std::vector<uint8_t>{4, 3, 2, 1}));
    ASSERT_EQ(ui.AlertCount(), 1);
    EXPECT_EQ(ui.Alerts()[0].request.message, std::string(kSaveErrorMessage));
    // A folder that cannot be written to.
    PutFile(File("plain"), {1});
    ui.AnswerFileDialog({(File("plain") / "x.work").string()});
    EXPECT_FALSE(PutWorkingSpaceToFile(true, true));
    EXPECT_EQ(ui.AlertCount(), 2);
    // A swapped-out clip that cannot come back (its file is gone).
    ASSERT_EQ(gFrames[3]->TrySendToTempDiskFile(), Frame::SwapOutResult::swapped);
    const std::string lost = gFrames[3]->GetTempFile(0);
    ASSERT_FALSE(lost.empty());
    fs::remove(lost);
    ui.AnswerFileDialog({path.string()});
    EXPECT_FALSE(PutWorkingSpaceToFile(false, true));
    EXPECT_EQ(FileBytes(path), (std::vector<uint8_t>{4, 3, 2, 1}));
    EXPECT_GE(ui.AlertCount(), 3);
    // Without that clip the save goes through and replaces the old file.
    gFrames[3]->SetSumStackIncluded(false);
    ui.AnswerFileDialog({path.string()});
    const int before = ui.AlertCount();
    EXPECT_TRUE(PutWorkingSpaceToFile(false, false));
    EXPECT_EQ(ui.AlertCount(), before);
    EXPECT_GT(FileBytes(path).size(), 4u);
    for (const auto& entry : fs::directory_iterator(mFolder))
        EXPECT_EQ(entry.path().filename().string().find(".saving-"), std::string::npos); // no temporary left
}

TEST_F(WorkspaceTest, SaveWorkspaceDialogShowsEstimatesAndSaves)
{
    ScriptedInteraction ui;
    // Without clips the command only beeps.
    Run("FiSW");
    EXPECT_EQ(gSaveWorkspaceInterface, nullptr);
    EXPECT_EQ(ui.BeepCount(), 1);

    gImageDim = MakeRect(0, 0, 300, 400);
    for (uint32_t seed = 1; seed <= 3; ++seed)
        AddClip(400, 300, seed);
    gFrames[1]->SetSumStackIncluded(false);
    gDarkFrame = MakeImage(400, 300);
    gHotPixelMask.Reset(400, 300);
    Run("FiSW");
    ASSERT_NE(gSaveWorkspaceInterface, nullptr);
    SaveWorkspaceInterface& dialog = *gSaveWorkspaceInterface;
    const auto label = [&](int id) { return GetControlByID(dialog.window(), "Spac", id); };
    for (int id = 1; id <= 12; ++id)
        ASSERT_TRUE(label(id)) << id;
    // Raw: (400·300·3 + 27) × (3 + 1) + 400·300 = 1,560,108 bytes; included:
    // 120,000 + 360,027 × 3 = 1,200,081. One decimal, truncated.
    EXPECT_EQ(label(2).Text(), "1.5");
    EXPECT_EQ(label(5).Text(), "1.2");
    std::vector<uint8_t> picture;
    ASSERT_EQ(EncodePict(*gFrames[0]->GetOriginal(), picture), PictStatus::ok);
    const int64_t s = static_cast<int64_t>(picture.size());
    EXPECT_EQ(label(8).Text(), WorkspaceEstimateText(4, s + 31, 400, 300));
    EXPECT_EQ(label(11).Text(), WorkspaceEstimateText(3, s + 31, 400, 300));
    // In 64 bits: 5000 × 921,627 alone is past 32 bits.
    EXPECT_EQ(WorkspaceEstimateText(5000, 921627, 640, 480), "4608.4");
    EXPECT_EQ(WorkspaceEstimateText(0, 27, 1, 1), "0.0");
    // The labels of the chosen group only.
    const auto enabled = [&] {
        std::vector<int> on;
        for (int id = 1; id <= 12; ++id)
            if (label(id).IsEnabled())
                on.push_back(id);
        return on;
    };
    EXPECT_EQ(enabled(), (std::vector<int>{1, 2, 3})); // raw, all clips
    dialog.control(kSaveWorkspaceAllClipsCheckbox).SetValue(0);
    dialog.Dispatch(DialogEvent(DialogEvent::controlHit, kSaveWorkspaceAllClipsCheckbox));
    EXPECT_EQ(enabled(), (std::vector<int>{4, 5, 6}));
    dialog.control(kSaveWorkspacePicturesCheckbox).SetValue(1);
    dialog.Dispatch(DialogEvent(DialogEvent::controlHit, kSaveWorkspacePicturesCheckbox));
    EXPECT_EQ(enabled(), (std::vector<int>{10, 11, 12}));
    dialog.control(kSaveWorkspaceAllClipsCheckbox).SetValue(1);
    dialog.Dispatch(DialogEvent(DialogEvent::controlHit, kSaveWorkspaceAllClipsCheckbox));
    EXPECT_EQ(enabled(), (std::vector<int>{7, 8, 9}));

    // OK: the file dialog, then pictures of every clip.
    const fs::path path = File("dialog.work");
    ui.AnswerFileDialog({path.string()});
    dialog.End(false);
    EXPECT_EQ(gSaveWorkspaceInterface, nullptr);
    Flush();
    WorkspaceContents contents;
    int clips = 0;
    ASSERT_EQ(ReadWorkspaceFile(path, &contents,
                                [&](const WorkspaceClipRecord&, std::unique_ptr<GWorldWrapper>) { ++clips; }),
              WorkspaceReadStatus::ok);
    EXPECT_TRUE(contents.header.asPictures);
    EXPECT_EQ(clips, 3);
    EXPECT_TRUE(contents.dark != nullptr);
    // Header, mask, the dark frame's sizes and picture, then each clip's
    // record, count and picture.
    const auto pictureBytes = [](const GWorldWrapper& image) {
        std::vector<uint8_t> bytes;
        EXPECT_EQ(EncodePict(image, bytes), PictStatus::ok);
        return static_cast<uint64_t>(bytes.size());
    };
    uint64_t expected = 31 + 120000 + 4 + 4 + pictureBytes(*gDarkFrame);
    for (const auto& frame : gFrames)
        expected += 27 + 4 + pictureBytes(*frame->GetOriginal());
    EXPECT_EQ(fs::file_size(path), expected);
    EXPECT_EQ(ui.AlertCount(), 0);

    // Cancel writes nothing.
    Run("FiSW");
    ASSERT_NE(gSaveWorkspaceInterface, nullptr);
    gSaveWorkspaceInterface->End(true);
    Flush();
    EXPECT_EQ(ui.FileDialogs().size(), 1u);
}

TEST_F(WorkspaceTest, ExportClipsDialogWritesNumberedPictures)
{
    ScriptedInteraction ui;
    Run("FiDW");
    EXPECT_EQ(gDumpWorkspaceInterface, nullptr);
    EXPECT_EQ(ui.BeepCount(), 1);

    gImageDim = MakeRect(0, 0, 4, 6);
    for (uint32_t seed = 1; seed <= 3; ++seed)
        AddClip(6, 4, seed);
    gFrames[0]->SetSumStackIncluded(false);
    gFrames[2]->SetSumStackIncluded(false);
    Run("FiDW");
    ASSERT_NE(gDumpWorkspaceInterface, nullptr);
    DumpWorkspaceInterface& dialog = *gDumpWorkspaceInterface;
    const auto label = [&](int id) { return GetControlByID(dialog.window(), "Spac", id); };
    const int64_t s = DumpPictureSize();
    EXPECT_EQ(label(8).Text(), DumpEstimateText(3, s, 6, 4));
    EXPECT_EQ(label(11).Text(), DumpEstimateText(1, s, 6, 4));
    for (int id = 7; id <= 12; ++id)
        EXPECT_EQ(label(id).IsEnabled(), id <= 9) << id;
    dialog.control(kDumpWorkspaceAllClipsCheckbox).SetValue(0);
    dialog.Dispatch(DialogEvent(DialogEvent::controlHit, kDumpWorkspaceAllClipsCheckbox));
    for (int id = 7; id <= 12; ++id)
        EXPECT_EQ(label(id).IsEnabled(), id >= 10) << id;
    dialog.control(kDumpWorkspaceBaseNameText).SetText("Jupiter");
    ui.AnswerFileDialog({mFolder});
    dialog.End(false);
    Flush();
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(mFolder))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"Jupiter-2"}); // the clip's number, not a count
    EXPECT_EQ(ui.AlertCount(), 0);
}

TEST_F(WorkspaceTest, OpenWorkspaceCommandReplacesTheDocument)
{
    ScriptedInteraction ui;
    MakeDocument(4, 4);
    const fs::path path = File("open.work");
    ASSERT_EQ(SaveWorkspaceTo(path, false, true), WorkspaceWriteStatus::ok);
    CloseMainWindow();
    Run("FiOW"); // cancelled: nothing
    EXPECT_TRUE(gFrames.empty());
    gMaxClipDim = MakeRect(0, 0, 1, 1);
    ui.AnswerFileDialog({path.string()});
    Run("FiOW");
    EXPECT_EQ(gFrames.size(), 4u);
    // Thumbnails of a 4 × 4 document, also when none was open.
    EXPECT_EQ(gMaxClipDim, MakeRect(0, 0, 128, 128));
    for (const auto& frame : gFrames) {
        GWorldWrapper thumbnail(32, MakeRect(0, 0, 128, 128), -1);
        frame->DrawClipImage(MakeRect(0, 0, 128, 128), &thumbnail); // a same-size copy draws every pixel
        auto expected = MakeImage(128, 128);
        expected->CopyBitsFrom(*frame->GetModified(true), MakeRect(0, 0, 4, 4), MakeRect(0, 0, 128, 128));
        EXPECT_TRUE(SamePixels(thumbnail, *expected));
    }
    ASSERT_FALSE(ui.FileDialogs().empty());
    EXPECT_EQ(ui.FileDialogs().back().nameFilters.front(), std::string(kWorkspaceNameFilter));
    EXPECT_EQ(ui.AlertCount(), 0);
}

TEST_F(WorkspaceTest, OpeningIsRefusedWhileClipsAreInUse)
{
    ScriptedInteraction ui;
    MakeDocument(4, 3);
    const fs::path path = File("busy.work");
    ASSERT_EQ(SaveWorkspaceTo(path, false, true), WorkspaceWriteStatus::ok);
    gFrames[0]->SetRotation(321); // tells this document from the file's
    // A movie dialog would go on adding clips of this document's size.
    const auto movieHook = GetShellHooks().movieDialogOpen;
    GetShellHooks().movieDialogOpen = [] { return true; };
    EXPECT_FALSE(OpenWorkspaceFrom(path));
    GetShellHooks().movieDialogOpen = movieHook;
    EXPECT_EQ(ui.BeepCount(), 1);
    // An open dialog that reads the clips when it ends.
    Run("FiSW");
    ASSERT_NE(gSaveWorkspaceInterface, nullptr);
    EXPECT_FALSE(OpenWorkspaceFrom(path));
    EXPECT_EQ(ui.BeepCount(), 2);
    gSaveWorkspaceInterface->End(true);
    Flush();
    EXPECT_EQ(gFrames[0]->GetRotation(), 321);
    EXPECT_EQ(ui.AlertCount(), 0);
    EXPECT_TRUE(ui.FileDialogs().empty());
    EXPECT_TRUE(OpenWorkspaceFrom(path));
    EXPECT_EQ(gFrames[0]->GetRotation(), 0);
}
