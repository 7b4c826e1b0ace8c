// tests/unit/RawStackTest.cpp: the summed stack read from and written to raw
// files: refusals leave the document as it was, saves keep old files on
// failure, and a save opens back identical.
#include "files/RawStack.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakeStackDocument.h"
#include "shell/Alerts.h"
#include "files/FITSStack.h"
#include "files/ReplacingSave.h"
#include "platform/core/ByteOrder.h"
#include "tests/support/PythonReference.h"
#include "tests/support/ScriptedInteraction.h"

namespace fs = std::filesystem;

namespace {

RawImportParams Import(int w, int h, int bytes, bool interleaved = true, bool bigEndian = BigEndianSystem())
{
    RawImportParams p;
    p.width = w;
    p.height = h;
    p.sampleBytes = bytes;
    p.bigEndian = bigEndian;
    p.interleaved = interleaved;
    return p;
}

// A 1-byte interleaved file of w × h whose samples are (pixel index × 3 + channel) mod 256.
std::string WriteRamp(const fs::path& dir, int w, int h)
{
    std::vector<unsigned char> bytes(static_cast<std::size_t>(w) * h * 3);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>(i % 256);
    const std::string path = (dir / "ramp.raw").string();
    WriteBytes(path, bytes);
    return path;
}

void ExpectSizeAlert(const ScriptedInteraction& ui)
{
    ASSERT_EQ(ui.AlertCount(), 1);
    const AlertRequest a = ui.Alerts()[0].request;
    EXPECT_EQ(a.kind, kAlertStop);
    EXPECT_EQ(a.title, "File Size Error");
    EXPECT_EQ(a.message, "The file size that would result from the parameters you specified does not fit the size of "
                         "the actual file.  Sorry.");
}

// A document holding a 4 × 3 stack with distinct values.
FakeStackDocument OldDocument()
{
    FakeStackDocument doc;
    doc.MakeStack(4, 3, 11);
    doc.imageDim = MakeRect(0, 0, 3, 4);
    return doc;
}

void ExpectUnchanged(const FakeStackDocument& doc)
{
    const FakeStackDocument old = OldDocument();
    EXPECT_TRUE(doc.hasStack);
    EXPECT_EQ(doc.imageDim, old.imageDim);
    EXPECT_EQ(doc.width, 4);
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(doc.planes[c], old.planes[c]);
    EXPECT_EQ(doc.projections, 0);
}

} // namespace

TEST(RawStackOpen, SizeMismatchAndBadParamsGiveTheAlertAndChangeNothing)
{
    const fs::path dir = ReferenceScratchDir();
    WriteBytes((dir / "30000.raw").string(), std::vector<unsigned char>(30000, 1));
    WriteBytes((dir / "29999.raw").string(), std::vector<unsigned char>(29999, 1));
    WriteBytes((dir / "30001.raw").string(), std::vector<unsigned char>(30001, 1));
    WriteBytes((dir / "empty.raw").string(), {});
    struct Case {
        const char* file;
        RawImportParams params;
    };
    for (const Case& c : {Case{"29999.raw", Import(100, 50, 2)}, Case{"30001.raw", Import(100, 50, 2)},
                          Case{"empty.raw", Import(0, 50, 2)}, Case{"empty.raw", Import(-100, -50, 2)},
                          Case{"empty.raw", Import(100, 50, 0)}, Case{"empty.raw", Import(65536, 65536, 1)},
                          Case{"30000.raw", Import(100, 50, 4)}}) {
        SCOPED_TRACE(std::string(c.file) + " " + std::to_string(c.params.width));
        ScriptedInteraction ui;
        FakeStackDocument doc = OldDocument();
        EXPECT_EQ(OpenRAWFile(doc, dir / c.file, c.params), RawReadResult::wrongSize);
        ExpectSizeAlert(ui);
        ExpectUnchanged(doc);
        EXPECT_EQ(doc.builds, 0);
    }
    // The exact length opens.
    ScriptedInteraction ui;
    FakeStackDocument doc;
    EXPECT_EQ(OpenRAWFile(doc, dir / "30000.raw", Import(100, 50, 2)), RawReadResult::ok);
    EXPECT_EQ(ui.AlertCount(), 0);
    EXPECT_EQ(doc.imageDim, MakeRect(0, 0, 50, 100));
    EXPECT_EQ(doc.planes[1], std::vector<int32_t>(5000, 0x0101));
}

TEST(RawStackOpen, UnreadableFileShowsNothingAndChangesNothing)
{
    const fs::path dir = ReferenceScratchDir();
    const std::string path = WriteRamp(dir, 4, 3);
    {
        ScriptedInteraction ui;
        FakeStackDocument doc = OldDocument();
        EXPECT_EQ(OpenRAWFile(doc, dir / "missing.raw", Import(4, 3, 1)), RawReadResult::cannotOpen);
        EXPECT_EQ(ui.AlertCount(), 0);
        ExpectUnchanged(doc);
    }
    {
        ScriptedInteraction ui;
        FakeStackDocument doc = OldDocument();
        FailNextRawReadsForTesting(1);
        EXPECT_EQ(OpenRAWFile(doc, path, Import(4, 3, 1)), RawReadResult::readFailed);
        EXPECT_EQ(ui.AlertCount(), 0);
        ExpectUnchanged(doc);
        EXPECT_EQ(doc.builds, 0);
    }
}

TEST(RawStackOpen, FailedStackBuildKeepsTheOldStackOrLeavesNone)
{
    const fs::path dir = ReferenceScratchDir();
    const std::string path = WriteRamp(dir, 4, 3);
    {
        // A declined rotation warning: the old stack and size stay.
        ScriptedInteraction ui;
        FakeStackDocument doc = OldDocument();
        doc.clips = 2;
        doc.build = FakeStackDocument::Build::declineRotationWarning;
        EXPECT_NE(OpenRAWFile(doc, path, Import(4, 3, 1)), RawReadResult::ok);
        ExpectUnchanged(doc);
    }
    for (auto build : {FakeStackDocument::Build::cancel, FakeStackDocument::Build::outOfMemory}) {
        // A Cancel or too little memory: no stack, no planes written, size kept.
        ScriptedInteraction ui;
        FakeStackDocument doc = OldDocument();
        doc.clips = 2;
        doc.build = build;
        EXPECT_NE(OpenRAWFile(doc, path, Import(4, 3, 1)), RawReadResult::ok);
        EXPECT_FALSE(doc.hasStack);
        EXPECT_EQ(doc.imageDim, MakeRect(0, 0, 3, 4));
        EXPECT_EQ(doc.projections, 0);
    }
    {
        // Too wide for stacking in a clip-less document: the width alert, the size restored.
        ScriptedInteraction ui;
        FakeStackDocument doc;
        const fs::path wide = dir / "wide.raw";
        WriteBytes(wide.string(), std::vector<unsigned char>(4092 * 3, 0));
        EXPECT_NE(OpenRAWFile(doc, wide, Import(4092, 1, 1)), RawReadResult::ok);
        ASSERT_EQ(ui.AlertCount(), 1);
        EXPECT_EQ(ui.Alerts()[0].request.title, kImageWidthErrorTitle);
        EXPECT_FALSE(doc.hasStack);
        EXPECT_EQ(doc.imageDim, Rect{});
        EXPECT_EQ(doc.sizeFollows, 0);
    }
}

TEST(RawStackOpen, ClipsKeepTheirSizeAndClipLessDocumentsTakeTheFiles)
{
    const fs::path dir = ReferenceScratchDir();
    const std::string path = WriteRamp(dir, 5, 2);
    {
        ScriptedInteraction ui;
        FakeStackDocument doc = OldDocument();
        doc.clips = 1;
        EXPECT_EQ(OpenRAWFile(doc, path, Import(5, 2, 1)), RawReadResult::wrongSize);
        EXPECT_EQ(ui.BeepCount(), 1);
        EXPECT_EQ(ui.AlertCount(), 0);
        ExpectUnchanged(doc);
        EXPECT_EQ(doc.builds, 0);
    }
    {
        ScriptedInteraction ui;
        FakeStackDocument doc = OldDocument();
        EXPECT_EQ(OpenRAWFile(doc, path, Import(5, 2, 1)), RawReadResult::ok);
        EXPECT_EQ(doc.imageDim, MakeRect(0, 0, 2, 5));
        EXPECT_EQ(doc.sizeFollows, 1);
        EXPECT_EQ(doc.projections, 1);
        for (int c = 0; c < 3; ++c)
            for (int i = 0; i < 10; ++i)
                EXPECT_EQ(doc.planes[c][i], i * 3 + c);
    }
    {
        // Clips of the file's size: their stack is replaced by the file.
        ScriptedInteraction ui;
        FakeStackDocument doc;
        doc.clips = 4;
        doc.imageDim = MakeRect(0, 0, 2, 5);
        EXPECT_EQ(OpenRAWFile(doc, path, Import(5, 2, 1, false)), RawReadResult::ok);
        EXPECT_EQ(doc.sizeFollows, 0);
        EXPECT_EQ(doc.planes[0][0], 0);
        EXPECT_EQ(doc.planes[1][0], 10); // planar: green starts after 10 red samples
    }
}

TEST(RawStackSave, SavedFilesOpenBackIdentical)
{
    const fs::path dir = ReferenceScratchDir();
    for (int32_t top : {65535, 70000}) {
        for (bool interleaved : {true, false}) {
            ScriptedInteraction ui;
            FakeStackDocument saved;
            saved.MakeStack(7, 3);
            for (int c = 0; c < 3; ++c)
                for (std::size_t i = 0; i < saved.planes[c].size(); ++i)
                    saved.planes[c][i] = static_cast<int32_t>((i * 4099 + c * 17) % 60000);
            saved.planes[1][5] = top;
            RawExportParams params;
            params.interleaved = interleaved;
            const fs::path target = dir / "stack.raw";
            ASSERT_TRUE(SaveRAWFile(saved, params, target));
            const int bytes = top > 65535 ? 4 : 2;
            EXPECT_EQ(fs::file_size(target), 7u * 3u * 3u * bytes);
            FakeStackDocument opened;
            ASSERT_EQ(OpenRAWFile(opened, target, Import(7, 3, bytes, interleaved)), RawReadResult::ok);
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(opened.planes[c], saved.planes[c]);
            EXPECT_EQ(ui.AlertCount(), 0);
        }
    }
}

TEST(RawStackSave, FailedWriteAlertsAndKeepsTheOldFile)
{
    const fs::path dir = ReferenceScratchDir();
    ScriptedInteraction ui;
    FakeStackDocument doc;
    doc.MakeStack(3, 2);
    const fs::path target = dir / "old.raw";
    WriteBytes(target.string(), {9, 8, 7});
    FailNextFileWritesForTesting(1);
    EXPECT_FALSE(SaveRAWFile(doc, RawExportParams{}, target));
    ASSERT_EQ(ui.AlertCount(), 1);
    EXPECT_EQ(ui.Alerts()[0].request.title, "Unknown Error");
    EXPECT_EQ(ui.Alerts()[0].request.message, "An unknown error occurred while attempting to save the file.  Sorry.");
    EXPECT_EQ(ReadBytes(target.string()), (std::vector<unsigned char>{9, 8, 7}));
    EXPECT_FALSE(SaveRAWFile(doc, RawExportParams{}, dir / "no-folder" / "x.raw"));
    EXPECT_EQ(ui.AlertCount(), 2);
}

TEST(RawStackSave, OkRunsTheChooserAndBeepsWithoutAStack)
{
    const fs::path dir = ReferenceScratchDir();
    ScriptedInteraction ui;
    FakeStackDocument empty;
    EXPECT_FALSE(SaveRAWFile(empty, RawExportParams{}));
    EXPECT_EQ(ui.BeepCount(), 1);
    EXPECT_TRUE(ui.FileDialogs().empty());

    FakeStackDocument doc;
    doc.MakeStack(2, 2);
    ui.AnswerFileDialog({(dir / "chosen.raw").string()});
    EXPECT_TRUE(SaveRAWFile(doc, RawExportParams{}));
    ASSERT_EQ(ui.FileDialogs().size(), 1u);
    EXPECT_EQ(ui.FileDialogs()[0].mode, FileDialogRequest::Mode::kSaveFile);
    EXPECT_EQ(fs::file_size(dir / "chosen.raw"), 2u * 2u * 3u * 4u); // values above 65535: 4-byte samples

    ui.AnswerFileDialog({}); // cancelled
    EXPECT_FALSE(SaveRAWFile(doc, RawExportParams{}));
    EXPECT_EQ(ui.AlertCount(), 0);

    // The maximum is taken from the planes as they are at OK.
    EXPECT_EQ(RawStackMaxValue(doc), 200003);
    doc.planes[2].assign(4, 5);
    doc.planes[1].assign(4, 6);
    doc.planes[0].assign(4, -3);
    EXPECT_EQ(RawStackMaxValue(doc), 6);
    EXPECT_EQ(RawStackMaxValue(empty), 0);
}
