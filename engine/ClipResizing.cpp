// engine/ClipResizing.cpp: the resample and crop commands, their jobs and
// their finals.
#include "engine/ClipResizing.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include <QCoreApplication>
#include <QTimer>

#include "shell/Alerts.h"
#include "engine/ClipViewWindow.h"
#include "engine/ClipJobs.h"
#include "shell/MainWindowSet.h"
#include "shell/OperationBoundsRect.h"
#include "shell/ShellHooks.h"
#include "shell/ShellSettings.h"
#include "shell/WindowGeometry.h"
#include "engine/CalibrationFrames.h"
#include "engine/ClipCommandGate.h"
#include "engine/ClipListEdits.h"
#include "engine/ClipsWindow.h"
#include "engine/ClipsWindowLayout.h"
#include "engine/Frame.h"
#include "engine/FrameList.h"
#include "shell/ImageDim.h"
#include "engine/MemoryPolicy.h"
#include "shell/ScratchImages.h"
#include "engine/Selection.h"
#include "engine/SummedStack.h"
#include "imaging/Measurements.h"
#include "imaging/Resample.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/core/StandardAlerts.h"
#include "platform/core/UserInteraction.h"
#include "platform/qt/ShellWindow.h"

const char* const kHotPixelMaskWarningTitle = "Hot Pixel Mask Warning";
const char* const kHotPixelMaskWarningMessage =
    "Note that if you have defined a hot pixel mask, then it has been erased as a result of resampling the clips "
    "and you will have to recreate it.  Sorry.";

namespace {

// The running resize, written by the command before its job starts and only
// read by the workers; each worker writes only its own clips' entries of
// sClipResized. The final publishes the rest and clears them.
int sResampleMethod = kResampleMethodNearest;
double sResampleScaler = 1.0;
Rect sNewImageDim;
Rect sCropRect;
bool sIsCrop = false;
Rect sOldMaxClipDim;
std::vector<uint8_t> sClipResized;             // per clip index: 1 when the clip reached the new size
std::unique_ptr<GWorldWrapper> sResampledDark; // the calibration frames at the new size (resample)
std::unique_ptr<GWorldWrapper> sResampledFlat;
HotPixelMask sNewMask;

std::unique_ptr<GWorldWrapper> NewImage(Rect dim)
{
    return std::make_unique<GWorldWrapper>(32, MakeRect(0, 0, dim.Height(), dim.Width()), -1);
}

bool HasSize(const GWorldWrapper& image, Rect dim)
{
    return image.Width() == dim.Width() && image.Height() == dim.Height();
}

// Settings whose effect the baked original already carries. The dark
// subtraction is the caller's: a crop keeps it (the dark is not in the
// bake), a resample clears it.
void ClearBakedSettings(Frame& frame)
{
    frame.UnDebayer();
    frame.SetFlatFrameDivided(false);
    if (frame.GetInterpolateInterlace())
        frame.ToggleInterpolateInterlace();
    frame.SetRotation(0);
    frame.SetMedianFilter(frame.GetMedianFilterRadius(), 0);
    frame.SetNormalizationFactor(1.0);
    for (int c = 1; c <= 3; ++c)
        frame.SetAlignment(Point{}, c);
}

// Puts the new images in and renders the clip from them. The thumbnail is
// remade at the size the command set before the job.
bool InstallResizedImages(Frame& frame, std::unique_ptr<GWorldWrapper> original, Rect newDim)
{
    std::unique_ptr<GWorldWrapper> modified = NewImage(newDim);
    if (!frame.SetOriginal(original.release()) || !frame.SetModified(modified.release()))
        return false;
    frame.CreateClip();
    return frame.UpdateFrame(false);
}

bool ResampleOneClip(Frame& frame, Rect newDim)
{
    std::unique_ptr<GWorldWrapper> baked;
    {
        FrameLease render = frame.GetModified(true);
        if (!render || !HasSize(*render, gImageDim))
            return false;
        baked = NewImage(gImageDim);
        *baked = *render;
    }
    // A failed resample returns normally with the old size: the clip then failed.
    if (!ResampleOneImage(*baked, sResampleMethod, sResampleScaler) || !HasSize(*baked, newDim))
        return false;
    ClearBakedSettings(frame);
    frame.SetDarkFrameSubtracted(false);
    for (int c = 1; c <= 3; ++c)
        frame.SetSubRect(MakeRect(0, 0, newDim.Height(), newDim.Width()), c);
    return InstallResizedImages(frame, std::move(baked), newDim);
}

bool CropOneClip(Frame& frame, Rect r, Rect newDim)
{
    std::unique_ptr<GWorldWrapper> baked = NewImage(newDim);
    // The bake is the render without the dark, which keeps being subtracted
    // through the moved calibration rectangles.
    const bool dark = frame.GetDarkFrameSubtracted();
    if (dark)
        frame.SetDarkFrameSubtracted(false);
    {
        FrameLease render = frame.GetModified(true);
        if (!render || !HasSize(*render, gImageDim)) {
            frame.SetDarkFrameSubtracted(dark);
            return false;
        }
        const std::size_t bytes = static_cast<std::size_t>(newDim.Width()) * 4;
        for (int y = 0; y < newDim.Height(); ++y)
            std::memcpy(baked->PixelRow(y), render->PixelRow(r.top + y) + static_cast<std::ptrdiff_t>(r.left) * 4,
                        bytes);
    }
    if (dark)
        frame.SetDarkFrameSubtracted(true);
    // Each channel's calibration rectangle: the crop rectangle moved by the
    // old rectangle's corner and back by the channel's alignment.
    for (int c = 1; c <= 3; ++c) {
        const Rect sub = frame.GetSubRect(c);
        const Point a = frame.GetAlignment(c);
        const int dv = sub.top - a.v, dh = sub.left - a.h;
        frame.SetSubRect(MakeRect(r.top + dv, r.left + dh, r.bottom + dv, r.right + dh), c);
    }
    ClearBakedSettings(frame);
    return InstallResizedImages(frame, std::move(baked), newDim);
}

// The per-clip loop of both jobs. Every clip is visited: a stop of the
// progress bar is not obeyed, so no clip is left at the old size.
void ResizeRange(const FrameJobRange& range, bool (*resize)(Frame&))
{
    for (std::size_t position = 0; position < range.clips.size(); ++position) {
        const int clip = range.clips[position];
        ReachedClipOfRange(range, static_cast<int>(position));
        Frame* frame = FrameAt(clip);
        if (!frame || clip < 0 || static_cast<std::size_t>(clip) >= sClipResized.size())
            continue;
        Thread_MarkWorkingClip(clip);
        bool ok = false;
        try {
            ok = resize(*frame);
        } catch (const std::bad_alloc&) {
            ok = false; // reported once by the final
        }
        sClipResized[static_cast<std::size_t>(clip)] = ok ? 1 : 0;
        Thread_DrawClip(clip);
        Thread_UpdateFrameInspectorWindow(clip);
        (void)Thread_IncrementWorkingDialogProgressBar(); // there is no Cancel; the answer only says the bar is full
    }
}

void Thread_Resample(const FrameJobRange& range)
{
    ResizeRange(range, [](Frame& frame) { return ResampleOneClip(frame, sNewImageDim); });
}

void Thread_Crop(const FrameJobRange& range)
{
    ResizeRange(range, [](Frame& frame) { return CropOneClip(frame, sCropRect, sNewImageDim); });
}

void ResizeImageWindow(ShellWindow* window, Rect dim)
{
    if (!window)
        return;
    Rect r = dim;
    SetIdealImageRectBounds(window, r);
    window->SetContentSize(r.Width(), r.Height());
}

// The job still holds the old calibration frames locked until it has ended
// (after its final), so the replaced ones are freed only after that: on the
// event loop's next turn, or at the next resize at the latest. Main thread.
std::vector<std::unique_ptr<GWorldWrapper>> sRetired;

void RetireAfterJob(std::unique_ptr<GWorldWrapper> image)
{
    if (!image)
        return;
    sRetired.push_back(std::move(image));
    if (QCoreApplication* app = QCoreApplication::instance())
        QTimer::singleShot(0, app, [] { sRetired.clear(); });
}

void ForgetResize()
{
    sClipResized.clear();
    sResampledDark.reset();
    sResampledFlat.reset();
    sNewMask.Clear();
}

// What crop and resample do once every clip has been visited.
void FinishResize()
{
    std::vector<bool> failed(sClipResized.size(), false);
    bool anyFailed = false;
    for (std::size_t i = 0; i < sClipResized.size(); ++i)
        if (!sClipResized[i])
            failed[i] = anyFailed = true;
    RemoveClips(failed);

    // The clips' calibration rectangles now point into images of the size
    // before the first crop; a resample puts them back at the clips' bounds.
    if (!sIsCrop)
        gSensorDim = Rect{};
    else if (gSensorDim.IsEmpty())
        gSensorDim = gImageDim;
    gImageDim = sNewImageDim;
    if (!sIsCrop) {
        if (gDarkFrame) {
            RetireAfterJob(std::exchange(gDarkFrame, std::move(sResampledDark)));
        }
        if (gFlatFrame) {
            RetireAfterJob(std::exchange(gFlatFrame, std::move(sResampledFlat)));
            gAverageFlatFieldValue =
                CalculateAverageValue(*gFlatFrame, MakeRect(0, 0, gFlatFrame->Height(), gFlatFrame->Width()));
        }
    }
    gHotPixelMask = std::move(sNewMask);
    try {
        CreateTempGWWs(static_cast<int>(gTempGWs.size()));
    } catch (const std::bad_alloc&) {
        gTempGWs.clear(); // the next job makes them
    }
    ForgetResize();
    if (anyFailed)
        DoNotEnougMemoryForOperationDialog();

    PersistantSelectNoFrames(false);
    if (gTempSelectionIndex >= FrameCount())
        EraseTempSelection();
    DeleteFrameStack();
    if (FrameCount() == 0) {
        CloseMainWindow();
        return;
    }
    FitClipsWindowToNumFrames(true);
    if (sIsCrop)
        DestroyOperationBoundsRect();
    if (sIsCrop || sResampleScaler < 1.0 || sResampleMethod == kResampleMethodBinning)
        SaturateMemory();
    for (ShellWindow* window : {gFrameInspectorWindow, gFrameStackWindow, gDarkFrameWindow, gFlatFrameWindow})
        ResizeImageWindow(window, gImageDim);
    DrawFrameInspectorWindow();
    ShellHooks& hooks = GetShellHooks();
    TellShell(hooks.drawFrameStackWindow);
    TellShell(hooks.drawDarkFrameWindow);
    TellShell(hooks.drawFlatFieldWindow);
    DrawClipsWindow();
    UpdateMenuState();
}

void Thread_ResampleFinal()
{
    FinishResize();
    DoStandardAlertNoCancel(kAlertPlain, kHotPixelMaskWarningTitle, kHotPixelMaskWarningMessage);
}

void Thread_CropFinal()
{
    FinishResize();
}

// Selects every clip and starts the job; on a refused start everything the
// command prepared is dropped.
void StartResizeJob(FrameJobProc worker, JobFinalProc final)
{
    sClipResized.assign(static_cast<std::size_t>(FrameCount()), 0);
    sOldMaxClipDim = gMaxClipDim;
    SetMaxClipDim(sNewImageDim);
    PersistantSelectAllFrames();
    if (!RunThreadedFrameProc(std::move(worker), final, 0, kTempSelectionAtStart, false)) {
        gMaxClipDim = sOldMaxClipDim;
        ForgetResize();
        PersistantSelectNoFrames(false);
    }
}

// A copy of a calibration frame at the new size, or false (its alert shown).
bool ResampledCopy(const std::unique_ptr<GWorldWrapper>& frame, std::unique_ptr<GWorldWrapper>& out)
{
    out.reset();
    if (!frame)
        return true;
    // A dark or flat kept at the sensor's size by a crop is scaled from its own size.
    int width = 0, height = 0;
    if (!ResampledSize(sResampleMethod, sResampleScaler, frame->Width(), frame->Height(), width, height)) {
        SysBeep();
        return false;
    }
    out = NewImage(MakeRect(0, 0, frame->Height(), frame->Width()));
    *out = *frame;
    if (!ResampleOneImage(*out, sResampleMethod, sResampleScaler) || out->Width() != width || out->Height() != height) {
        out.reset();
        return false;
    }
    return true;
}

} // namespace

bool ResampledSize(int method, double factor, int width, int height, int& newWidth, int& newHeight)
{
    if (method == kResampleMethodBinning) {
        newWidth = width / 2;
        newHeight = height / 2;
    } else {
        if (!std::isfinite(factor) || factor <= 0.0 || width * factor > kMaxImageSide ||
            height * factor > kMaxImageSide)
            return false;
        newWidth = static_cast<int>(width * factor);
        newHeight = static_cast<int>(height * factor);
    }
    return newWidth >= kMinResizedSide && newHeight >= kMinResizedSide && newWidth <= kMaxImageSide &&
           newHeight <= kMaxImageSide;
}

bool ResampleOneImage(GWorldWrapper& image, int method, double factor)
{
    switch (method) {
    case kResampleMethodNearest:
        return ResampleNearestNeighbor(&image, factor);
    case kResampleMethodBilinear:
        return ResampleImageBilinear(&image, factor);
    case kResampleMethodBicubic:
        return ResampleImageBicubic(&image, factor);
    case kResampleMethodBinning:
        return BinFourToOne(&image);
    default:
        return false;
    }
}

HotPixelMask CropHotPixelMask(const HotPixelMask& old, int oldWidth, int oldHeight, Rect r, Point green, int newWidth,
                              int newHeight)
{
    HotPixelMask mask;
    mask.Reset(newWidth, newHeight);
    if (!old.Matches(oldWidth, oldHeight))
        return mask;
    for (int y = 0; y < newHeight; ++y) {
        const int oy = r.top - green.v + y;
        if (oy < 0 || oy >= oldHeight)
            continue;
        for (int x = 0; x < newWidth; ++x) {
            const int ox = r.left - green.h + x;
            if (ox >= 0 && ox < oldWidth)
                mask.pixels[static_cast<std::size_t>(y) * newWidth + x] =
                    old.pixels[static_cast<std::size_t>(oy) * oldWidth + ox];
        }
    }
    return mask;
}

void Resample(int method, double factor)
{
    if (RefuseClipChange())
        return;
    sRetired.clear();
    if (FrameCount() == 0)
        return;
    int newWidth = 0, newHeight = 0;
    if (method < kResampleMethodNearest || method > kResampleMethodBinning ||
        !ResampledSize(method, factor, gImageDim.Width(), gImageDim.Height(), newWidth, newHeight)) {
        SysBeep();
        return;
    }
    if (gImageDim.Width() * factor > static_cast<double>(kMaxImageWidth) && method != kResampleMethodBinning &&
        !DoImageWidthAlert(true))
        return;
    sIsCrop = false;
    sResampleMethod = method;
    sResampleScaler = method == kResampleMethodBinning ? 0.5 : factor;
    sNewImageDim = MakeRect(0, 0, newHeight, newWidth);
    // Everything that can fail is made before any clip changes; the old
    // calibration frames stay in use until the final, since renders during
    // the job still subtract and divide at the old size.
    try {
        if (!ResampledCopy(gDarkFrame, sResampledDark) || !ResampledCopy(gFlatFrame, sResampledFlat)) {
            ForgetResize();
            return;
        }
        sNewMask.Reset(newWidth, newHeight);
    } catch (const std::bad_alloc&) {
        ForgetResize();
        DoNotEnougMemoryForOperationDialog();
        return;
    }
    StartResizeJob(&Thread_Resample, &Thread_ResampleFinal);
}

void Crop()
{
    if (RefuseClipChange())
        return;
    sRetired.clear();
    if (FrameCount() == 0 || !OperationBoundsRectExists()) {
        SysBeep();
        return;
    }
    const Rect r = gOperationBoundsRect;
    const int width = r.right - r.left, height = r.bottom - r.top;
    if (width < kMinResizedSide || height < kMinResizedSide || r.left < 0 || r.top < 0 || r.right > gImageDim.Width() ||
        r.bottom > gImageDim.Height()) {
        SysBeep();
        return;
    }
    sIsCrop = true;
    sCropRect = r;
    sNewImageDim = MakeRect(0, 0, height, width);
    try {
        sNewMask = CropHotPixelMask(gHotPixelMask, gImageDim.Width(), gImageDim.Height(), r,
                                    FrameAt(0)->GetAlignment(2), width, height);
    } catch (const std::bad_alloc&) {
        DoNotEnougMemoryForOperationDialog();
        return;
    }
    StartResizeJob(&Thread_Crop, &Thread_CropFinal);
}
