// tests/gui/PictOutputTest.cpp: the stack saved as a picture and clips dumped
// as numbered pictures: names, inclusion, long and odd base names, failures
// and the size estimate.
#include "files/PictOutput.h"

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/SummedStack.h"
#include "files/FITSStack.h"
#include "platform/core/StandardAlerts.h"
#include "tests/gui/GuiTestApp.h"
#include "tests/support/ScriptedInteraction.h"
#include "tests/unit/EngineFixture.h"

namespace {

namespace fs = std::filesystem;

class PictOutputTest : public EngineFixture {
protected:
    void SetUp() override
    {
        GuiTestApp();
        EngineFixture::SetUp();
        mFolder = ReferenceScratchDir() + "/dump";
        fs::create_directories(mFolder);
    }
    void TearDown() override
    {
        DeleteFrameStack();
        EngineFixture::TearDown();
    }
    std::set<std::string> Names() const
    {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(mFolder))
            names.insert(entry.path().filename().string());
        return names;
    }
    std::string mFolder;
};

} // namespace

TEST_F(PictOutputTest, DumpNamesUseTheClipNumber)
{
    for (int i = 0; i < 3; ++i)
        AddClip(6, 4, static_cast<uint32_t>(i));
    DumpOutcome outcome = DumpClips(mFolder, "Jupiter", true, nullptr);
    EXPECT_EQ(outcome.written, 3);
    EXPECT_EQ(Names(), (std::set<std::string>{"Jupiter-1", "Jupiter-2", "Jupiter-3"}));
    // The files hold the rendered images.
    std::unique_ptr<GWorldWrapper> back;
    ASSERT_EQ(ReadPictFile(mFolder + "/Jupiter-2", &back), PictFileStatus::ok);
    EXPECT_TRUE(SamePixels(*back, *gFrames[1]->GetModified(true)));

    fs::remove_all(mFolder);
    fs::create_directories(mFolder);
    gFrames[0]->SetSumStackIncluded(false);
    gFrames[2]->SetSumStackIncluded(false);
    std::vector<int> progress;
    outcome = DumpClips(mFolder, "Jupiter", false, [&](int n) { progress.push_back(n); });
    EXPECT_EQ(outcome.written, 1);
    EXPECT_EQ(Names(), std::set<std::string>{"Jupiter-2"});
    EXPECT_EQ(progress, std::vector<int>{0});
}

TEST_F(PictOutputTest, OddAndLongBaseNames)
{
    EXPECT_EQ(DumpFileName("", 1), "-1");
    EXPECT_EQ(DumpFileName("", 2), "-2");
    EXPECT_EQ(DumpFileName("a/b", 1), "a_b-1");
    EXPECT_EQ(DumpFileName(std::string("a\0b", 3), 7), "a_b-7");
    // 300 bytes of two-byte characters: cut on a character boundary, the
    // numbers keeping the names distinct.
    std::string base;
    for (int i = 0; i < 150; ++i)
        base += "\xC3\xA9"; // é
    std::set<std::string> names;
    for (int n : {1, 9, 10, 99, 100, 12345}) {
        const std::string name = DumpFileName(base, n);
        EXPECT_LE(name.size(), 255u);
        const std::string stem = name.substr(0, name.rfind('-'));
        EXPECT_EQ(stem.size() % 2, 0u) << n; // whole characters only
        EXPECT_EQ(name.substr(name.rfind('-') + 1), std::to_string(n));
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 6u);

    AddClip(3, 3, 1);
    AddClip(3, 3, 2);
    EXPECT_EQ(DumpClips(mFolder, "a/b", true, nullptr).written, 2);
    EXPECT_EQ(Names(), (std::set<std::string>{"a_b-1", "a_b-2"}));
    EXPECT_EQ(DumpClips(mFolder, "", true, nullptr).written, 2);
    EXPECT_TRUE(Names().count("-1") && Names().count("-2"));
    EXPECT_EQ(DumpClips(mFolder, base + "x", true, nullptr).written, 2);
}

TEST_F(PictOutputTest, DumpReplacesOlderLongerFiles)
{
    AddClip(4, 4, 3);
    std::ofstream(mFolder + "/old-1") << std::string(100000, 'x');
    ASSERT_EQ(DumpClips(mFolder, "old", true, nullptr).written, 1);
    std::vector<uint8_t> picture;
    ASSERT_EQ(EncodePict(*gFrames[0]->GetModified(true), picture), PictStatus::ok);
    EXPECT_EQ(fs::file_size(mFolder + "/old-1"), 512 + picture.size());
}

TEST_F(PictOutputTest, UnwritableFolderGivesOneAlertAtTheEnd)
{
    ScriptedInteraction interaction;
    for (int i = 0; i < 3; ++i)
        AddClip(5, 5, static_cast<uint32_t>(i));
    // A "folder" that is a plain file refuses every write, also to root.
    const std::string notAFolder = mFolder + "/plain-file";
    std::ofstream(notAFolder) << "x";
    interaction.AnswerFileDialog({notAFolder});
    DumpWorkspace(true, "Saturn");
    ASSERT_EQ(interaction.AlertCount(), 1);
    EXPECT_EQ(interaction.Alerts()[0].request.title, std::string(kSaveErrorTitle));
    EXPECT_EQ(interaction.Alerts()[0].request.message, std::string(kSaveErrorMessage));
    fs::remove(notAFolder);
    // A cancelled folder choice writes nothing and says nothing.
    DumpWorkspace(true, "Saturn");
    EXPECT_TRUE(Names().empty());
    EXPECT_EQ(interaction.AlertCount(), 1);
    interaction.AnswerFileDialog({mFolder});
    DumpWorkspace(false, "Saturn");
    EXPECT_EQ(Names().size(), 3u);
    EXPECT_EQ(interaction.AlertCount(), 1);
}

TEST_F(PictOutputTest, SaveWritesTheDisplayImageOrAlerts)
{
    ScriptedInteraction interaction;
    gImageDim = MakeRect(0, 0, 5, 7);
    AddClip(7, 5, 4);
    ASSERT_TRUE(CreateInitialStack());
    const std::string target = mFolder + "/stack.pict";
    std::ofstream(target) << std::string(5000, 'o');
    interaction.AnswerFileDialog({target});
    EXPECT_TRUE(SaveStackAsPict());
    std::unique_ptr<GWorldWrapper> back;
    ASSERT_EQ(ReadPictFile(target, &back), PictFileStatus::ok);
    EXPECT_TRUE(SamePixels(*back, *gFrameStack));
    ASSERT_EQ(interaction.FileDialogs().size(), 1u);
    EXPECT_EQ(interaction.FileDialogs()[0].mode, FileDialogRequest::Mode::kSaveFile);
    // Cancel: nothing. A failing write: the alert, the old file kept.
    EXPECT_FALSE(SaveStackAsPict());
    const auto before = fs::file_size(target);
    FailPictFileWriteAfterForTesting(0);
    interaction.AnswerFileDialog({target});
    EXPECT_FALSE(SaveStackAsPict());
    EXPECT_EQ(fs::file_size(target), before);
    ASSERT_EQ(interaction.AlertCount(), 1);
    EXPECT_EQ(interaction.Alerts()[0].request.message, std::string(kSaveErrorMessage));
}

TEST_F(PictOutputTest, EstimateIsComputedIn64Bits)
{
    EXPECT_EQ(DumpEstimateText(5000, 921781, 640, 480), "4609.3");
    EXPECT_EQ(DumpEstimateText(0, 921781, 640, 480), "0.3");
    AddClip(64, 2, 1);
    std::vector<uint8_t> picture;
    ASSERT_EQ(EncodePict(*gFrames[0]->GetOriginal(), picture), PictStatus::ok);
    EXPECT_EQ(DumpPictureSize(), static_cast<int64_t>(picture.size()));
}
