// tests/gui/OpenMovieInterfaceTest.cpp: the movie frame dialog on movies made
// here with the ffmpeg program: display geometry, stepping, crops, Accept,
// Accept All with its own progress window, tracking, and the document size
// kept by every clip whatever else is open or running.
#include "files/OpenMovieInterface.h"

#include <cmath>
#include <tuple>

#include <QAbstractButton>
#include <QApplication>

#include "shell/Alerts.h"
#include "app/MenuBar.h"
#include "app/MenuState.h"
#include "shell/ShellHooks.h"
#include "shell/WorkingDialog.h"
#include "files/MovieFrameGeometry.h"
#include "imaging/Measurements.h"
#include "platform/core/StandardAlerts.h"
#include "platform/qt/Controls.h"
#include "platform/qt/MenuModel.h"
#include "platform/qt/MovieSource.h"
#include "tests/gui/ImportTestSupport.h"

namespace {

// Lossless in a QuickTime file, so every pixel of every frame is known.
const char* kLossless = "-c:v qtrle -pix_fmt rgb24";

std::vector<Rgb8Picture> PatternFrames(int w, int h, int count)
{
    std::vector<Rgb8Picture> frames;
    for (int k = 0; k < count; ++k)
        frames.push_back(Pattern8(w, h, 100 + k));
    return frames;
}

// A bright disk of radius 6 on black, centred at (cx, cy).
Rgb8Picture Disk(int w, int h, int cx, int cy)
{
    Rgb8Picture p{w, h, std::vector<uint8_t>(static_cast<std::size_t>(w) * h * 3, 0)};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= 36)
                for (int c = 0; c < 3; ++c)
                    p.rgb[(static_cast<std::size_t>(y) * w + x) * 3 + c] = 250;
    return p;
}

Rgb8Picture Cropped(const Rgb8Picture& p, Rect r)
{
    const int w = r.right - r.left, h = r.bottom - r.top;
    Rgb8Picture out{w, h, std::vector<uint8_t>(static_cast<std::size_t>(w) * h * 3)};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                out.rgb[(static_cast<std::size_t>(y) * w + x) * 3 + c] = p.At(r.left + x, r.top + y, c);
    return out;
}

// The brightness centroid of a clip's original, in pixels (doubles).
std::pair<double, double> Centroid(const GWorldWrapper& image)
{
    double sx = 0, sy = 0, s = 0;
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x) {
            const double v = GetPixel(image, x, y).r;
            sx += v * x;
            sy += v * y;
            s += v;
        }
    return {sx / s, sy / s};
}

QWidget* MovieWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle() == "Movie Frames")
            return w;
    return nullptr;
}

void Click(QWidget* window, int id)
{
    auto* button = qobject_cast<QAbstractButton*>(GetControlByID(window, kControlSignature, id).Widget());
    ASSERT_NE(button, nullptr);
    button->click();
}

class MovieDialogTest : public ImportTest {
protected:
    std::filesystem::path Movie(const std::string& name, const std::vector<Rgb8Picture>& frames,
                                const char* options = kLossless)
    {
        const auto file = mDir / name;
        std::string log;
        EXPECT_TRUE(MakeMovie(file, frames, options, &log)) << log;
        return file;
    }
    // A dialog on file; it deletes itself when it ends.
    OpenMovieInterface* Open(const std::filesystem::path& file)
    {
        std::unique_ptr<MovieSource> movie;
        EXPECT_EQ(MovieSource::Open(file, movie), MediaStatus::ok);
        return movie ? new OpenMovieInterface(std::move(movie)) : nullptr;
    }
    static void Hit(OpenMovieInterface* dialog, int id)
    {
        DialogEvent e{DialogEvent::controlHit};
        e.controlID = id;
        dialog->Dispatch(e);
    }
    static std::string Text(OpenMovieInterface* dialog, int id) { return dialog->control(id).Text(); }
    void TearDown() override
    {
        QCoreApplication::processEvents(); // dialogs closed by a test go now
        EXPECT_EQ(OpenMovieInterface::OpenCount(), 0);
        ImportTest::TearDown();
    }
};

} // namespace

TEST(MovieFrameGeometry, DisplayRectangles)
{
    auto check = [](int w, int h, double scale, Rect r) {
        const MovieDisplay d = ComputeMovieDisplay(w, h);
        EXPECT_DOUBLE_EQ(d.scale, scale) << w << "x" << h;
        EXPECT_EQ(d.thumbRect, r) << w << "x" << h;
    };
    check(320, 240, 1.0, MakeRect(120, 160, 360, 480));
    check(1280, 720, 2.0, MakeRect(60, 0, 420, 640));
    check(1000, 1000, 1000.0 / 480.0, MakeRect(1, 81, 480, 560));
    check(640, 480, 1.0, MakeRect(0, 0, 480, 640));
    check(41, 29, 1.0, MakeRect(226, 300, 255, 341));
}

TEST(MovieFrameGeometry, LocatedCropStaysInsideTheMovie)
{
    // 100 x 60 crops in a 320 x 240 movie.
    EXPECT_EQ(LocateCropRect(10, 10, 100, 60, 320, 240), MakeRect(0, 0, 60, 100));
    EXPECT_EQ(LocateCropRect(160, 120, 100, 60, 320, 240), MakeRect(90, 110, 150, 210));
    EXPECT_EQ(LocateCropRect(300, 230, 100, 60, 320, 240), MakeRect(180, 220, 240, 320));
    EXPECT_EQ(LocateCropRect(270, 210, 100, 60, 320, 240), MakeRect(180, 220, 240, 320));
    // At scale 2.0833: the display point (200, 100) of a 1000 x 1000 movie.
    const MovieDisplay d = ComputeMovieDisplay(1000, 1000);
    const Point p = DisplayToFrame(MakePoint(100, 200), d);
    EXPECT_EQ(p, MakePoint(static_cast<int>(99 * (1000 / 480.0)), static_cast<int>(119 * (1000 / 480.0))));
    EXPECT_EQ(LocateCropRect(p.h, p.v, 300, 200, 1000, 1000), MakeRect(p.v - 100, p.h - 150, p.v + 100, p.h + 150));
    // A drag maps both corners with the same scale; its frame shows back in place.
    const Rect crop = DragToCropRect(MakePoint(49, 129), MakePoint(145, 321), d, 1000, 1000);
    EXPECT_EQ(crop, MakeRect(100, 100, 300, 500));
    EXPECT_EQ(FrameToDisplay(crop, d), MakeRect(49, 129, 145, 321));
    // A drag outside the display is clipped to it.
    // (479 - 1) * 1000 / 480 = 995.8 and (560 - 81) * 1000 / 480 = 997.9, truncated.
    EXPECT_EQ(DragToCropRect(MakePoint(0, 0), MakePoint(479, 639), d, 1000, 1000), MakeRect(0, 0, 995, 997));
}

TEST_F(MovieDialogTest, StepsThroughEveryFrameAndAcceptsCrops)
{
    const auto frames = PatternFrames(41, 29, 25);
    OpenMovieInterface* dialog = Open(Movie("steps.mov", frames));
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(OpenMovieInterface::OpenCount(), 1);
    EXPECT_EQ(Text(dialog, kMovieFrameText), "0 of 25");
    EXPECT_EQ(Text(dialog, kMovieAcceptedText), "0");
    EXPECT_EQ(Text(dialog, kMovieUpdateFrequencyText), "10");
    EXPECT_TRUE(dialog->control(kMovieCropHint).IsShown());
    std::string where;
    EXPECT_TRUE(HoldsPicture(dialog->MovieFrame(), frames[0], 0, &where)) << where;

    // The first Accept fixes the document's size from the crop.
    const Rect crop = MakeRect(3, 5, 20, 30);
    dialog->SetCropRect(crop);
    Hit(dialog, kMovieAccept);
    EXPECT_EQ(gImageDim, MakeRect(0, 0, 17, 25));
    EXPECT_TRUE(gHotPixelMask.Matches(25, 17));
    EXPECT_EQ(Text(dialog, kMovieFrameText), "1 of 25");
    EXPECT_EQ(Text(dialog, kMovieAcceptedText), "1");
    EXPECT_FALSE(dialog->control(kMovieCropHint).IsShown());
    Hit(dialog, kMovieSkip);
    // Keys A and R act as the buttons.
    DialogEvent key{DialogEvent::keyDown};
    key.key = Qt::Key_A;
    dialog->Dispatch(key);
    ASSERT_EQ(FrameCount(), 2);
    EXPECT_TRUE(HoldsPicture(*FrameAt(0)->GetOriginal(), Cropped(frames[0], crop), 0, &where)) << where;
    EXPECT_TRUE(HoldsPicture(*FrameAt(1)->GetOriginal(), Cropped(frames[2], crop), 0, &where)) << where;
    key.key = Qt::Key_R;
    for (int k = 3; k < 24; ++k)
        dialog->Dispatch(key);
    EXPECT_EQ(Text(dialog, kMovieFrameText), "24 of 25");
    EXPECT_EQ(OpenMovieInterface::OpenCount(), 1);
    Hit(dialog, kMovieSkip); // the 25th ends the dialog
    EXPECT_EQ(OpenMovieInterface::OpenCount(), 0);
    EXPECT_EQ(FrameCount(), 2);
    QCoreApplication::processEvents(); // the dialog goes once its handler has returned
    EXPECT_EQ(gTempSelectionIndex, 0);
}

TEST_F(MovieDialogTest, FrameCountMatchesDecodedFramesWithBFrames)
{
    const auto frames = PatternFrames(48, 32, 30);
    for (const char* name : {"bframes.mov", "bframes.avi"}) {
        SCOPED_TRACE(name);
        OpenMovieInterface* dialog = Open(Movie(name, frames, "-c:v mpeg4 -bf 2 -g 12 -q:v 2"));
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->FrameCount(), 30);
        for (int k = 1; k < 30; ++k)
            Hit(dialog, kMovieSkip);
        EXPECT_EQ(Text(dialog, kMovieFrameText), "29 of 30");
        Hit(dialog, kMovieSkipAll);
        EXPECT_EQ(OpenMovieInterface::OpenCount(), 0);
        EXPECT_EQ(FrameCount(), 0);
        QCoreApplication::processEvents();
    }
}

TEST_F(MovieDialogTest, AcceptAllRedrawsOnlyEveryNthFrameAndCancelKeepsWhatCameIn)
{
    const auto frames = PatternFrames(33, 21, 25);
    const auto file = Movie("all.mov", frames);

    OpenMovieInterface* dialog = Open(file);
    const int before = dialog->DisplayRedraws();
    Hit(dialog, kMovieAcceptAll); // ends the dialog
    EXPECT_EQ(OpenMovieInterface::OpenCount(), 0);
    ASSERT_EQ(FrameCount(), 25);
    for (int k = 0; k < 25; k += 6) {
        std::string where;
        EXPECT_TRUE(HoldsPicture(*FrameAt(k)->GetOriginal(), frames[static_cast<std::size_t>(k)], 0, &where))
            << k << where;
    }
    (void)before;
    QCoreApplication::processEvents();

    // Frequency 10: frames 10 and 20 while accepting, and the end.
    dialog = Open(file);
    int redrawsBefore = dialog->DisplayRedraws();
    int redrawsAfter = -1;
    dialog->SetAcceptAllStepHookForTesting([&] { redrawsAfter = dialog->DisplayRedraws(); });
    dialog->control(kMovieUpdateFrequencyText).SetText("10");
    dialog->ValidateEditableText();
    EXPECT_TRUE(dialog->acceptAllRemainingFrames());
    EXPECT_EQ(redrawsAfter - redrawsBefore, 2);
    EXPECT_EQ(dialog->DisplayRedraws() - redrawsBefore, 3);
    EXPECT_EQ(FrameCount(), 50);
    dialog->End(false);
    QCoreApplication::processEvents();

    // Frequency 0: nothing while accepting, the last frame at the end.
    dialog = Open(file);
    dialog->control(kMovieUpdateFrequencyText).SetText("0");
    dialog->ValidateEditableText();
    redrawsBefore = dialog->DisplayRedraws();
    EXPECT_TRUE(dialog->acceptAllRemainingFrames());
    EXPECT_EQ(dialog->DisplayRedraws() - redrawsBefore, 1);
    dialog->End(false);
    QCoreApplication::processEvents();

    // Cancel in its own progress window after the fifth frame.
    const int count = FrameCount();
    dialog = Open(file);
    dialog->SetAcceptAllStepHookForTesting([&] {
        if (dialog->AcceptedCount() == 5 && gWorkingDialog)
            gWorkingDialog->HandleDialogItemHit(1000);
    });
    Hit(dialog, kMovieAcceptAll);
    EXPECT_EQ(FrameCount(), count + 5);
    EXPECT_EQ(OpenMovieInterface::OpenCount(), 0);
    EXPECT_EQ(ClipIndices().size(), static_cast<std::size_t>(count + 5));
    for (int i = 0; i < FrameCount(); ++i)
        EXPECT_EQ(FrameAt(i)->GetIndex(), i);
}

TEST_F(MovieDialogTest, UpdateFrequencyIsClampedAsTyped)
{
    OpenMovieInterface* dialog = Open(Movie("field.mov", PatternFrames(16, 16, 3)));
    for (auto [typed, shown, value] : std::vector<std::tuple<std::string, std::string, int>>{
             {"100001", "100000", 100000}, {"-5", "0", 0}, {"250", "250", 250}, {"0", "0", 0}}) {
        dialog->control(kMovieUpdateFrequencyText).SetText(typed);
        dialog->ValidateEditableText();
        EXPECT_EQ(Text(dialog, kMovieUpdateFrequencyText), shown);
        EXPECT_EQ(dialog->UpdateFrequency(), value);
    }
    Hit(dialog, kMovieSkipAll);
}

TEST_F(MovieDialogTest, TrackingKeepsTheTargetCentred)
{
    std::vector<Rgb8Picture> frames;
    for (int k = 0; k < 12; ++k)
        frames.push_back(Disk(120, 90, 30 + 3 * k, 40 + k));
    const auto file = Movie("disk.mov", frames);

    for (bool documentHasClips : {false, true}) {
        SCOPED_TRACE(documentHasClips ? "document with clips" : "empty document");
        ResetDocument();
        if (documentHasClips) {
            WriteQImage(ToQImage(Pattern8(40, 40, 1)), mDir / "clip.png", "png");
            Import({mDir / "clip.png"});
            ASSERT_EQ(FrameCount(), 1);
        }
        const int first = FrameCount();
        OpenMovieInterface* dialog = Open(file);
        dialog->SetCropRect(MakeRect(20, 10, 60, 50)); // disk at (30, 40) in the middle
        dialog->control(kMovieTrackingCheckbox).SetValue(1);
        Hit(dialog, kMovieAcceptAll);
        ASSERT_EQ(FrameCount(), first + 12);
        const auto reference = Centroid(*FrameAt(first)->GetOriginal());
        for (int i = first; i < FrameCount(); ++i) {
            const auto c = Centroid(*FrameAt(i)->GetOriginal());
            EXPECT_NEAR(c.first, reference.first, 1.0) << i;
            EXPECT_NEAR(c.second, reference.second, 1.0) << i;
            EXPECT_EQ(FrameAt(i)->GetOriginal()->GetDim(), gImageDim);
        }
        QCoreApplication::processEvents();
    }
}

TEST_F(MovieDialogTest, EveryClipKeepsTheDocumentSize)
{
    const auto frames = PatternFrames(50, 40, 6);
    const auto file = Movie("two.mov", frames);

    // Two movies into an empty document: the second one's crop follows the
    // size the first one's Accept gave the document.
    OpenMovieInterface* a = Open(file);
    OpenMovieInterface* b = Open(file);
    a->SetCropRect(MakeRect(0, 0, 20, 30));
    b->SetCropRect(MakeRect(5, 5, 40, 45));
    Hit(a, kMovieAccept);
    Hit(b, kMovieAccept);
    Hit(a, kMovieAccept);
    ASSERT_EQ(FrameCount(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(FrameAt(i)->GetOriginal()->GetDim(), MakeRect(0, 0, 20, 30)) << i;
    EXPECT_EQ(b->CropRect().right - b->CropRect().left, 30);
    Hit(a, kMovieSkipAll);
    Hit(b, kMovieSkipAll);
    QCoreApplication::processEvents();

    // A movie smaller than the document opens no dialog.
    ResetDocument();
    WriteQImage(ToQImage(Pattern8(60, 30, 2)), mDir / "wide.png", "png");
    Import({mDir / "wide.png"});
    const int beeps = mAlerts.BeepCount();
    std::unique_ptr<MovieSource> movie;
    ASSERT_EQ(MovieSource::Open(file, movie), MediaStatus::ok);
    EXPECT_FALSE(OpenMovieFrameDialog(std::move(movie)));
    EXPECT_EQ(mAlerts.BeepCount(), beeps + 1);
    EXPECT_EQ(OpenMovieInterface::OpenCount(), 0);

    // The document closed while a dialog is open: the next Accept sizes it anew.
    ResetDocument();
    WriteQImage(ToQImage(Pattern8(10, 10, 2)), mDir / "small.png", "png");
    Import({mDir / "small.png"});
    OpenMovieInterface* c = Open(file);
    EXPECT_EQ(c->CropRect(), MakeRect(0, 0, 10, 10));
    ResetDocument();
    c->SetCropRect(MakeRect(0, 0, 12, 14));
    Hit(c, kMovieAccept);
    EXPECT_EQ(gImageDim, MakeRect(0, 0, 12, 14));
    ASSERT_EQ(FrameCount(), 1);
    Hit(c, kMovieSkipAll);
}

TEST_F(MovieDialogTest, PicturesAndAMovieTogetherShareTheLockAndTheSize)
{
    gNumThreads = 8;
    const auto movie = Movie("with-pictures.mov", PatternFrames(40, 30, 20));
    std::vector<std::string> paths;
    for (int i = 0; i < 60; ++i) {
        const auto file = mDir / ("p" + std::to_string(i) + ".png");
        WriteQImage(ToQImage(Pattern8(24, 18, i)), file, "png");
        paths.push_back(file.string());
    }
    paths.push_back(movie.string());
    OpenImagesAndMovies(&paths);
    ASSERT_EQ(OpenMovieInterface::OpenCount(), 1);
    EXPECT_EQ(gImageDim, MakeRect(0, 0, 18, 24));

    // The dialog has no pointer of its own: the user reaches it by its window.
    QWidget* window = MovieWindow();
    ASSERT_NE(window, nullptr);
    for (int i = 0; i < 5; ++i)
        Click(window, kMovieAccept);
    ASSERT_TRUE(RunJobToEnd());
    ASSERT_EQ(FrameCount(), 65);
    for (int i = 0; i < FrameCount(); ++i) {
        EXPECT_EQ(FrameAt(i)->GetIndex(), i);
        EXPECT_EQ(FrameAt(i)->GetOriginal()->GetDim(), gImageDim);
    }
    Click(window, kMovieSkipAll);
    EXPECT_EQ(OpenMovieInterface::OpenCount(), 0);
}

TEST_F(MovieDialogTest, AcceptAllDuringAPictureImportBeepsAndTheImportEnds)
{
    gNumThreads = 2;
    const auto file = Movie("during.mov", PatternFrames(40, 30, 10));
    std::vector<std::filesystem::path> pictures;
    for (int i = 0; i < 40; ++i) {
        pictures.push_back(mDir / ("q" + std::to_string(i) + ".png"));
        WriteQImage(ToQImage(Pattern8(24, 18, i)), pictures.back(), "png");
    }
    std::vector<ProbedPicture> probed;
    for (const auto& p : pictures)
        probed.push_back({p, MakeRect(0, 0, 18, 24)});
    // Workers wait for each display step, so the job is still running below.
    gSyncThreadDisplay = true;
    AddSetOfPictures(probed);
    ASSERT_TRUE(IsJobActive());
    OpenMovieInterface* dialog = Open(file);
    const int beeps = mAlerts.BeepCount();
    Hit(dialog, kMovieAcceptAll);
    EXPECT_EQ(mAlerts.BeepCount(), beeps + 1);
    EXPECT_EQ(OpenMovieInterface::OpenCount(), 1);
    // A single Accept goes in beside the workers, at the document's size.
    Hit(dialog, kMovieAccept);
    Hit(dialog, kMovieAccept);
    ASSERT_TRUE(RunJobToEnd());
    EXPECT_EQ(FrameCount(), 42);
    for (int i = 0; i < FrameCount(); ++i) {
        EXPECT_EQ(FrameAt(i)->GetIndex(), i);
        EXPECT_EQ(FrameAt(i)->GetOriginal()->GetDim(), MakeRect(0, 0, 18, 24));
    }
    // Now that no job runs, Accept All is taken.
    Hit(dialog, kMovieAcceptAll);
    EXPECT_EQ(OpenMovieInterface::OpenCount(), 0);
    EXPECT_EQ(FrameCount(), 42 + 8);
}

TEST_F(MovieDialogTest, OutOfMemoryAtTheFifthAcceptKeepsFourClips)
{
    OpenMovieInterface* dialog = Open(Movie("oom.mov", PatternFrames(30, 20, 10)));
    for (int i = 0; i < 4; ++i)
        Hit(dialog, kMovieAccept);
    ASSERT_EQ(FrameCount(), 4);
    FailNextImageAllocationsForTesting(1);
    Hit(dialog, kMovieAccept);
    EXPECT_EQ(FrameCount(), 4);
    EXPECT_EQ(OpenMovieInterface::OpenCount(), 0);
    ASSERT_EQ(mAlerts.AlertCount(), 1);
    EXPECT_EQ(mAlerts.Alerts()[0].request.title, "Open Movie Memory Error");
    EXPECT_EQ(mAlerts.Alerts()[0].request.message,
              "There was not enough memory to load the entire movie, so only the first part of the movie was loaded.");
}

TEST_F(MovieDialogTest, SkipAllKeepsTheStackAndAcceptDiscardsIt)
{
    WriteQImage(ToQImage(Pattern8(20, 16, 4)), mDir / "s.png", "png");
    Import({mDir / "s.png"});
    ASSERT_TRUE(CreateInitialStack());
    const auto file = Movie("stack.mov", PatternFrames(30, 20, 3));
    OpenMovieInterface* dialog = Open(file);
    Hit(dialog, kMovieSkipAll);
    EXPECT_TRUE(HaveSummedStack());
    QCoreApplication::processEvents();
    dialog = Open(file);
    Hit(dialog, kMovieAccept);
    EXPECT_FALSE(HaveSummedStack());
    Hit(dialog, kMovieSkipAll);
}

TEST_F(MovieDialogTest, ClickBesideTheFrameBeepsAndFilesWithoutFramesFail)
{
    OpenMovieInterface* dialog = Open(Movie("small.mov", PatternFrames(320, 240, 2)));
    EXPECT_EQ(dialog->Display().thumbRect, MakeRect(120, 160, 360, 480));
    const int beeps = mAlerts.BeepCount();
    bool done = false;
    dialog->processMouse(0, QPoint(10, 10), done);
    EXPECT_EQ(mAlerts.BeepCount(), beeps + 1);
    dialog->processMouse(0, QPoint(700, 10), done); // outside the display area: nothing
    EXPECT_EQ(mAlerts.BeepCount(), beeps + 1);
    Hit(dialog, kMovieSkipAll);

    // A movie name on a file that is not a movie, and an audio-only file.
    WriteBytesFile(mDir / "bad.mov", SeededBytes(3000, 7));
    std::string log;
    ASSERT_TRUE(RunCommand("ffmpeg -v error -y -f lavfi -i sine=duration=0.2 " + Quote(mDir / "sound.mov"), &log))
        << log;
    Import({mDir / "bad.mov", mDir / "sound.mov"});
    EXPECT_EQ(OpenMovieInterface::OpenCount(), 0);
    EXPECT_EQ(AlertsTitled("Add Pictures Error"), 1);
}

TEST_F(MovieDialogTest, OperationsMenuIsOffWhileAMovieDialogIsOpen)
{
    MenuBarInit();
    GetShellHooks().clipsExist = [] { return FrameCount() > 0; };
    WriteQImage(ToQImage(Pattern8(20, 16, 4)), mDir / "m.png", "png");
    Import({mDir / "m.png"});
    UpdateMenuState();
    EXPECT_TRUE(GetMenuModel().IsMenuEnabled(kOperationsMenu));
    OpenMovieInterface* dialog = Open(Movie("menus.mov", PatternFrames(30, 20, 3)));
    EXPECT_FALSE(GetMenuModel().IsMenuEnabled(kOperationsMenu));
    // More files may still be opened meanwhile.
    EXPECT_TRUE(GetMenuModel().IsMenuEnabled(kFileMenu));
    Hit(dialog, kMovieAccept);
    UpdateMenuState(); // as any later change of state does
    EXPECT_FALSE(GetMenuModel().IsMenuEnabled(kOperationsMenu));
    Hit(dialog, kMovieSkipAll);
    QCoreApplication::processEvents();
    EXPECT_TRUE(GetMenuModel().IsMenuEnabled(kOperationsMenu));
    GetShellHooks().clipsExist = nullptr;
    DestroyMenuBarForTesting();
}

TEST_F(MovieDialogTest, EmptyCropBeepsAndAFrameImageThatCannotBeMadeAlertsTwice)
{
    const auto file = Movie("empty-crop.mov", PatternFrames(30, 20, 3));
    OpenMovieInterface* dialog = Open(file);
    dialog->SetCropRect(MakeRect(5, 5, 5, 25)); // a straight drag: no height
    const int beeps = mAlerts.BeepCount();
    Hit(dialog, kMovieAccept);
    EXPECT_EQ(mAlerts.BeepCount(), beeps + 1);
    EXPECT_EQ(FrameCount(), 0);
    EXPECT_EQ(gImageDim, Rect{});
    Hit(dialog, kMovieSkipAll);
    QCoreApplication::processEvents();

    // The dialog's own alert, then the caller's out-of-memory alert.
    std::unique_ptr<MovieSource> movie;
    ASSERT_EQ(MovieSource::Open(file, movie), MediaStatus::ok);
    FailNextImageAllocationsForTesting(1);
    bool threw = false;
    try {
        OpenMovieFrameDialog(std::move(movie));
    } catch (const std::bad_alloc&) {
        threw = true;
    }
    EXPECT_TRUE(threw);
    EXPECT_EQ(OpenMovieInterface::OpenCount(), 0);
    ASSERT_EQ(mAlerts.AlertCount(), 1);
    EXPECT_EQ(mAlerts.Alerts()[0].request.title, kOpenMovieMemoryErrorTitle);

    // Through the Open path the out-of-memory alert follows.
    FailNextImageAllocationsForTesting(1);
    Import({file});
    ASSERT_EQ(mAlerts.AlertCount(), 3);
    EXPECT_EQ(mAlerts.Alerts()[1].request.title, kOpenMovieMemoryErrorTitle);
    EXPECT_EQ(mAlerts.Alerts()[2].request.title, kOutOfMemoryTitle);
    EXPECT_EQ(OpenMovieInterface::OpenCount(), 0);
}
