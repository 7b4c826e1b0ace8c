// engine/AlignByCrossCorrelation.cpp: the cross-correlation alignment job.
#include "engine/AlignByCrossCorrelation.h"

#include <algorithm>
#include <new>
#include <utility>
#include <vector>

#include "engine/ClipJobs.h"
#include "shell/OperationBoundsRect.h"
#include "shell/ShellSettings.h"
#include "engine/AlignmentReference.h"
#include "engine/AlignmentThreshold.h"
#include "engine/ClipCommandGate.h"
#include "engine/Frame.h"
#include "engine/FrameList.h"
#include "shell/ImageDim.h"
#include "engine/Selection.h"
#include "imaging/FFT2D.h"
#include "imaging/PixelTransfer.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/core/StandardAlerts.h"
#include "platform/core/UserInteraction.h"

namespace {

const char* const kIllegalBoundsRectTitle = "Illegal Operation Bounds Rect";
const char* const kPow2BoundsRectMessage = "Aligning by cross-correlation requires a Power-of-2 Operation Bounds Rect.";

// State of the running job: made by the command, used by the one worker,
// freed by the final.
int sDim = 0;
int sLogDim = 0;
Rect sBounds;
bool sSeparate = false;
int sNumThreadsTemp = 1;
// Reference spectra and work arrays, by channel number: [0] the pixel value
// (channels together), [1..3] red, green, blue (separately).
std::vector<double> sRefSpectrum[4];
std::vector<double> sWork[4];

std::function<int(int32_t, int32_t)>& FftInitHook()
{
    static std::function<int(int32_t, int32_t)> sHook;
    return sHook;
}

void FreeArrays()
{
    for (int c = 0; c < 4; ++c) {
        std::vector<double>().swap(sRefSpectrum[c]);
        std::vector<double>().swap(sWork[c]);
    }
}

bool IsCorrelationSide(int side)
{
    return side == 32 || side == 64 || side == 128 || side == 256;
}

// Up to kMaxCorrelationSteps steps for one channel number; a clip that
// cannot be rendered is left where it is.
void AutoAlignOneChannelByCrossCorrelation(Frame& frame, int channel)
{
    double* work = sWork[channel].data();
    for (int step = 0; step < kMaxCorrelationSteps; ++step) {
        {
            FrameLease image = frame.GetModified(true);
            if (!image)
                return;
            ConvertNormPixelValuesFromImage(*image, channel, work, sBounds);
        }
        CorrelateWithReference(sRefSpectrum[channel].data(), work, sDim, sLogDim);
        int x = 0, y = 0;
        FindCorrelationPeak(work, sDim, x, y);
        const int dh = CorrelationPeakToShift(x, sDim), dv = CorrelationPeakToShift(y, sDim);
        if (dh == 0 && dv == 0)
            return;
        for (int c = 1; c <= 3; ++c)
            if (channel == 0 || channel == c) {
                const Point a = frame.GetAlignment(c);
                frame.SetAlignment(MakePoint(static_cast<int16_t>(a.v + dv), static_cast<int16_t>(a.h + dh)), c);
            }
        if (Thread_JobRunStatus() > 1)
            return;
    }
}

// True when the job was cancelled.
bool AutoAlignOneFrameByCrossCorrelation(Frame& frame)
{
    if (!sSeparate)
        AutoAlignOneChannelByCrossCorrelation(frame, 0);
    else
        for (int channel = 1; channel <= 3 && Thread_JobRunStatus() <= 1; ++channel)
            AutoAlignOneChannelByCrossCorrelation(frame, channel);
    (void)frame.UpdateFrame(false); // renders the last shift; a clip that cannot come back renders later
    return Thread_JobRunStatus() > 1;
}

void Thread_AutoAlignFramesByCrossCorrelation(const FrameJobRange& range)
{
    ForEachClipOfRange(range, [](Frame& frame, int clip) {
        // A cancel ends the range; the steps made so far stay.
        return !(clip != 0 && AutoAlignOneFrameByCrossCorrelation(frame));
    });
}

void Thread_AutoAlignFramesByCrossCorrelationFinal()
{
    gNumThreads = sNumThreadsTemp;
    FreeArrays();
    DiscardStackAndRedrawClips();
}

// Makes the arrays and the reference spectra from clip 0; false (arrays
// freed) when memory or the FFT tables run out.
bool PrepareReference(const GWorldWrapper& reference, int threshold)
{
    const size_t n = static_cast<size_t>(sDim) * static_cast<size_t>(sDim);
    const int first = sSeparate ? 1 : 0, last = sSeparate ? 3 : 0;
    try {
        for (int c = first; c <= last; ++c) {
            sRefSpectrum[c].assign(n, 0.0);
            sWork[c].assign(n, 0.0);
        }
    } catch (const std::bad_alloc&) {
        FreeArrays();
        return false;
    }
    auto& init = FftInitHook();
    const int status = init ? init(sLogDim, sLogDim) : fft2dInit(sLogDim, sLogDim);
    if (status != kFftInitOk) {
        FreeArrays();
        return false;
    }
    const double cut = threshold / 255.0;
    for (int c = first; c <= last; ++c) {
        double* ref = sRefSpectrum[c].data();
        ConvertNormPixelValuesFromImage(reference, c, ref, sBounds);
        FlipReferenceCircularly(ref, sDim);
        for (size_t k = 0; k < n; ++k)
            if (ref[k] < cut)
                ref[k] = 0.0;
        rfft2d(ref, sLogDim, sLogDim);
    }
    return true;
}

} // namespace

void FlipReferenceCircularly(double* values, int dim)
{
    // Reversing the rows circularly and then each row circularly: row r
    // swaps with row (dim - r) mod dim, rows 0 and dim / 2 stay.
    auto at = [values, dim](int r, int c) -> double& { return values[static_cast<size_t>(r) * dim + c]; };
    for (int r = 1; r < dim - r; ++r)
        for (int c = 0; c < dim; ++c)
            std::swap(at(r, c), at(dim - r, c));
    for (int r = 0; r < dim; ++r)
        for (int c = 1; c < dim - c; ++c)
            std::swap(at(r, c), at(r, dim - c));
}

void FindCorrelationPeak(const double* surface, int dim, int& x, int& y)
{
    x = y = 0;
    double best = 0.0;
    for (int r = 0; r < dim; ++r)
        for (int c = 0; c < dim; ++c)
            if (const double v = surface[static_cast<size_t>(r) * dim + c]; v > best) {
                best = v;
                x = c;
                y = r;
            }
}

int CorrelationPeakToShift(int x, int dim)
{
    return x < dim / 2 ? -x : dim - x;
}

void CorrelateWithReference(const double* refSpectrum, double* work, int dim, int logDim)
{
    rfft2d(work, logDim, logDim);
    rspect2dprod(refSpectrum, work, work, static_cast<size_t>(dim), static_cast<size_t>(dim));
    rifft2d(work, logDim, logDim);
}

void AutoAlignFramesByCrossCorrelation()
{
    if (RefuseClipChange())
        return;
    if (gTempSelectionIndex < 1 && gPersistantSelectionIndices.empty()) {
        SysBeep(); // nothing to align but the reference itself
        return;
    }
    if (!OperationBoundsRectExists()) {
        SysBeep();
        return;
    }
    const Rect r = gOperationBoundsRect;
    const int side = r.right - r.left + 1;
    if (r.bottom - r.top + 1 != side) {
        SysBeep();
        return;
    }
    if (!IsCorrelationSide(side)) {
        // The alert beeps as it opens.
        DoStandardAlertNoCancel(kAlertStop, kIllegalBoundsRectTitle, kPow2BoundsRectMessage);
        return;
    }
    // The square includes its right and bottom edges; a square past the
    // image would be read skewed.
    if (r.left < 0 || r.top < 0 || r.right >= gImageDim.Width() || r.bottom >= gImageDim.Height()) {
        SysBeep();
        return;
    }
    Frame* reference = FrameAt(0);
    if (!reference)
        return;
    FrameLease lease = reference->GetModified(true);
    if (!lease) {
        DoNotEnougMemoryForOperationDialog();
        return;
    }
    sDim = side;
    sLogDim = 0;
    while ((1 << sLogDim) < sDim)
        ++sLogDim;
    sBounds = r;
    sSeparate = gAlignChannelsSeparately;
    if (!PrepareReference(*lease, gAlignmentBrightnessThreshold)) {
        DoNotEnougMemoryForOperationDialog();
        return;
    }
    lease.reset();
    sNumThreadsTemp = gNumThreads;
    gNumThreads = 1;
    if (!RunThreadedFrameProc(&Thread_AutoAlignFramesByCrossCorrelation, &Thread_AutoAlignFramesByCrossCorrelationFinal, 0)) {
        gNumThreads = sNumThreadsTemp;
        FreeArrays();
    }
}

void SetCrossCorrelationFftInitForTesting(std::function<int(int32_t, int32_t)> init)
{
    FftInitHook() = std::move(init);
}
