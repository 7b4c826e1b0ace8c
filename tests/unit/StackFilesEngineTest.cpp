// tests/unit/StackFilesEngineTest.cpp: FITS and raw files against the
// engine's own summed stack: an empty document takes a file's size, the
// stack's planes are what the files hold, and saves read back identical.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "EngineFixture.h"
#include "FITSReference.h"
#include "shell/Alerts.h"
#include "shell/ImageDim.h"
#include "engine/SummedStack.h"
#include "files/FITSFile.h"
#include "files/FITSStack.h"
#include "files/RawStack.h"
#include "files/StackDocument.h"
#include "platform/core/ByteOrder.h"
#include "tests/support/PythonReference.h"
#include "tests/support/ScriptedInteraction.h"

namespace fs = std::filesystem;

namespace {

class StackFilesEngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteFrameStack();
        gImageDim = Rect{};
        mDir = ReferenceScratchDir();
    }
    void TearDown() override
    {
        DeleteFrameStack();
        gImageDim = Rect{};
    }
    static std::vector<int32_t> PlaneCopy(const std::unique_ptr<int32_t[]>& plane)
    {
        return std::vector<int32_t>(plane.get(), plane.get() + static_cast<std::size_t>(StackWidth()) * StackHeight());
    }
    fs::path mDir;
};

} // namespace

TEST_F(StackFilesEngineTest, FITSIntoEmptyDocumentMakesTheStackAndSavesBack)
{
    ScriptedInteraction ui;
    std::vector<double> values(7 * 5);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<double>(i * 75); // up to 2550: ten clips' worth of full scale
    const std::string in = (mDir / "in.fits").string();
    ASSERT_TRUE(WriteFITSWithAstropy("int16", "5x7", values, in));
    OpenFITSToStack(OpenFITSParams{in, kGreenChannel});
    EXPECT_EQ(ui.AlertCount(), 0);
    ASSERT_TRUE(HaveSummedStack());
    EXPECT_EQ(gImageDim, MakeRect(0, 0, 5, 7));
    EXPECT_EQ(StackWidth(), 7);
    EXPECT_EQ(StackHeight(), 5);
    const std::vector<int32_t> green = PlaneCopy(gGreenStack);
    EXPECT_EQ(std::vector<double>(green.begin(), green.end()), values);
    EXPECT_EQ(PlaneCopy(gRedStack), std::vector<int32_t>(35, 0));
    EXPECT_DOUBLE_EQ(gNumFramesInStack, 10.0); // the projection grew the divisor to 2550 / 255

    const std::string base = (mDir / "M42").string();
    SaveFITSStack(SaveFITSParams{base});
    EXPECT_EQ(ui.AlertCount(), 0);
    const FITSDescription d = DescribeFITS(base + "-G.fit");
    ASSERT_TRUE(d.ok) << d.output;
    EXPECT_EQ(d.keys.at("BITPIX"), "16");
    EXPECT_EQ(d.data, values);
    FITSImage red;
    ASSERT_EQ(ReadFITSImage(base + "-R.fit", red), FITSReadResult::ok);
    EXPECT_EQ(red.pixels, std::vector<int32_t>(35, 0));
}

TEST_F(StackFilesEngineTest, BinnedStackTakesFilesOfItsOwnSize)
{
    ScriptedInteraction ui;
    const std::string first = (mDir / "first.fits").string();
    ASSERT_TRUE(WriteFITSWithAstropy("int32", "6x8", std::vector<double>(48, 100), first));
    OpenFITSToStack(OpenFITSParams{first, kRedChannel});
    ASSERT_TRUE(HaveSummedStack());
    ResampleStack(1); // 2 × 2 binning: 4 × 3
    ASSERT_EQ(StackWidth(), 4);
    ASSERT_EQ(StackHeight(), 3);
    EXPECT_EQ(gImageDim, MakeRect(0, 0, 6, 8));
    std::vector<double> values(12);
    for (int i = 0; i < 12; ++i)
        values[i] = i - 5; // a negative minimum is shifted to 0
    const std::string second = (mDir / "second.fits").string();
    ASSERT_TRUE(WriteFITSWithAstropy("int16", "3x4", values, second));
    OpenFITSToStack(OpenFITSParams{second, kBlueChannel});
    EXPECT_EQ(ui.AlertCount(), 0);
    std::vector<int32_t> expected(12);
    for (int i = 0; i < 12; ++i)
        expected[i] = i;
    EXPECT_EQ(PlaneCopy(gBlueStack), expected);
    EXPECT_EQ(PlaneCopy(gRedStack), std::vector<int32_t>(12, 400));
}

TEST_F(StackFilesEngineTest, RawRoundTripAndRefusals)
{
    ScriptedInteraction ui;
    std::vector<unsigned char> bytes(5 * 3 * 3 * 2);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>(i * 13);
    const fs::path in = mDir / "in.raw";
    WriteBytes(in.string(), bytes);
    RawImportParams params;
    params.width = 5;
    params.height = 3;
    params.sampleBytes = 2;
    params.bigEndian = true;
    params.interleaved = false;
    ASSERT_EQ(OpenRAWFile(in, params), RawReadResult::ok);
    ASSERT_TRUE(HaveSummedStack());
    EXPECT_EQ(gImageDim, MakeRect(0, 0, 3, 5));
    EXPECT_EQ(gRedStack[1], bytes[2] * 256 + bytes[3]);
    EXPECT_EQ(gGreenStack[0], bytes[30] * 256 + bytes[31]);

    const std::vector<int32_t> red = PlaneCopy(gRedStack), green = PlaneCopy(gGreenStack), blue = PlaneCopy(gBlueStack);
    const fs::path out = mDir / "out.raw";
    ASSERT_TRUE(SaveRAWFile(TheStackDocument(), RawExportParams{}, out));
    DeleteFrameStack();
    params.bigEndian = BigEndianSystem();
    params.interleaved = true;
    ASSERT_EQ(OpenRAWFile(out, params), RawReadResult::ok);
    EXPECT_EQ(PlaneCopy(gRedStack), red);
    EXPECT_EQ(PlaneCopy(gGreenStack), green);
    EXPECT_EQ(PlaneCopy(gBlueStack), blue);
    EXPECT_EQ(ui.AlertCount(), 0);

    // Too wide for stacking: the width alert, the old stack and size kept.
    const fs::path wide = mDir / "wide.raw";
    WriteBytes(wide.string(), std::vector<unsigned char>(4092 * 3, 1));
    params.width = 4092;
    params.height = 1;
    params.sampleBytes = 1;
    EXPECT_NE(OpenRAWFile(wide, params), RawReadResult::ok);
    ASSERT_EQ(ui.AlertCount(), 1);
    EXPECT_EQ(ui.Alerts()[0].request.title, kImageWidthErrorTitle);
    EXPECT_EQ(gImageDim, MakeRect(0, 0, 3, 5));
    ASSERT_TRUE(HaveSummedStack());
    EXPECT_EQ(PlaneCopy(gRedStack), red);
}

// A document with clips: stacking may be refused, and then neither file
// format writes anything.
class StackFilesWithClipsTest : public EngineFixture {
protected:
    void TearDown() override
    {
        DeleteFrameStack();
        EngineFixture::TearDown();
    }
};

TEST_F(StackFilesWithClipsTest, DeclinedRotationWarningWritesNothing)
{
    ScriptedInteraction ui;
    gImageDim = MakeRect(0, 0, 4, 6);
    AddClip(6, 4, 1);
    AddClip(6, 4, 2)->SetRotation(5);
    const fs::path dir = ReferenceScratchDir();
    const std::string fits = (dir / "in.fits").string();
    ASSERT_TRUE(WriteFITSWithAstropy("int16", "4x6", std::vector<double>(24, 9), fits));

    // No stack yet: the warning is declined, no stack results.
    ui.Answer(false);
    OpenFITSToStack(OpenFITSParams{fits, kRedChannel});
    ASSERT_EQ(ui.AlertCount(), 1);
    EXPECT_EQ(ui.Alerts()[0].request.title, kInterpolationWarningTitle);
    EXPECT_FALSE(HaveSummedStack());
    EXPECT_EQ(gImageDim, MakeRect(0, 0, 4, 6));

    // Accepted, the clips are summed and the file goes into red.
    ui.Answer(true);
    OpenFITSToStack(OpenFITSParams{fits, kRedChannel});
    ASSERT_TRUE(HaveSummedStack());
    EXPECT_EQ(gRedStack[0], 9);
    const std::vector<int32_t> green(gGreenStack.get(), gGreenStack.get() + 24);

    // A raw file of the clips' size whose stacking is declined leaves that stack.
    const fs::path raw = dir / "in.raw";
    WriteBytes(raw.string(), std::vector<unsigned char>(6 * 4 * 3, 200));
    RawImportParams params;
    params.width = 6;
    params.height = 4;
    params.sampleBytes = 1;
    ui.Answer(false);
    EXPECT_NE(OpenRAWFile(raw, params), RawReadResult::ok);
    ASSERT_TRUE(HaveSummedStack());
    EXPECT_EQ(gRedStack[0], 9);
    EXPECT_EQ(std::vector<int32_t>(gGreenStack.get(), gGreenStack.get() + 24), green);
    EXPECT_EQ(gImageDim, MakeRect(0, 0, 4, 6));

    // Of another size than the clips: a beep, nothing else.
    params.width = 5;
    WriteBytes(raw.string(), std::vector<unsigned char>(5 * 4 * 3, 200));
    const int alerts = ui.AlertCount();
    const int beeps = ui.BeepCount();
    EXPECT_NE(OpenRAWFile(raw, params), RawReadResult::ok);
    EXPECT_EQ(ui.AlertCount(), alerts);
    EXPECT_EQ(ui.BeepCount(), beeps + 1);
    EXPECT_EQ(gRedStack[0], 9);
}

TEST_F(StackFilesWithClipsTest, ClipLessDocumentFollowsTheFilesSize)
{
    ScriptedInteraction ui;
    gDarkFrame = MakeImage(8, 6); // left from an earlier document
    gFlatFrame = MakeImage(5, 3);
    const fs::path raw = ReferenceScratchDir() + "/in.raw";
    WriteBytes(raw.string(), std::vector<unsigned char>(5 * 3 * 3, 1));
    RawImportParams params;
    params.width = 5;
    params.height = 3;
    params.sampleBytes = 1;
    ASSERT_EQ(OpenRAWFile(raw, params), RawReadResult::ok);
    EXPECT_EQ(gImageDim, MakeRect(0, 0, 3, 5));
    EXPECT_EQ(gDarkFrame, nullptr); // another size: released
    ASSERT_NE(gFlatFrame, nullptr); // the file's size: kept
    EXPECT_TRUE(gHotPixelMask.Matches(5, 3));
    EXPECT_FALSE(gHotPixelMask.HasAnyHotPixel());
    EXPECT_EQ(ui.AlertCount(), 0);
}
