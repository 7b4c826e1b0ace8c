// tests/unit/FITSStackTest.cpp: the summed stack saved as three FITS files and
// FITS images opened into one plane, checked with astropy and fitsverify.
#include "files/FITSStack.h"

#include <climits>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FITSReference.h"
#include "FakeStackDocument.h"
#include "shell/Alerts.h"
#include "files/FITSFile.h"
#include "tests/support/PythonReference.h"
#include "tests/support/ScriptedInteraction.h"

namespace fs = std::filesystem;

namespace {

const char* const kLetters[3] = {"R", "G", "B"};
const char* const kNames[3] = {"red", "green", "blue"};

// Runs each test in a scratch folder of its own: the files' names are
// relative to the current folder.
class FITSStackTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        mPrevious = fs::current_path();
        mDir = ReferenceScratchDir();
        fs::current_path(mDir);
    }
    void TearDown() override
    {
        fs::current_path(mPrevious);
        FailFITSWriteForTesting(0);
    }

    // A stack whose planes step up to the given maxima.
    static void FillStack(FakeStackDocument& doc, int w, int h, const int32_t maxima[3])
    {
        doc.MakeStack(w, h);
        doc.imageDim = MakeRect(0, 0, h, w);
        for (int c = 0; c < 3; ++c) {
            const std::size_t n = doc.planes[c].size();
            for (std::size_t i = 0; i < n; ++i)
                doc.planes[c][i] =
                    n == 1 ? maxima[c] : static_cast<int32_t>(static_cast<int64_t>(maxima[c]) * i / (n - 1));
        }
    }

    void ExpectFilesHold(const FakeStackDocument& doc, const std::string& base, const std::string& bitpix,
                         const std::string& bzero)
    {
        for (int c = 0; c < 3; ++c) {
            SCOPED_TRACE(kNames[c]);
            const std::string path = (mDir / (base + "-" + kLetters[c] + ".fit")).string();
            std::string report;
            EXPECT_TRUE(FitsverifyClean(path, &report)) << report;
            const FITSDescription d = DescribeFITS(path);
            ASSERT_TRUE(d.ok) << d.output;
            EXPECT_EQ(d.keys.at("BITPIX"), bitpix);
            EXPECT_EQ(d.keys.at("BZERO"), bzero);
            EXPECT_EQ(d.keys.at("SHAPE"), std::to_string(doc.height) + "x" + std::to_string(doc.width));
            EXPECT_EQ(d.keys.at("CREATAPP"), "Velmora");
            EXPECT_EQ(d.keys.at("CHANNEL"), kNames[c]);
            EXPECT_EQ(d.keys.at("CHANNEL_COMMENT"), "");
            EXPECT_EQ(d.data, std::vector<double>(doc.planes[c].begin(), doc.planes[c].end()));
        }
    }

    std::string Astropy(const std::string& dtype, const std::string& shape, const std::vector<double>& values)
    {
        const std::string path = (mDir / ("in-" + dtype + "-" + shape + ".fits")).string();
        EXPECT_TRUE(WriteFITSWithAstropy(dtype, shape, values, path));
        return path;
    }

    static void ExpectOpenAlert(const ScriptedInteraction& ui)
    {
        ASSERT_EQ(ui.AlertCount(), 1);
        const AlertRequest a = ui.Alerts()[0].request;
        EXPECT_EQ(a.kind, kAlertStop);
        EXPECT_EQ(a.title, "Unknown Error");
        EXPECT_EQ(a.message, "Make sure the file is located in the same directory as Velmora and that you have "
                             "entered the correct name (including extension).");
    }

    fs::path mPrevious;
    fs::path mDir;
};

} // namespace

TEST_F(FITSStackTest, SixteenBitUpTo65535AndAllThirtyTwoBitFrom65536)
{
    ScriptedInteraction ui;
    FakeStackDocument doc;
    const int32_t sixteen[3] = {65535, 1000, 0};
    FillStack(doc, 7, 5, sixteen);
    SaveFITSStack(doc, SaveFITSParams{"M42"});
    EXPECT_EQ(ui.AlertCount(), 0);
    ExpectFilesHold(doc, "M42", "16", "32768");

    // One plane above 65535 makes all three files 32-bit, replacing the older ones.
    const int32_t wide[3] = {65535, 65536, 12};
    FillStack(doc, 7, 5, wide);
    SaveFITSStack(doc, SaveFITSParams{"M42"});
    EXPECT_EQ(ui.AlertCount(), 0);
    ExpectFilesHold(doc, "M42", "32", "2147483648");

    int files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(mDir))
        ++files;
    EXPECT_EQ(files, 3); // no temporary files left
}

TEST_F(FITSStackTest, FailedChannelKeepsItsOldFileAndTheOthersAreWritten)
{
    ScriptedInteraction ui;
    FakeStackDocument doc;
    const int32_t first[3] = {10, 20, 30};
    FillStack(doc, 4, 3, first);
    SaveFITSStack(doc, SaveFITSParams{"M42"});
    const std::vector<unsigned char> oldGreen = ReadBytes((mDir / "M42-G.fit").string());

    const int32_t second[3] = {400, 500, 600};
    FillStack(doc, 4, 3, second);
    FailFITSWriteForTesting(2); // the green file
    SaveFITSStack(doc, SaveFITSParams{"M42"});
    ASSERT_EQ(ui.AlertCount(), 1);
    EXPECT_EQ(ui.Alerts()[0].request.title, "Unknown Error");
    EXPECT_EQ(ui.Alerts()[0].request.message, "An unknown error occurred while attempting to save the file.  Sorry.");
    EXPECT_EQ(ReadBytes((mDir / "M42-G.fit").string()), oldGreen);
    FITSImage red, blue;
    ASSERT_EQ(ReadFITSImage("M42-R.fit", red), FITSReadResult::ok);
    ASSERT_EQ(ReadFITSImage("M42-B.fit", blue), FITSReadResult::ok);
    EXPECT_EQ(red.pixels, doc.planes[0]);
    EXPECT_EQ(blue.pixels, doc.planes[2]);
}

TEST_F(FITSStackTest, NegativeValueInSixteenBitSaveFailsThatFileOnly)
{
    ScriptedInteraction ui;
    FakeStackDocument doc;
    const int32_t maxima[3] = {100, 200, 300};
    FillStack(doc, 3, 3, maxima);
    doc.planes[2][4] = -1;
    SaveFITSStack(doc, SaveFITSParams{"neg"});
    EXPECT_EQ(ui.AlertCount(), 1);
    EXPECT_TRUE(fs::exists(mDir / "neg-R.fit"));
    EXPECT_TRUE(fs::exists(mDir / "neg-G.fit"));
    EXPECT_FALSE(fs::exists(mDir / "neg-B.fit"));
}

TEST_F(FITSStackTest, BlankNameAlertsAndNoStackBeeps)
{
    ScriptedInteraction ui;
    FakeStackDocument doc;
    const int32_t maxima[3] = {1, 2, 3};
    FillStack(doc, 2, 2, maxima);
    SaveFITSStack(doc, SaveFITSParams{""});
    ASSERT_EQ(ui.AlertCount(), 1);
    EXPECT_EQ(ui.Alerts()[0].request.title, "File Name Error");
    EXPECT_EQ(ui.Alerts()[0].request.message, "You specified a blank filename.");

    FakeStackDocument empty;
    const int beeps = ui.BeepCount();
    SaveFITSStack(empty, SaveFITSParams{"M42"});
    EXPECT_EQ(ui.BeepCount(), beeps + 1);
    EXPECT_EQ(ui.AlertCount(), 1);
    EXPECT_TRUE(fs::is_empty(mDir));
}

TEST_F(FITSStackTest, OpensAstropyImagesIntoTheChosenPlaneOnly)
{
    ScriptedInteraction ui;
    struct Case {
        const char* dtype;
        std::vector<double> values;
        std::vector<double> expected; // after the minimum shift
    };
    const std::vector<Case> cases = {
        {"int16", {-200, -1, 0, 5, 32767, 100}, {0, 199, 200, 205, 32967, 300}},
        {"uint16", {0, 65535, 32768, 1, 2, 3}, {0, 65535, 32768, 1, 2, 3}},
        {"int32", {INT32_MIN, INT32_MAX, -1, 0, 70000, 1}, {0, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX}},
        {"float32", {0, 1, 2, 1000, 65535, 100000}, {0, 1, 2, 1000, 65535, 100000}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dtype);
        FakeStackDocument doc;
        doc.MakeStack(3, 2, 7);
        doc.imageDim = MakeRect(0, 0, 2, 3);
        const std::vector<int32_t> red = doc.planes[0], blue = doc.planes[2];
        OpenFITSToStack(doc, OpenFITSParams{Astropy(c.dtype, "2x3", c.values), kGreenChannel});
        EXPECT_EQ(ui.AlertCount(), 0);
        EXPECT_EQ(std::vector<double>(doc.planes[1].begin(), doc.planes[1].end()), c.expected);
        EXPECT_EQ(doc.planes[0], red);
        EXPECT_EQ(doc.planes[2], blue);
        EXPECT_EQ(doc.projections, 1);
        EXPECT_EQ(doc.wrongSizeQuestions, 0);
    }
}

TEST_F(FITSStackTest, EmptyDocumentTakesTheFilesSize)
{
    ScriptedInteraction ui;
    FakeStackDocument doc;
    std::vector<double> values(640 * 480);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<double>(i % 60000);
    OpenFITSToStack(doc, OpenFITSParams{Astropy("uint16", "480x640", values), kBlueChannel});
    EXPECT_EQ(ui.AlertCount(), 0);
    ASSERT_TRUE(doc.hasStack);
    EXPECT_EQ(doc.imageDim, MakeRect(0, 0, 480, 640));
    EXPECT_EQ(doc.width, 640);
    EXPECT_EQ(doc.height, 480);
    EXPECT_EQ(doc.planes[0], std::vector<int32_t>(640 * 480, 0));
    EXPECT_EQ(doc.planes[1], std::vector<int32_t>(640 * 480, 0));
    EXPECT_EQ(std::vector<double>(doc.planes[2].begin(), doc.planes[2].end()), values);
    EXPECT_EQ(doc.sizeFollows, 1);
}

TEST_F(FITSStackTest, FailedStackBuildRestoresTheSizeAndWritesNothing)
{
    // Too wide for stacking: the width alert, no stack, the size restored.
    {
        ScriptedInteraction ui;
        FakeStackDocument doc;
        doc.imageDim = MakeRect(0, 0, 0, 0);
        OpenFITSToStack(doc, OpenFITSParams{Astropy("uint8", "2x4092", std::vector<double>(2 * 4092, 9)), 0});
        ASSERT_EQ(ui.AlertCount(), 1);
        EXPECT_EQ(ui.Alerts()[0].request.title, kImageWidthErrorTitle);
        EXPECT_FALSE(doc.hasStack);
        EXPECT_EQ(doc.imageDim, MakeRect(0, 0, 0, 0));
        EXPECT_EQ(doc.sizeFollows, 0);
        EXPECT_EQ(doc.projections, 0);
    }
    // A document with clips: a declined rotation warning, a Cancel, or too little memory.
    for (auto build : {FakeStackDocument::Build::declineRotationWarning, FakeStackDocument::Build::cancel,
                       FakeStackDocument::Build::outOfMemory}) {
        ScriptedInteraction ui;
        FakeStackDocument doc;
        doc.clips = 3;
        doc.imageDim = MakeRect(0, 0, 4, 6);
        doc.build = build;
        OpenFITSToStack(doc, OpenFITSParams{Astropy("int16", "4x6", std::vector<double>(24, 3)), 1});
        EXPECT_FALSE(doc.hasStack);
        EXPECT_EQ(doc.builds, 1);
        EXPECT_EQ(doc.imageDim, MakeRect(0, 0, 4, 6));
        EXPECT_EQ(doc.projections, 0);
    }
}

TEST_F(FITSStackTest, DocumentWithClipsKeepsItsSizeAndBuildsTheStack)
{
    ScriptedInteraction ui;
    FakeStackDocument doc;
    doc.clips = 2;
    doc.imageDim = MakeRect(0, 0, 3, 4);
    std::vector<double> values(12);
    for (int i = 0; i < 12; ++i)
        values[i] = i * 10;
    OpenFITSToStack(doc, OpenFITSParams{Astropy("int16", "3x4", values), kRedChannel});
    ASSERT_TRUE(doc.hasStack);
    EXPECT_EQ(doc.builds, 1);
    EXPECT_EQ(doc.sizeFollows, 0);
    EXPECT_EQ(std::vector<double>(doc.planes[0].begin(), doc.planes[0].end()), values);
    EXPECT_EQ(doc.planes[1], std::vector<int32_t>(12, 1)); // the clips' sum stays
}

TEST_F(FITSStackTest, OtherSizeAsksAndStretchesOntoABinnedStack)
{
    // A 640 × 480 document binned 2 × 2: the stack is 320 × 240.
    std::vector<double> values(640 * 480);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<double>((i / 640) * 1000 + i % 640);
    const std::string path = Astropy("int32", "480x640", values);
    for (bool accept : {true, false}) {
        SCOPED_TRACE(accept);
        ScriptedInteraction ui;
        FakeStackDocument doc;
        doc.imageDim = MakeRect(0, 0, 480, 640);
        doc.MakeStack(320, 240, 5);
        doc.acceptWrongSize = accept;
        const std::vector<int32_t> before = doc.planes[1];
        OpenFITSToStack(doc, OpenFITSParams{path, kGreenChannel});
        EXPECT_EQ(doc.wrongSizeQuestions, 1);
        EXPECT_EQ(ui.AlertCount(), 0);
        EXPECT_EQ(doc.width, 320);
        EXPECT_EQ(doc.planes[1].size(), 320u * 240u);
        if (accept) {
            // Plane (y, x) takes file (2y, 2x): floor(y × 480 / 240), floor(x × 640 / 320).
            for (int y = 0; y < 240; y += 37)
                for (int x = 0; x < 320; x += 29)
                    EXPECT_EQ(doc.planes[1][y * 320 + x], (2 * y) * 1000 + 2 * x);
            EXPECT_EQ(doc.planes[1][239 * 320 + 319], 478 * 1000 + 638);
            EXPECT_EQ(doc.projections, 1);
        } else {
            EXPECT_EQ(doc.planes[1], before);
            EXPECT_EQ(doc.projections, 0);
        }
    }
}

TEST_F(FITSStackTest, UnreadableFilesAlertAndLeaveThePlane)
{
    const std::string line = Astropy("int16", "6", {1, 2, 3, 4, 5, 6});
    const std::string empty = Astropy("int16", "none", {});
    const std::string cut = Astropy("int16", "30x40", std::vector<double>(1200, 4));
    std::vector<unsigned char> bytes = ReadBytes(cut);
    bytes.resize(2880 + 1000);
    WriteBytes(cut, bytes);
    for (const std::string& path : {line, empty, cut, std::string("missing.fits")}) {
        SCOPED_TRACE(path);
        ScriptedInteraction ui;
        FakeStackDocument doc;
        doc.MakeStack(40, 30);
        doc.imageDim = MakeRect(0, 0, 30, 40);
        const std::vector<int32_t> before = doc.planes[0];
        OpenFITSToStack(doc, OpenFITSParams{path, kRedChannel});
        ExpectOpenAlert(ui);
        EXPECT_EQ(doc.planes[0], before);
        EXPECT_EQ(doc.projections, 0);
        EXPECT_EQ(doc.builds, 0);
    }
}

TEST_F(FITSStackTest, SavedFilesOpenBackIdenticalInBothWidths)
{
    for (int32_t top : {65535, INT32_MAX}) {
        SCOPED_TRACE(top);
        ScriptedInteraction ui;
        FakeStackDocument saved;
        const int32_t maxima[3] = {top, top / 2, 7};
        FillStack(saved, 9, 5, maxima);
        SaveFITSStack(saved, SaveFITSParams{"trip"});
        FakeStackDocument opened;
        for (int c = 0; c < 3; ++c)
            OpenFITSToStack(opened, OpenFITSParams{std::string("trip-") + kLetters[c] + ".fit", c});
        EXPECT_EQ(ui.AlertCount(), 0);
        EXPECT_EQ(opened.builds, 1);
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(opened.planes[c], saved.planes[c]) << kNames[c];
    }
}
