// engine/ClipSorting.cpp: the sort command, its scoring job and its final.
#include "engine/ClipSorting.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <new>

#include "engine/ClipViewWindow.h"
#include "engine/ClipJobs.h"
#include "shell/ShellHooks.h"
#include "shell/OperationBoundsRect.h"
#include "shell/ShellSettings.h"
#include "engine/ClipCommandGate.h"
#include "engine/ClipsWindow.h"
#include "engine/Frame.h"
#include "engine/FrameList.h"
#include "shell/ImageDim.h"
#include "imaging/Measurements.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/core/StandardAlerts.h"
#include "platform/core/UserInteraction.h"

const char* const kIllegalBoundsRectTitle = "Illegal Operation Bounds Rect";
const char* const kNoBoundsRectMessage = "Please define an Operation Bounds Rect first.";
const char* const kSpectrumBoundsRectMessage = "Sorting by power spectrum requires a Power-of-2 Operation Bounds Rect.";

namespace {

// Settings of the running sort, written by the command before its job
// starts and only read by the workers; the final clears them.
int sSortMethod = -1;
int sNumThreadsTemp = 1;
int sBins = 0;
Rect sBounds;
FrameLease sReferenceLease;                // clip 0's modified image, held from the command to the final
const GWorldWrapper* sReference = nullptr; // the leased image
std::atomic<bool> sSortCancelled{false};

SortBySpectrumDialogFactory& DialogFactory()
{
    static SortBySpectrumDialogFactory sFactory;
    return sFactory;
}

void IllegalBoundsAlert(const char* message)
{
    // The alert beeps as it opens.
    DoStandardAlertNoCancel(kAlertStop, kIllegalBoundsRectTitle, message);
}

bool IsSpectrumSide(int side)
{
    return side == 32 || side == 64 || side == 128 || side == 256;
}

// One clip's spectrum; a clip whose distribution cannot be made has none.
void MeasureSpectrum(Frame& frame, const GWorldWrapper& image)
{
    frame.InitPowerSpectrum(sBins);
    double* spectrum = frame.GetPowerSpectrum();
    if (!spectrum)
        return;
    std::fill(spectrum, spectrum + sBins, 0.0);
    int result = -1;
    try {
        result = CalculatePowerSpectrumDistributionFromFourierTransform(image, sBounds, spectrum, sBins);
    } catch (const std::bad_alloc&) {
        DoNotEnougMemoryForOperationDialog();
    }
    if (result != 0)
        frame.DestroyPowerSpectrum();
}

double Score(const GWorldWrapper& image)
{
    switch (sSortMethod) {
    case kSortByDifference:
        return CalculateDifference(*sReference, image, false, true, sBounds, sBounds, 0, 0);
    case kSortByValue:
        return CalculateValue(image, sBounds);
    default:
        return CalculateValueRange(image, sBounds);
    }
}

void Thread_SortClips(const FrameJobRange& range)
{
    for (std::size_t position = 0; position < range.clips.size(); ++position) {
        const int clip = range.clips[position];
        ReachedClipOfRange(range, static_cast<int>(position));
        Frame* frame = FrameAt(clip);
        if (!frame)
            continue;
        Thread_MarkWorkingClip(clip);
        // Clip 0 is measured through the command's lease; the others are
        // rendered first, and one that cannot come back scores -1.
        FrameLease lease;
        const GWorldWrapper* image = sReference;
        if (clip != 0) {
            lease = frame->GetModified(true);
            image = lease.get();
        }
        if (sSortMethod == kSortBySpectrum) {
            if (image)
                MeasureSpectrum(*frame, *image);
            else
                frame->DestroyPowerSpectrum();
        } else {
            frame->SetScore(image ? Score(*image) : -1.0);
        }
        lease.reset();
        Thread_DrawClip(clip);
        if (!Thread_IncrementWorkingDialogProgressBar()) {
            if (Thread_JobRunStatus() > 1)
                sSortCancelled = true;
            return;
        }
    }
}

void FreeSpectra()
{
    for (auto& frame : gFrames)
        frame->DestroyPowerSpectrum();
}

void SortAndRenumber(int method)
{
    // A score that is not a number would break the sort's ordering.
    for (auto& frame : gFrames)
        if (std::isnan(frame->GetScore()))
            frame->SetScore(-1.0);
    {
        std::lock_guard<std::mutex> lock(gFramesMutex);
        if (method == kSortByDifference)
            std::sort(gFrames.begin(), gFrames.end(), FrameSorterByIncreasingScore());
        else
            std::sort(gFrames.begin(), gFrames.end(), FrameSorterByDecreasingScore());
        for (std::size_t i = 0; i < gFrames.size(); ++i)
            gFrames[i]->SetIndex(static_cast<int>(i));
    }
    DrawClipsWindow();
}

void OpenSpectrumDialog()
{
    SortBySpectrumDialogFactory& factory = DialogFactory();
    if (!factory) {
        FreeSpectra();
        return;
    }
    try {
        factory(sBins);
    } catch (const std::bad_alloc&) {
        DoNotEnougMemoryForOperationDialog();
        FreeSpectra();
    }
    UpdateMenuState();
}

void Thread_SortClipsFinal()
{
    sReference = nullptr;
    sReferenceLease.reset();
    PersistantSelectNoFrames(false);
    DrawClipsWindow();
    gNumThreads = sNumThreadsTemp;
    if (sSortMethod == kSortBySpectrum) {
        if (sSortCancelled)
            FreeSpectra();
        else
            OpenSpectrumDialog();
    } else {
        SortAndRenumber(sSortMethod);
    }
    sSortMethod = -1;
    DrawFrameInspectorWindow();
}

} // namespace

int SortMethodForItem(int menuItem)
{
    switch (menuItem) {
    case 1:
        return kSortByDifference;
    case 6:
        return kSortByValue;
    case 12:
        return kSortByValueRange;
    case 18:
        return kSortBySpectrum;
    default:
        return -1;
    }
}

int SpectrumBinsForBounds(int left, int right)
{
    return static_cast<int>(((right - left) / 2) * 1.5);
}

void SetSortBySpectrumDialogFactory(SortBySpectrumDialogFactory factory)
{
    DialogFactory() = std::move(factory);
}

void SortClips(int menuItem)
{
    if (RefuseClipChange())
        return;
    const int method = SortMethodForItem(menuItem);
    if (method < 0 || FrameCount() == 0)
        return;
    if (!OperationBoundsRectExists()) {
        IllegalBoundsAlert(kNoBoundsRectMessage);
        return;
    }
    const Rect r = gOperationBoundsRect;
    if (method == kSortBySpectrum) {
        const int side = r.right - r.left + 1;
        if (r.bottom - r.top + 1 != side || !IsSpectrumSide(side)) {
            IllegalBoundsAlert(kSpectrumBoundsRectMessage);
            return;
        }
        // The square includes its right and bottom edges, which must lie in the image.
        if (r.left < 0 || r.top < 0 || r.right >= gImageDim.Width() || r.bottom >= gImageDim.Height()) {
            SysBeep();
            return;
        }
    } else if (r.right - r.left < 1 || r.bottom - r.top < 1) {
        SysBeep(); // a straight drag: nothing to measure
        return;
    }

    FrameLease lease = FrameAt(0)->GetModified(true);
    if (!lease) {
        DoNotEnougMemoryForOperationDialog();
        return;
    }
    sSortMethod = method;
    sBounds = r;
    sBins = SpectrumBinsForBounds(r.left, r.right);
    sSortCancelled = false;
    sNumThreadsTemp = gNumThreads;
    if (method == kSortBySpectrum) {
        gNumThreads = 1;
        for (auto& frame : gFrames)
            frame->SetSumStackIncluded(true);
    }
    sReference = lease.get();
    sReferenceLease = std::move(lease);
    PersistantSelectAllFrames();
    if (!RunThreadedFrameProc(&Thread_SortClips, &Thread_SortClipsFinal, 0)) {
        sReference = nullptr;
        sReferenceLease.reset();
        gNumThreads = sNumThreadsTemp;
        sSortMethod = -1;
        PersistantSelectNoFrames(false);
    }
}
