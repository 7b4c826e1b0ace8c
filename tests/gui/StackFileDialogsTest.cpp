// tests/gui/StackFileDialogsTest.cpp: the FITS and raw dialogs opened by their
// commands: their controls, OK handing the controls to the file layer, and
// Cancel writing nothing.
#include <QCoreApplication>
#include <QEvent>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/Commands.h"
#include "shell/DialogPointers.h"
#include "engine/SummedStack.h"
#include "files/FITSFile.h"
#include "files/OpenFITSToStackInterface.h"
#include "files/OpenImagesAndMovies.h"
#include "files/OpenRAWInterface.h"
#include "files/SaveFITSInterface.h"
#include "files/SaveRAWInterface.h"
#include "files/StackDocument.h"
#include "files/StackFileDialogs.h"
#include "platform/core/PictFile.h"
#include "platform/qt/Controls.h"
#include "platform/qt/MenuModel.h"
#include "tests/gui/GuiTestApp.h"
#include "tests/support/ScriptedInteraction.h"
#include "tests/support/TestImages.h"
#include "tests/unit/EngineFixture.h"

namespace {

namespace fs = std::filesystem;

class StackFileDialogsTest : public EngineFixture {
protected:
    void SetUp() override
    {
        GuiTestApp();
        EngineFixture::SetUp();
        DeleteFrameStack();
        GetCommandOperations() = CommandOperations{};
        InstallShellCommands();
        InstallStackFileDialogs();
        mFolder = ReferenceScratchDir() + "/stackdialogs";
        fs::remove_all(mFolder);
        fs::create_directories(mFolder);
    }
    void TearDown() override
    {
        Flush();
        DeleteFrameStack();
        GetCommandOperations() = CommandOperations{};
        EngineFixture::TearDown();
    }
    // Lets the ended dialogs delete themselves.
    static void Flush() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
    static void Run(const char (&code)[5]) { ASSERT_TRUE(MenuHandler(FourCC(code), 129, 1)); }
    // A 7 × 5 stack built from one clip, its planes then overwritten with
    // distinct values whose largest is top.
    static void MakeStack(int32_t top)
    {
        gImageDim = MakeRect(0, 0, 5, 7);
        AddClip(7, 5, 3);
        ASSERT_TRUE(CreateInitialStack());
        StackDocument& doc = TheStackDocument();
        for (int c = 0; c < 3; ++c)
            for (int i = 0; i < 35; ++i)
                doc.Plane(c)[i] = c * 1000 + i * 7;
        doc.Plane(1)[17] = top;
    }
    static std::vector<int32_t> PlaneOf(int c)
    {
        StackDocument& doc = TheStackDocument();
        const int32_t* p = doc.Plane(c);
        return std::vector<int32_t>(p, p + doc.StackWidth() * doc.StackHeight());
    }
    std::string mFolder;
};

void ExpectControls(DialogInterface& dialog, const char* signature, std::initializer_list<int> ids)
{
    for (int id : ids)
        EXPECT_TRUE(GetControlByID(dialog.window(), signature, id)) << signature << "/" << id;
}

} // namespace

TEST_F(StackFileDialogsTest, SaveFITSWritesThreeFilesThatReadBack)
{
    ScriptedInteraction interaction;
    MakeStack(65536);
    Run("FiSF");
    ASSERT_NE(gSaveFITSInterface, nullptr);
    ExpectControls(*gSaveFITSInterface, kControlSignature, {kSaveFITSNameText, kDialogOK, kDialogCancel});
    gSaveFITSInterface->control(kSaveFITSNameText).SetText(mFolder + "/M42");
    gSaveFITSInterface->End(false);
    EXPECT_EQ(gSaveFITSInterface, nullptr);
    Flush();
    const char* letters[] = {"R", "G", "B"};
    for (int c = 0; c < 3; ++c) {
        FITSImage image;
        ASSERT_EQ(ReadFITSImage(mFolder + "/M42-" + letters[c] + ".fit", image), FITSReadResult::ok);
        EXPECT_EQ(image.width, 7);
        EXPECT_EQ(image.height, 5);
        EXPECT_EQ(image.pixels, PlaneOf(c)) << letters[c];
    }
    EXPECT_EQ(interaction.AlertCount(), 0);
}

TEST_F(StackFileDialogsTest, SaveFITSCancelAndBlankName)
{
    ScriptedInteraction interaction;
    MakeStack(100);
    Run("FiSF");
    ASSERT_NE(gSaveFITSInterface, nullptr);
    gSaveFITSInterface->control(kSaveFITSNameText).SetText(mFolder + "/M42");
    gSaveFITSInterface->End(true);
    EXPECT_EQ(gSaveFITSInterface, nullptr);
    Flush();
    EXPECT_TRUE(fs::is_empty(mFolder));
    EXPECT_EQ(interaction.AlertCount(), 0);

    Run("FiSF");
    ASSERT_NE(gSaveFITSInterface, nullptr);
    gSaveFITSInterface->End(false); // blank name
    Flush();
    EXPECT_TRUE(fs::is_empty(mFolder));
    ASSERT_EQ(interaction.AlertCount(), 1);
    EXPECT_EQ(interaction.Alerts()[0].request.message, "You specified a blank filename.");
}

TEST_F(StackFileDialogsTest, OpenFITSReadsIntoTheChosenPlane)
{
    ScriptedInteraction interaction;
    // A 4 × 3 image written as a 32-bit file.
    std::vector<int32_t> values(12);
    for (int i = 0; i < 12; ++i)
        values[i] = i * 10 + 70000;
    const std::string file = mFolder + "/in.fit";
    ASSERT_TRUE(WriteFITSPlane(file, values.data(), 4, 3, 32, "green"));

    Run("FiOF");
    ASSERT_NE(gOpenFITSToStackInterface, nullptr);
    ExpectControls(*gOpenFITSToStackInterface, kControlSignature,
                   {kOpenFITSNameText, kOpenFITSChannelPopup, kDialogOK, kDialogCancel});
    gOpenFITSToStackInterface->control(kOpenFITSNameText).SetText(file);
    gOpenFITSToStackInterface->control(kOpenFITSChannelPopup).SetValue(2);
    const OpenFITSParams params = gOpenFITSToStackInterface->Params();
    EXPECT_EQ(params.name, file);
    EXPECT_EQ(params.channel, kGreenChannel);
    gOpenFITSToStackInterface->End(false);
    EXPECT_EQ(gOpenFITSToStackInterface, nullptr);
    Flush();
    ASSERT_TRUE(TheStackDocument().HasStack());
    EXPECT_EQ(TheStackDocument().StackWidth(), 4);
    EXPECT_EQ(TheStackDocument().StackHeight(), 3);
    EXPECT_EQ(PlaneOf(1), values);
    EXPECT_EQ(PlaneOf(0), std::vector<int32_t>(12, 0));
    EXPECT_EQ(PlaneOf(2), std::vector<int32_t>(12, 0));
    EXPECT_EQ(interaction.AlertCount(), 0);

    // Cancel reads nothing.
    DeleteFrameStack();
    Run("FiOF");
    ASSERT_NE(gOpenFITSToStackInterface, nullptr);
    gOpenFITSToStackInterface->control(kOpenFITSNameText).SetText(file);
    gOpenFITSToStackInterface->End(true);
    Flush();
    EXPECT_FALSE(TheStackDocument().HasStack());
}

TEST_F(StackFileDialogsTest, AFITSFileHandedToTheProgramOpensTheFITSDialogWithItsName)
{
    ScriptedInteraction interaction;
    std::vector<int32_t> values(6, 5);
    const std::string file = mFolder + "/handed.fits";
    ASSERT_TRUE(WriteFITSPlane(file, values.data(), 3, 2, 16, "red"));
    const std::vector<std::string> documents = {file};
    OpenImagesAndMovies(&documents);
    ASSERT_NE(gOpenFITSToStackInterface, nullptr);
    EXPECT_EQ(gOpenFITSToStackInterface->Params().name, file);
    EXPECT_EQ(interaction.AlertCount(), 0); // not taken for a picture that failed
    gOpenFITSToStackInterface->End(false);
    Flush();
    ASSERT_TRUE(TheStackDocument().HasStack());
    EXPECT_EQ(PlaneOf(0), values);
}

TEST_F(StackFileDialogsTest, OpenRawChoosesAFileThenReadsItWithTheDialogsLayout)
{
    ScriptedInteraction interaction;
    // 3 × 2 pixels of 2-byte big-endian planar samples.
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 18; ++i) {
        bytes.push_back(static_cast<uint8_t>(i));
        bytes.push_back(static_cast<uint8_t>(i + 1));
    }
    const std::string file = mFolder + "/in.raw";
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), 36);

    // A cancelled chooser opens no dialog.
    Run("FiOR");
    EXPECT_EQ(gOpenRAWInterface, nullptr);

    interaction.AnswerFileDialog({file});
    Run("FiOR");
    ASSERT_NE(gOpenRAWInterface, nullptr);
    ExpectControls(*gOpenRAWInterface, kControlSignature,
                   {kOpenRawWidthText, kOpenRawHeightText, kOpenRawSampleSizePopup, kOpenRawByteOrderPopup,
                    kOpenRawInterleavedCheckbox, kDialogOK, kDialogCancel});
    EXPECT_EQ(gOpenRAWInterface->File(), fs::path(file));
    // This host is little-endian: the order popup offers it.
    EXPECT_EQ(gOpenRAWInterface->control(kOpenRawByteOrderPopup).Value(), 2);
    gOpenRAWInterface->control(kOpenRawWidthText).SetText("3");
    gOpenRAWInterface->control(kOpenRawHeightText).SetText("2");
    gOpenRAWInterface->control(kOpenRawSampleSizePopup).SetValue(2);
    gOpenRAWInterface->control(kOpenRawByteOrderPopup).SetValue(1);
    gOpenRAWInterface->control(kOpenRawInterleavedCheckbox).SetValue(0);
    const RawImportParams params = gOpenRAWInterface->Params();
    EXPECT_EQ(params.width, 3);
    EXPECT_EQ(params.height, 2);
    EXPECT_EQ(params.sampleBytes, 2);
    EXPECT_TRUE(params.bigEndian);
    EXPECT_FALSE(params.interleaved);
    gOpenRAWInterface->control(kOpenRawSampleSizePopup).SetValue(3);
    EXPECT_EQ(gOpenRAWInterface->Params().sampleBytes, 4);
    gOpenRAWInterface->control(kOpenRawSampleSizePopup).SetValue(2);
    gOpenRAWInterface->End(false);
    EXPECT_EQ(gOpenRAWInterface, nullptr);
    Flush();
    ASSERT_TRUE(TheStackDocument().HasStack());
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 6; ++i) {
            const int k = c * 6 + i; // planar: sample k of the file
            EXPECT_EQ(PlaneOf(c)[i], k * 256 + k + 1) << c << "," << i;
        }

    // Cancel, and a size that does not fit: the stack stays as it was.
    const std::vector<int32_t> red = PlaneOf(0);
    interaction.AnswerFileDialog({file});
    Run("FiOR");
    ASSERT_NE(gOpenRAWInterface, nullptr);
    gOpenRAWInterface->End(true);
    Flush();
    interaction.AnswerFileDialog({file});
    Run("FiOR");
    ASSERT_NE(gOpenRAWInterface, nullptr);
    gOpenRAWInterface->control(kOpenRawWidthText).SetText("4");
    gOpenRAWInterface->control(kOpenRawHeightText).SetText("2");
    gOpenRAWInterface->End(false);
    Flush();
    EXPECT_EQ(PlaneOf(0), red);
    ASSERT_EQ(interaction.AlertCount(), 1);
    EXPECT_EQ(interaction.Alerts()[0].request.title, "File Size Error");
}

TEST_F(StackFileDialogsTest, SaveRawShowsTheStackAndWritesTheChosenFile)
{
    ScriptedInteraction interaction;
    MakeStack(70000);
    Run("FiSR");
    ASSERT_NE(gSaveRAWInterface, nullptr);
    SaveRAWInterface& dialog = *gSaveRAWInterface;
    ExpectControls(dialog, kControlSignature,
                   {kSaveRawProjectCheckbox, kSaveRawYesNoCheckbox, kSaveRawInterleavedCheckbox, kDialogOK,
                    kDialogCancel});
    ExpectControls(dialog, kSaveRawTextSignature,
                   {kSaveRawWidthText, kSaveRawHeightText, kSaveRawByteOrderText, kSaveRawSampleBitsText});
    ExpectControls(dialog, kSaveRawNoticeSignature, {kSaveRawNoticeText});
    EXPECT_EQ(dialog.MaxValue(), 70000);
    QWidget* w = dialog.window();
    EXPECT_EQ(GetControlByID(w, kSaveRawTextSignature, kSaveRawWidthText).Text(), "7");
    EXPECT_EQ(GetControlByID(w, kSaveRawTextSignature, kSaveRawHeightText).Text(), "5");
    EXPECT_EQ(GetControlByID(w, kSaveRawTextSignature, kSaveRawByteOrderText).Text(), "Little");
    EXPECT_EQ(GetControlByID(w, kSaveRawTextSignature, kSaveRawSampleBitsText).Text(), "32");
    EXPECT_EQ(GetControlByID(w, kSaveRawNoticeSignature, kSaveRawNoticeText).Text(), kSaveRawSixteenBitNotice);

    // Check box 4 writes its state into the first text and ends nothing.
    dialog.control(kSaveRawYesNoCheckbox).SetValue(1);
    dialog.Dispatch(DialogEvent(DialogEvent::controlHit, kSaveRawYesNoCheckbox));
    EXPECT_EQ(GetControlByID(w, kSaveRawTextSignature, kSaveRawWidthText).Text(), "Yes");
    dialog.control(kSaveRawYesNoCheckbox).SetValue(0);
    dialog.Dispatch(DialogEvent(DialogEvent::controlHit, kSaveRawYesNoCheckbox));
    EXPECT_EQ(GetControlByID(w, kSaveRawTextSignature, kSaveRawWidthText).Text(), "No");
    ASSERT_EQ(gSaveRAWInterface, &dialog);

    // OK, planar and not projected: 4-byte samples, the three planes in turn.
    dialog.control(kSaveRawProjectCheckbox).SetValue(0);
    dialog.control(kSaveRawInterleavedCheckbox).SetValue(0);
    const std::string target = mFolder + "/out.raw";
    interaction.AnswerFileDialog({target});
    dialog.Dispatch(DialogEvent(DialogEvent::controlHit, kDialogOK));
    EXPECT_EQ(gSaveRAWInterface, nullptr);
    Flush();
    ASSERT_EQ(fs::file_size(target), 35u * 12u);
    std::vector<int32_t> back(105);
    std::ifstream(target, std::ios::binary).read(reinterpret_cast<char*>(back.data()), 420);
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(std::vector<int32_t>(back.begin() + c * 35, back.begin() + (c + 1) * 35), PlaneOf(c));

    // Projected: 2-byte samples, the largest value 65535.
    Run("FiSR");
    ASSERT_NE(gSaveRAWInterface, nullptr);
    gSaveRAWInterface->control(kSaveRawProjectCheckbox).SetValue(1);
    interaction.AnswerFileDialog({target});
    gSaveRAWInterface->End(false);
    Flush();
    ASSERT_EQ(fs::file_size(target), 35u * 6u);
    std::vector<uint16_t> projected(105);
    std::ifstream(target, std::ios::binary).read(reinterpret_cast<char*>(projected.data()), 210);
    EXPECT_EQ(projected[17 * 3 + 1], 65535); // interleaved: green of pixel 17

    // Cancel writes nothing and runs no chooser.
    fs::remove(target);
    const std::size_t dialogs = interaction.FileDialogs().size();
    Run("FiSR");
    ASSERT_NE(gSaveRAWInterface, nullptr);
    gSaveRAWInterface->End(true);
    Flush();
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(interaction.FileDialogs().size(), dialogs);
    EXPECT_EQ(interaction.AlertCount(), 0);
}

TEST_F(StackFileDialogsTest, SaveCommandWritesTheStackPictureItShows)
{
    ScriptedInteraction interaction;
    MakeStack(900000);
    ProjectStackIntoFrameStackGWorld(false);
    const std::string target = mFolder + "/stack.pict";
    interaction.AnswerFileDialog({target});
    Run("save");
    std::unique_ptr<GWorldWrapper> back;
    ASSERT_EQ(ReadPictFile(target, &back), PictFileStatus::ok);
    EXPECT_TRUE(SamePixels(*back, *gFrameStack));
    EXPECT_EQ(interaction.AlertCount(), 0);
}
