// files/OpenMovieInterface.cpp: stepping through a movie and turning crops of
// its frames into clips.
#include "files/OpenMovieInterface.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <utility>

#include <QCoreApplication>
#include <QLineEdit>
#include <QWidget>

#include "shell/Alerts.h"
#include "engine/ClipViewWindow.h"
#include "shell/Jobs.h"
#include "shell/MainWindowSet.h"
#include "shell/OperationBoundsRect.h"
#include "shell/ShellHooks.h"
#include "shell/WorkingDialog.h"
#include "engine/AlignByCentroid.h"
#include "engine/ClipsWindow.h"
#include "engine/Frame.h"
#include "engine/FrameList.h"
#include "shell/ImageDim.h"
#include "engine/MemoryPolicy.h"
#include "engine/Selection.h"
#include "engine/SummedStack.h"
#include "files/ImportedClips.h"
#include "imaging/Measurements.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/core/StandardAlerts.h"
#include "platform/core/UserInteraction.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/CanvasDrawing.h"
#include "platform/qt/Controls.h"
#include "platform/qt/MouseTracking.h"
#include "platform/qt/MovieSource.h"
#include "platform/qt/ShellWindow.h"

const char* const kOpenMovieMemoryErrorTitle = "Open Movie Memory Error";
const char* const kOpenMovieMemoryErrorMessage =
    "There was not enough memory to load the entire movie, so only the first part of the movie was loaded.";

namespace {

int sOpenMovieDialogs = 0;

int Width(Rect r)
{
    return r.right - r.left;
}
int Height(Rect r)
{
    return r.bottom - r.top;
}

Rect Moved(Rect r, Point by)
{
    return MakeRect(r.top + by.v, r.left + by.h, r.bottom + by.v, r.right + by.h);
}

// Copies the part crop of source (inside it) into the whole of dest, which
// has crop's size.
void CopyCrop(const GWorldWrapper& source, Rect crop, GWorldWrapper& dest)
{
    const std::size_t bytes = static_cast<std::size_t>(Width(crop)) * 4;
    for (int y = 0; y < Height(crop); ++y)
        std::memcpy(dest.PixelRow(y), source.PixelRow(crop.top + y) + static_cast<std::size_t>(crop.left) * 4, bytes);
}

QRect ToQRect(Rect r)
{
    return QRect(r.left, r.top, Width(r), Height(r));
}

} // namespace

int OpenMovieInterface::OpenCount()
{
    return sOpenMovieDialogs;
}

OpenMovieInterface::OpenMovieInterface(std::unique_ptr<MovieSource> movie)
    : DialogInterface("OpenMovie", false), mMovie(std::move(movie))
{
    setIgnoreEvents(true);
    ++sOpenMovieDialogs;
    mCounted = true;
    GetShellHooks().movieDialogOpen = [] { return sOpenMovieDialogs > 0; };
    UpdateMenuState();

    // Skip All is the way out: a close box would only skip one frame.
    if (QWidget* w = window()) {
        w->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
        w->show();
    }
    mClipsAtOpen = ::FrameCount();
    mMovieBox = mMovie->MovieBox();
    mFrameCount = mMovie->FrameCount();
    try {
        mMovieFrame = std::make_unique<GWorldWrapper>(32, mMovieBox, 0);
    } catch (const std::bad_alloc&) {
        DoStandardAlertNoCancel(kAlertStop, kOpenMovieMemoryErrorTitle, kOpenMovieMemoryErrorMessage);
        NoteClosed();
        throw;
    }
    mDisplay = ComputeMovieDisplay(Width(mMovieBox), Height(mMovieBox));
    mCrop = mMovieBox;
    if (!CropIsFree())
        mCrop = MakeRect(0, 0, Height(gImageDim), Width(gImageDim));

    control(kMovieUpdateFrequencyText).SetText(std::to_string(mUpdateFrequency));
    if (auto* edit = qobject_cast<QLineEdit*>(control(kMovieUpdateFrequencyText).Widget()))
        QObject::connect(edit, &QLineEdit::textEdited, edit, [this] { ValidateEditableText(); });
    setIgnoreEvents(false);

    bool done = false;
    (void)loadNextMovieFrame(done); // a movie opens only when its first frame decodes
    RedrawDialog();
}

OpenMovieInterface::~OpenMovieInterface()
{
    NoteClosed();
    gTempSelectionIndex = ::FrameCount() > 0 ? 0 : -1;
    mMovie.reset();
    mMovieFrame.reset();
    const bool jobRunning = IsJobActive();
    if (!jobRunning)
        FitClipsWindowToNumFrames(true);
    DestroyOperationBoundsRect();
    UpdateMenuState();
    // The job's own end shows its clips; meanwhile its workers use the list.
    if (jobRunning)
        return;
    SaturateMemory();
    if (::FrameCount() > 0) {
        DrawClipsWindow();
        if (gClipsWindow)
            gClipsWindow->show();
        ShowFrameInspectorForImageDim();
        DrawFrameInspectorWindow();
        if (gClipsWindow)
            ShowAndRaise(gClipsWindow);
    }
}

void OpenMovieInterface::NoteClosed()
{
    if (!mCounted)
        return;
    mCounted = false;
    --sOpenMovieDialogs;
    UpdateMenuState();
}

void OpenMovieInterface::ClearGlobalPointer()
{
    NoteClosed();
}

bool OpenMovieInterface::CropIsFree() const
{
    // Only a document without clips and without an import under way may
    // take its size from this movie's crop.
    return ::FrameCount() == 0 && !IsJobActive();
}

bool OpenMovieInterface::FitCropToDocument()
{
    const int w = Width(gImageDim);
    const int h = Height(gImageDim);
    if (Width(mMovieBox) < w || Height(mMovieBox) < h)
        return false;
    if (Width(mCrop) != w || Height(mCrop) != h) {
        const int x = mCrop.left + Width(mCrop) / 2;
        const int y = mCrop.top + Height(mCrop) / 2;
        mCrop = LocateCropRect(x, y, w, h, Width(mMovieBox), Height(mMovieBox));
    }
    return true;
}

void OpenMovieInterface::FailForMemory(bool& done)
{
    DoStandardAlertNoCancel(kAlertStop, kOpenMovieMemoryErrorTitle, kOpenMovieMemoryErrorMessage);
    done = true;
}

bool OpenMovieInterface::loadNextMovieFrame(bool& done)
{
    ++mCurrentFrame;
    if (mCurrentFrame >= mFrameCount) {
        done = true;
        return false;
    }
    MediaStatus status;
    try {
        status = mMovie->DecodeNextFrame(*mMovieFrame);
    } catch (const std::bad_alloc&) {
        FailForMemory(done);
        return false;
    }
    if (status != MediaStatus::ok) {
        // The movie delivers fewer frames than it listed: it ends here.
        mFrameCount = mCurrentFrame;
        done = true;
        return false;
    }
    RedrawDialog();
    return true;
}

bool OpenMovieInterface::acceptOneFrame(bool& done)
{
    if (clipChangesBlocked() || Width(mCrop) <= 0 || Height(mCrop) <= 0) {
        SysBeep();
        return false;
    }
    try {
        if (CropIsFree()) {
            Rect crop = mCrop;
            if (!VerifyImageWidth(&crop, true)) {
                done = true;
                return false;
            }
            TakeNewImageDim(crop);
            ShowFrameInspectorForImageDim();
        } else if (!FitCropToDocument()) {
            SysBeep();
            return false;
        }

        Rect crop = mCrop;
        if (!mHaveReference) {
            CalculateValueCentroid(*mMovieFrame, crop, 0, mReferenceCentroid);
            mHaveReference = true;
        } else if (control(kMovieTrackingCheckbox).Value() != 0) {
            mTrackingOffset = DetermineAlignmentByCentroid(*mMovieFrame, crop, mReferenceCentroid, mTrackingOffset);
            crop = Moved(crop, mTrackingOffset);
        }

        auto original = std::make_unique<GWorldWrapper>(32, gImageDim, 0);
        CopyCrop(*mMovieFrame, crop, *original);
        (void)AppendImportedClip(MakeImportedClip(std::move(original)));
    } catch (const std::bad_alloc&) {
        FailForMemory(done);
        return false;
    }
    ++mAcceptedCount;
    // The new clip is not in the summed stack.
    DeleteFrameStack();
    (void)loadNextMovieFrame(done);
    return true;
}

bool OpenMovieInterface::acceptAllRemainingFrames()
{
    if (IsJobActive() || clipChangesBlocked()) {
        // A job's progress window and its status are its own; this loop
        // must neither share nor end them.
        SysBeep();
        return false;
    }
    mAcceptAll = true;
    auto* progress = new WorkingDialog(mFrameCount, true, false); // deletes itself on Cancel
    gWorkingDialog = progress;
    const std::shared_ptr<const WorkingRunStatus> status = progress->SharedRunStatus();
    if (QWidget* w = progress->Window()) {
        // Nothing else takes input while the frames go in.
        w->hide();
        w->setWindowModality(Qt::ApplicationModal);
        w->show();
    }
    bool done = false;
    while (!done && status->load() == kWorkingRunning) {
        if (!acceptOneFrame(done))
            break;
        if (gWorkingDialog == progress)
            progress->DrawWorkingDialogProgressBar(mAcceptedCount);
        QCoreApplication::processEvents();
        if (mAcceptAllHook)
            mAcceptAllHook();
    }
    if (gWorkingDialog == progress)
        delete progress;
    mAcceptAll = false;
    RedrawDialog(); // the last frame, whatever the redraw frequency
    return true;
}

void OpenMovieInterface::DrawFrameDisplay()
{
    Canvas* surface = canvas();
    if (!surface || !mMovieFrame)
        return;
    ++mDisplayRedraws;
    QImage& target = surface->Image();
    FillCanvasRect(target, QRect(0, 0, kMovieDisplayWidth, kMovieDisplayHeight), Qt::white);
    BlitImageScaled(target, *mMovieFrame, ToQRect(mDisplay.thumbRect));
    if (Width(mCrop) > 0 && Height(mCrop) > 0)
        FrameCanvasRect(target, ToQRect(FrameToDisplay(Moved(mCrop, mTrackingOffset), mDisplay)), 1, Qt::red);
    surface->Flush();
}

void OpenMovieInterface::RedrawDialog()
{
    const bool skipDisplay = mAcceptAll && (mUpdateFrequency == 0 || mCurrentFrame % mUpdateFrequency != 0);
    if (!skipDisplay)
        DrawFrameDisplay();
    control(kMovieAcceptedText).SetText(std::to_string(mAcceptedCount));
    control(kMovieFrameText).SetText(std::to_string(std::max(0, mCurrentFrame)) + " of " + std::to_string(mFrameCount));
    control(kMovieCropHint).SetShown(CropIsFree());
}

void OpenMovieInterface::DefineCropBounds(QPoint press)
{
    const Point start = MakePoint(press.y(), press.x());
    auto follow = [&](QPoint at) {
        const Rect r = DragToCropRect(start, MakePoint(at.y(), at.x()), mDisplay, Width(mMovieBox), Height(mMovieBox));
        if (Width(r) > 0 && Height(r) > 0) {
            mCrop = r;
            DrawFrameDisplay();
        }
    };
    if (Canvas* surface = canvas())
        follow(TrackMouseUntilRelease(surface, follow));
}

void OpenMovieInterface::LocateCropBounds(QPoint press)
{
    const int w = Width(gImageDim);
    const int h = Height(gImageDim);
    if (Width(mMovieBox) < w || Height(mMovieBox) < h) {
        SysBeep();
        return;
    }
    auto place = [&](QPoint at) {
        const Point p = DisplayToFrame(MakePoint(at.y(), at.x()), mDisplay);
        mCrop = LocateCropRect(p.h, p.v, w, h, Width(mMovieBox), Height(mMovieBox));
        DrawFrameDisplay();
    };
    place(press);
    if (Canvas* surface = canvas())
        place(TrackMouseUntilRelease(surface, place));
}

void OpenMovieInterface::processMouse(int modifiers, QPoint where, bool& done)
{
    (void)modifiers;
    (void)done;
    const Rect t = mDisplay.thumbRect;
    if (where.x() >= t.left && where.x() < t.right && where.y() >= t.top && where.y() < t.bottom) {
        if (CropIsFree())
            DefineCropBounds(where);
        else
            LocateCropBounds(where);
    } else if (where.x() >= 0 && where.x() < kMovieDisplayWidth && where.y() >= 0 && where.y() < kMovieDisplayHeight) {
        SysBeep();
    }
}

void OpenMovieInterface::ValidateEditableText()
{
    ControlHandle field = control(kMovieUpdateFrequencyText);
    const int value = std::clamp(getEditableTextInt(field), 0, kMovieUpdateFrequencyMax);
    const std::string text = std::to_string(value);
    if (field.Text() != text && !field.Text().empty())
        field.SetText(text);
    mUpdateFrequency = value;
}

bool OpenMovieInterface::HandleDialogItemHit(int id, bool& done)
{
    switch (id) {
    case kMovieAccept:
        (void)acceptOneFrame(done);
        return true;
    case kMovieSkip:
        (void)loadNextMovieFrame(done);
        return true;
    case kMovieAcceptAll:
        done = acceptAllRemainingFrames() || done;
        return true;
    case kMovieSkipAll:
        mCurrentFrame = mFrameCount;
        (void)loadNextMovieFrame(done);
        return true;
    case kMovieTrackingCheckbox:
        return true;
    default:
        return false;
    }
}

int OpenMovieInterface::HandleEvent(const DialogEvent& event, bool& done)
{
    if (mAcceptAll)
        return kEventHandled; // the loop owns the dialog until it ends
    switch (event.kind) {
    case DialogEvent::mouseDown:
        processMouse(event.modifiers, event.where, done);
        return kEventHandled;
    case DialogEvent::keyDown:
        if (event.key == Qt::Key_A) {
            (void)acceptOneFrame(done);
            return kEventHandled;
        }
        if (event.key == Qt::Key_R) {
            (void)loadNextMovieFrame(done);
            return kEventHandled;
        }
        return DialogInterface::HandleEvent(event, done);
    default:
        return DialogInterface::HandleEvent(event, done);
    }
}

bool OpenMovieFrameDialog(std::unique_ptr<MovieSource> movie)
{
    if (!movie)
        return false;
    const bool sizeFixed = ::FrameCount() > 0 || IsJobActive();
    if (sizeFixed && (movie->Width() < Width(gImageDim) || movie->Height() < Height(gImageDim))) {
        SysBeep();
        return false;
    }
    // The dialog owns itself from here: it is deleted when it ends.
    (void)new OpenMovieInterface(std::move(movie));
    return true;
}
