// tests/gui/PictureImportTest.cpp: picture files of every kind become clips of
// one document size; the wrong-size question, unreadable files, low memory
// and running out of memory during the import.
#include "files/PictureImport.h"

#include <algorithm>
#include <set>
#include <thread>

#include "shell/Alerts.h"
#include "app/Commands.h"
#include "shell/DialogPointers.h"
#include "shell/JobSplit.h"
#include "engine/MemoryPolicy.h"
#include "files/FileChoosers.h"
#include "files/OpenImagesAndMovies.h"
#include "platform/core/PictFile.h"
#include "platform/core/StandardAlerts.h"
#include "tests/gui/ImportTestSupport.h"

namespace {

// Quality 100 on smooth ramps moves a channel by at most a few levels.
constexpr int kJpegTolerance = 4;

// Qt writes no GIF: ImageMagick does, from raw grey samples.
void WriteGreyGif(const ScratchFolder& dir, const Rgb8Picture& grey, const std::filesystem::path& out)
{
    const auto raw = dir / "grey-for-gif.raw";
    WriteRaw(raw, grey, true);
    std::string log;
    EXPECT_TRUE(RunCommand(ConvertProgram() + " -size " + std::to_string(grey.width) + "x" +
                               std::to_string(grey.height) + " -depth 8 gray:" + Quote(raw) + " GIF:" + Quote(out),
                           &log))
        << log;
}

struct Fixture {
    std::filesystem::path file;
    Rgb8Picture pixels;
    int tolerance = 0;
};

// Every kind of picture the import reads, all of one odd size.
std::vector<Fixture> WriteEveryKind(const ScratchFolder& dir, int w, int h)
{
    std::vector<Fixture> all;
    const Rgb8Picture colour = Pattern8(w, h, 3);
    const Rgb8Picture grey = Pattern8(w, h, 5, true);
    const Rgb16Picture colour16 = Pattern16(w, h, 7);
    const Rgb16Picture grey16 = Pattern16(w, h, 9, true);

    all.push_back({dir / "colour.png", colour});
    WriteQImage(ToQImage(colour), all.back().file, "png");
    all.push_back({dir / "grey.png", grey});
    WriteQImage(ToQImage(grey).convertToFormat(QImage::Format_Grayscale8), all.back().file, "png");
    all.push_back({dir / "colour16.png", Narrowed(colour16)});
    WriteQImage(ToQImage16(colour16, false), all.back().file, "png");
    all.push_back({dir / "grey16.png", Narrowed(grey16)});
    WriteQImage(ToQImage16(grey16, true), all.back().file, "png");
    all.push_back({dir / "colour.bmp", colour});
    WriteQImage(ToQImage(colour), all.back().file, "bmp");
    all.push_back({dir / "colour.tif", colour});
    WriteQImage(ToQImage(colour), all.back().file, "tiff");
    all.push_back({dir / "colour16.tif", Narrowed(colour16)});
    WriteQImage(ToQImage16(colour16, false), all.back().file, "tiff");
    // 64 grey levels, so that the GIF's palette holds every one exactly.
    Rgb8Picture grey64 = grey;
    for (uint8_t& v : grey64.rgb)
        v &= 0xFC;
    all.push_back({dir / "grey.gif", grey64});
    WriteGreyGif(dir, grey64, all.back().file);
    all.push_back({dir / "colour.tga", colour});
    WriteTga(all.back().file, colour, false, true, false);
    all.push_back({dir / "grey.tga", grey});
    WriteTga(all.back().file, grey, true, false, true);
    all.push_back({dir / "smooth.jpg", Smooth8(w, h), kJpegTolerance});
    WriteQImage(ToQImage(all.back().pixels), all.back().file, "jpeg");
    // The program's own PICT files carry no extension.
    all.push_back({dir / "own picture", colour});
    auto image = MakeImage(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            SetPixel(*image, x, y, Argb{0xFF, colour.At(x, y, 0), colour.At(x, y, 1), colour.At(x, y, 2)});
    EXPECT_EQ(WritePictFile(all.back().file.string(), *image, PictWriteMode::createNew), PictFileStatus::ok);
    return all;
}

std::vector<std::filesystem::path> Files(const std::vector<Fixture>& fixtures)
{
    std::vector<std::filesystem::path> files;
    for (const Fixture& f : fixtures)
        files.push_back(f.file);
    return files;
}

void WritePng(const std::filesystem::path& file, int w, int h, int seed)
{
    WriteQImage(ToQImage(Pattern8(w, h, seed)), file, "png");
}

// The program's stretch: destination pixel d takes source pixel
// floor(d * srcSize / dstSize) on each axis.
Rgb8Picture Stretched(const Rgb8Picture& src, int w, int h)
{
    Rgb8Picture out{w, h, std::vector<uint8_t>(static_cast<std::size_t>(w) * h * 3)};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                out.rgb[(static_cast<std::size_t>(y) * w + x) * 3 + c] =
                    src.At(x * src.width / w, y * src.height / h, c);
    return out;
}

} // namespace

TEST_F(ImportTest, EveryKindOfPictureBecomesAClipOfTheFirstPicturesSize)
{
    for (auto [w, h] : std::vector<std::pair<int, int>>{{37, 23}, {1, 1}, {1, 9}, {9, 1}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        ResetDocument();
        ScratchFolder dir;
        const std::vector<Fixture> fixtures = WriteEveryKind(dir, w, h);
        Import(Files(fixtures));

        EXPECT_EQ(gImageDim, MakeRect(0, 0, h, w));
        EXPECT_TRUE(gHotPixelMask.Matches(w, h));
        EXPECT_FALSE(gHotPixelMask.HasAnyHotPixel());
        EXPECT_EQ(mAlerts.AlertCount(), 0);
        EXPECT_EQ(mQuestions, 0);
        ASSERT_EQ(FrameCount(), static_cast<int>(fixtures.size()));
        for (std::size_t i = 0; i < fixtures.size(); ++i) {
            SCOPED_TRACE(fixtures[i].file.filename().string());
            Frame* clip = FrameAt(static_cast<int>(i));
            EXPECT_EQ(clip->GetIndex(), static_cast<int>(i)); // one worker keeps file order
            std::string where;
            EXPECT_TRUE(HoldsPicture(*clip->GetOriginal(), fixtures[i].pixels, fixtures[i].tolerance, &where)) << where;
            EXPECT_TRUE(SamePixels(*clip->GetOriginal(), *clip->GetModified(true)));
        }
    }
}

TEST_F(ImportTest, ManyWorkersNumberEveryClipOnceWithCompleteImages)
{
    gNumThreads = 8;
    std::vector<std::filesystem::path> files;
    for (int i = 0; i < 40; ++i) {
        files.push_back(mDir / ("p" + std::to_string(i) + ".png"));
        WritePng(files.back(), 13, 7, i);
    }
    Import(files);
    ASSERT_EQ(FrameCount(), 40);
    std::vector<int> indices = ClipIndices();
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(indices[static_cast<std::size_t>(i)], i);
    // Every file's pixels are in exactly one clip.
    std::set<int> matched;
    for (int c = 0; c < 40; ++c)
        for (int i = 0; i < 40; ++i) {
            std::string where;
            if (HoldsPicture(*FrameAt(c)->GetOriginal(), Pattern8(13, 7, i), 0, &where))
                matched.insert(i);
        }
    EXPECT_EQ(matched.size(), 40u);
    EXPECT_EQ(mProgress->Steps(), 40);
}

TEST_F(ImportTest, WrongSizeIsAskedOncePerJob)
{
    for (int threads : {1, 2, 8}) {
        for (bool accept : {true, false}) {
            SCOPED_TRACE(std::to_string(threads) + (accept ? " accept" : " reject"));
            ResetDocument();
            gNumThreads = threads;
            mQuestions = 0;
            mAcceptOtherSizes = accept;
            const std::vector<std::filesystem::path> files = {mDir / "a.png", mDir / "b.png", mDir / "c.png"};
            WritePng(files[0], 64, 48, 1);
            WritePng(files[1], 64, 48, 2);
            WritePng(files[2], 80, 60, 3);
            Import(files);
            EXPECT_EQ(mQuestions, 1);
            EXPECT_EQ(gImageDim, MakeRect(0, 0, 48, 64));
            EXPECT_EQ(mProgress->Steps(), 3); // a rejected picture still counts its step
            ASSERT_EQ(FrameCount(), accept ? 3 : 2);
            if (accept) {
                // Which clip holds the third file depends on the workers' order.
                bool found = false;
                for (int c = 0; c < 3; ++c) {
                    std::string where;
                    found = found ||
                            HoldsPicture(*FrameAt(c)->GetOriginal(), Stretched(Pattern8(80, 60, 3), 64, 48), 0, &where);
                }
                EXPECT_TRUE(found);
            }
        }
    }

    // Twenty pictures of another size across eight workers: still one question.
    gNumThreads = 8;
    mQuestions = 0;
    mAcceptOtherSizes = true;
    std::vector<std::filesystem::path> more;
    for (int i = 0; i < 20; ++i) {
        more.push_back(mDir / ("w" + std::to_string(i) + ".png"));
        WritePng(more.back(), 21, 11, i);
    }
    const int before = FrameCount();
    Import(more);
    EXPECT_EQ(mQuestions, 1);
    EXPECT_EQ(FrameCount(), before + 20);
    for (int i = 0; i < FrameCount(); ++i)
        EXPECT_EQ(FrameAt(i)->GetOriginal()->GetDim(), gImageDim);

    // The next job asks again.
    mQuestions = 0;
    Import({more[0], more[1]});
    EXPECT_EQ(mQuestions, 1);
}

TEST_F(ImportTest, UnreadableAndTruncatedFilesAlertOnceAndTheRestImport)
{
    std::vector<std::filesystem::path> files;
    for (int i = 0; i < 4; ++i) {
        files.push_back(mDir / ("good" + std::to_string(i) + ".png"));
        WritePng(files.back(), 31, 17, i);
    }
    // A picture named as a movie is not a movie.
    WritePng(mDir / "b.mov", 31, 17, 9);
    files.insert(files.begin() + 1, mDir / "b.mov");
    // Garbage, an empty file and a missing one fail when opened.
    WriteBytesFile(mDir / "garbage.png", SeededBytes(5000, 4));
    files.push_back(mDir / "garbage.png");
    WriteBytesFile(mDir / "empty.jpg", {});
    files.push_back(mDir / "empty.jpg");
    files.push_back(mDir / "missing.png");
    // A truncated picture passes the header probe and fails in its worker.
    WritePng(mDir / "whole.png", 31, 17, 12);
    WriteTruncatedCopy(mDir / "whole.png", mDir / "cut.png", std::filesystem::file_size(mDir / "whole.png") / 2);
    files.insert(files.begin() + 3, mDir / "cut.png");

    for (int threads : {1, 4}) {
        ResetDocument();
        gNumThreads = threads;
        const int alertsBefore = mAlerts.AlertCount();
        Import(files);
        EXPECT_EQ(mAlerts.AlertCount() - alertsBefore, 1);
        EXPECT_EQ(AlertsTitled(kAddPicturesErrorTitle), threads == 1 ? 1 : 2);
        const auto shown = mAlerts.Alerts().back().request;
        EXPECT_EQ(shown.title, "Add Pictures Error");
        EXPECT_EQ(shown.message, "An error occurred while opening some of the files.  Any readable files will be "
                                 "accepted and any unreadable files will be rejected.  Sorry.");
        EXPECT_EQ(shown.kind, kAlertStop);
        EXPECT_EQ(FrameCount(), 4);
    }

    // Only unreadable files: no document, the alert all the same.
    ResetDocument();
    Import({mDir / "garbage.png", mDir / "missing.png"});
    EXPECT_EQ(FrameCount(), 0);
    EXPECT_EQ(gImageDim, Rect{});
    EXPECT_EQ(AlertsTitled(kAddPicturesErrorTitle), 3);
}

TEST_F(ImportTest, DeclinedWidthWarningImportsNothing)
{
    QImage wide(4092, 2, QImage::Format_RGB32);
    wide.fill(Qt::gray);
    WriteQImage(wide, mDir / "wide.png", "png");
    WritePng(mDir / "small.png", 5, 2, 1);
    mAlerts.Answer(false); // Cancel in the width warning
    Import({mDir / "wide.png", mDir / "small.png"});
    EXPECT_EQ(mAlerts.AlertCount(), 1);
    EXPECT_EQ(mAlerts.Alerts()[0].request.title, kImageWidthWarningTitle);
    EXPECT_EQ(FrameCount(), 0);
    EXPECT_EQ(gImageDim, Rect{});
    EXPECT_TRUE(gHotPixelMask.pixels.empty());
    EXPECT_EQ(mProgress->Opened(), 0);

    mAlerts.Answer(true); // Continue
    Import({mDir / "wide.png"});
    EXPECT_EQ(FrameCount(), 1);
    EXPECT_EQ(gImageDim, MakeRect(0, 0, 2, 4092));
}

TEST_F(ImportTest, AFrameLeftOfTheOriginIsWarnedAboutByTheWidthItGives)
{
    // A PICT's frame (0, -30000, 10, 100): its right edge is small, but the
    // document would be 30100 wide.
    WritePng(mDir / "small.png", 5, 2, 1);
    mAlerts.Answer(false); // Cancel in the width warning
    std::vector<ProbedPicture> pictures = {{mDir / "small.png", MakeRect(0, -30000, 10, 100)}};
    AddSetOfPictures(pictures);
    EXPECT_EQ(mAlerts.AlertCount(), 1);
    EXPECT_EQ(AlertsTitled(kImageWidthWarningTitle), 1);
    EXPECT_EQ(FrameCount(), 0);
    EXPECT_EQ(gImageDim, Rect{});
}

TEST_F(ImportTest, OwnPictWithAFrameAwayFromTheOriginPassesTheSizeTest)
{
    // A PICT whose frame ends where the document ends takes no question and
    // fills the whole clip.
    auto image = MakeImage(40, 30);
    FillGradient(*image);
    ASSERT_EQ(WritePictFile((mDir / "first").string(), *image, PictWriteMode::createNew), PictFileStatus::ok);
    Import({mDir / "first"});
    ASSERT_EQ(gImageDim, MakeRect(0, 0, 30, 40));

    std::vector<ProbedPicture> pictures = {{mDir / "first", MakeRect(10, 20, 30, 40)}};
    AddSetOfPictures(pictures);
    ASSERT_TRUE(RunJobToEnd());
    EXPECT_EQ(mQuestions, 0);
    ASSERT_EQ(FrameCount(), 2);
    EXPECT_TRUE(SamePixels(*FrameAt(1)->GetOriginal(), *image));
}

TEST_F(ImportTest, LowMemorySendsEveryNewClipToItsFilesAndTheyComeBackIntact)
{
    SetFreeMemForTesting([] { return kLowMemoryThreshold - 1; });
    std::vector<std::filesystem::path> files;
    for (int i = 0; i < 5; ++i) {
        files.push_back(mDir / ("m" + std::to_string(i) + ".png"));
        WritePng(files.back(), 19, 11, 20 + i);
    }
    Import(files);
    ASSERT_EQ(FrameCount(), 5);
    for (int i = 1; i < 5; ++i)
        EXPECT_FALSE(FrameAt(i)->InMemory()) << i;
    SetFreeMemForTesting([] { return kLowMemoryThreshold; });
    for (int i = 0; i < 5; ++i) {
        std::string where;
        EXPECT_TRUE(HoldsPicture(*FrameAt(i)->GetOriginal(), Pattern8(19, 11, 20 + i), 0, &where)) << where;
    }
}

TEST_F(ImportTest, LowMemoryMakesRoomForEveryPictureBeforeDecodingIt)
{
    // Pictures whose decoding needs more than the low threshold: free memory
    // is a small figure less the clips held in memory, so it sits at the
    // threshold once two clips are in. Earlier clips must go to their files
    // to make room; no picture may be turned away for want of memory.
    constexpr int kW = 1600, kH = 1200, kPictures = 6;
    constexpr int64_t kImage = int64_t{kW} * kH * 4;
    SetFreeMemForTesting([] {
        int64_t held = 0;
        for (int i = 0, n = FrameCount(); i < n; ++i)
            held += FrameAt(i)->InMemory() ? 2 * kImage : 0;
        return kLowMemoryThreshold + 4 * kImage - held;
    });
    std::vector<std::filesystem::path> files;
    for (int i = 0; i < kPictures; ++i) {
        files.push_back(mDir / ("big" + std::to_string(i) + ".png"));
        WritePng(files.back(), kW, kH, 40 + i);
    }
    Import(files);
    QCoreApplication::processEvents(); // a worker's alert
    EXPECT_EQ(AlertsTitled(kOutOfMemoryTitle), 0);
    ASSERT_EQ(FrameCount(), kPictures);
    int onDisk = 0;
    for (int i = 0; i < kPictures; ++i)
        onDisk += FrameAt(i)->InMemory() ? 0 : 1;
    EXPECT_GE(onDisk, kPictures - 2);
    for (int i = 0; i < kPictures; ++i) {
        std::string where;
        EXPECT_TRUE(HoldsPicture(*FrameAt(i)->GetOriginal(), Pattern8(kW, kH, 40 + i), 0, &where)) << i << where;
    }
}

TEST_F(ImportTest, WithRoomToSpareFreeMemoryIsReadOncePerPicture)
{
    // Reading the figure costs several files; the room made before decoding
    // answers for the decoder's working pictures and for the clip's check
    // after it is appended.
    std::atomic<int> workerReads{0};
    const std::thread::id main = std::this_thread::get_id();
    SetFreeMemForTesting([&] {
        if (std::this_thread::get_id() != main)
            ++workerReads;
        return int64_t{1} << 40;
    });
    constexpr int kPictures = 6;
    std::vector<std::filesystem::path> files;
    for (int i = 0; i < kPictures; ++i) {
        files.push_back(mDir / ("once" + std::to_string(i) + ".png"));
        WritePng(files.back(), 13, 7, 60 + i);
    }
    gNumThreads = 3;
    Import(files);
    SetFreeMemForTesting(nullptr);
    ASSERT_EQ(FrameCount(), kPictures);
    EXPECT_EQ(workerReads, kPictures);
    for (int i = 0; i < kPictures; ++i)
        EXPECT_TRUE(FrameAt(i)->InMemory()) << i;
}

TEST_F(ImportTest, RunningOutOfMemoryKeepsEarlierClipsAndFreesTheJob)
{
    // Pictures 0-2 at the document's size, then one of another size whose
    // question makes the next image allocation fail: the worker ends there.
    std::vector<std::filesystem::path> files;
    for (int i = 0; i < 3; ++i) {
        files.push_back(mDir / ("s" + std::to_string(i) + ".png"));
        WritePng(files.back(), 12, 8, i);
    }
    files.push_back(mDir / "other.png");
    WritePng(files.back(), 14, 8, 5);
    files.push_back(mDir / "after.png");
    WritePng(files.back(), 12, 8, 6);
    mOnQuestion = [] { FailNextImageAllocationsForTesting(1); };
    Import(files);
    mOnQuestion = nullptr;
    EXPECT_EQ(FrameCount(), 3);
    EXPECT_EQ(ClipIndices(), (std::vector<int>{0, 1, 2}));
    ASSERT_TRUE(RunEventsUntil([this] { return AlertsTitled(kOutOfMemoryTitle) == 1; }));
    for (const auto& shown : mAlerts.Alerts())
        EXPECT_EQ(shown.thread, std::this_thread::get_id());

    // The append lock was released: a second import runs to its end.
    Import({files[4]});
    EXPECT_EQ(FrameCount(), 4);
    EXPECT_EQ(AlertsTitled(kOutOfMemoryTitle), 1);
}

TEST_F(ImportTest, OpenIsRefusedWhileAJobRuns)
{
    gNumThreads = 1;
    std::vector<std::filesystem::path> files;
    for (int i = 0; i < 3; ++i) {
        files.push_back(mDir / ("r" + std::to_string(i) + ".png"));
        WritePng(files.back(), 9, 9, i);
    }
    std::vector<std::string> paths = {files[0].string(), files[1].string()};
    OpenImagesAndMovies(&paths);
    ASSERT_TRUE(IsJobActive());
    const int beeps = mAlerts.BeepCount();
    std::vector<std::string> second = {files[2].string()};
    OpenImagesAndMovies(&second);
    EXPECT_EQ(mAlerts.BeepCount(), beeps + 1);
    ASSERT_TRUE(RunJobToEnd());
    EXPECT_EQ(FrameCount(), 2);
}

TEST_F(ImportTest, TheOpenCommandOffersEveryTypeAndCancelOpensNothing)
{
    InstallPictureAndMovieImport();
    mAlerts.AnswerFileDialog({});
    GetCommandOperations().openImagesAndMovies();
    ASSERT_EQ(mAlerts.FileDialogs().size(), 1u);
    const FileDialogRequest request = mAlerts.FileDialogs()[0];
    EXPECT_EQ(request.mode, FileDialogRequest::Mode::kOpenFiles);
    EXPECT_EQ(request.nameFilters.back(), "All files (*)");
    EXPECT_FALSE(IsJobActive());
    EXPECT_EQ(FrameCount(), 0);

    WritePng(mDir / "chosen.png", 6, 4, 1);
    mAlerts.AnswerFileDialog({(mDir / "chosen.png").string()});
    GetCommandOperations().openImagesAndMovies();
    ASSERT_TRUE(RunJobToEnd());
    EXPECT_EQ(FrameCount(), 1);

    // Files named on the command line take the same path.
    GetCommandOperations().openDocuments({(mDir / "chosen.png").string()});
    ASSERT_TRUE(RunJobToEnd());
    EXPECT_EQ(FrameCount(), 2);

    std::filesystem::path one;
    EXPECT_EQ(GetOneFileWithPreview(14, kPictureTypes, nullptr), kParamErr);
    EXPECT_EQ(GetOneFileWithPreview(14, kPictureTypes, &one), kUserCanceledErr);
    mAlerts.AnswerFileDialog({"/some/file"});
    EXPECT_EQ(GetOneFileWithPreview(0, nullptr, &one), kNoErr);
    EXPECT_EQ(one, std::filesystem::path("/some/file"));
    EXPECT_EQ(mAlerts.FileDialogs().back().nameFilters, std::vector<std::string>{"All files (*)"});
}

TEST(PictureImportSplit, ChunkEndsFollowTheRoundedStep)
{
    auto ends = [](int n, int threads) {
        std::vector<int> e;
        for (const JobRange& r : SplitJobRanges(n, threads))
            e.push_back(r.end);
        return e;
    };
    EXPECT_EQ(ends(3, 4), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(ends(10, 4), (std::vector<int>{3, 6, 9, 10}));
    EXPECT_EQ(ends(12, 8), (std::vector<int>{2, 4, 6, 8, 10, 12, 12, 12}));
    EXPECT_EQ(ends(5, 4), (std::vector<int>{1, 2, 3, 5}));
}

TEST_F(ImportTest, ANewDocumentSizeReleasesCalibrationFramesOfAnotherSize)
{
    for (bool sameSize : {false, true}) {
        ResetDocument();
        gDarkFrame = MakeImage(sameSize ? 12 : 10, 8);
        gFlatFrame = MakeImage(sameSize ? 12 : 11, 8);
        WritePng(mDir / "n.png", 12, 8, 1);
        Import({mDir / "n.png"});
        EXPECT_EQ(gDarkFrame != nullptr, sameSize);
        EXPECT_EQ(gFlatFrame != nullptr, sameSize);
    }
}

TEST_F(ImportTest, OpenIsRefusedWhileADialogReadsTheClips)
{
    WritePng(mDir / "d.png", 6, 6, 1);
    gSortBySpectrumInterface = reinterpret_cast<SortBySpectrumInterface*>(this); // only tested for null
    const int beeps = mAlerts.BeepCount();
    Import({mDir / "d.png"});
    gSortBySpectrumInterface = nullptr;
    EXPECT_EQ(mAlerts.BeepCount(), beeps + 1);
    EXPECT_EQ(FrameCount(), 0);
}
