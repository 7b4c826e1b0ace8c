// engine/AlignByDifference.cpp: the coarse-to-fine difference search, its
// frame job, and the nudge and clear jobs.
#include "engine/AlignByDifference.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <new>

#include "shell/Alerts.h"
#include "shell/AlignmentModes.h"
#include "engine/ClipViewWindow.h"
#include "engine/ClipJobs.h"
#include "shell/ShellSettings.h"
#include "engine/AlignmentReference.h"
#include "engine/ClipCommandGate.h"
#include "engine/ClipsWindow.h"
#include "engine/Frame.h"
#include "engine/FrameList.h"
#include "shell/ImageDim.h"
#include "engine/Selection.h"
#include "engine/SummedStack.h"
#include "imaging/Measurements.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/core/StandardAlerts.h"
#include "platform/core/UserInteraction.h"

namespace {

constexpr char kKeyLeft = 28;
constexpr char kKeyRight = 29;
constexpr char kKeyUp = 30;
constexpr char kKeyDown = 31;

// Settings of the running alignment job, written by the command before the
// job starts and only read by its workers.
DifferenceReference sReference;
int sStartStep = 1;
bool sSeparate = false;
bool sChannelUsable[4] = {true, true, true, true}; // per channel number: some reference pixel takes part
// The reference's counted pixels per channel number, made once a job; a
// channel without (no memory) measures with CalculateDifference.
std::unique_ptr<const PreparedDifference> sPrepared[4];

// Settings of the running nudge job, likewise.
Point sNudgeOffset;
int sChannelStart = 1;
int sChannelEnd = 3;

Point Add(Point a, Point b)
{
    return MakePoint(static_cast<int16_t>(a.v + b.v), static_cast<int16_t>(a.h + b.h));
}

// Grid entry of point (v, h) of a pass around its centre.
int GridIndex(int dv, int dh, int step, int hw)
{
    const int n = 2 * hw / step + 1;
    return ((dv + hw) / step) * n + (dh + hw) / step;
}

} // namespace

void CountReferencePixels(const GWorldWrapper& image, Rect r, int threshold, long counts[4])
{
    std::fill(counts, counts + 4, 0L);
    const int top = std::max<int>(r.top, 0), left = std::max<int>(r.left, 0);
    const int bottom = std::min<int>(r.bottom, image.Height()), right = std::min<int>(r.right, image.Width());
    for (int y = top; y < bottom; ++y) {
        const uint8_t* p = image.PixelRow(y) + 4 * left;
        for (int x = left; x < right; ++x, p += 4) {
            const int red = p[1], green = p[2], blue = p[3];
            counts[0] += std::max({red, green, blue}) >= threshold;
            counts[1] += red >= threshold;
            counts[2] += green >= threshold;
            counts[3] += blue >= threshold;
        }
    }
}

namespace {

// The bounds rectangle moved v rows and h columns, or false when an edge
// leaves the coordinate range.
bool MovedBounds(Rect r, int v, int h, Rect& out)
{
    const int top = r.top + v, left = r.left + h, bottom = r.bottom + v, right = r.right + h;
    if (std::min({top, left, bottom, right}) < INT16_MIN || std::max({top, left, bottom, right}) > INT16_MAX)
        return false;
    out = MakeRect(top, left, bottom, right);
    return true;
}

int AutoAlignOneChannelByDifference(Frame& frame, int channel)
{
    DifferenceSearchClip clip;
    clip.measure = [&frame, channel](int v, int h) {
        Rect moved;
        if (!MovedBounds(sReference.bounds, v, h, moved))
            return -1.0;
        FrameLease image = frame.GetModified(false);
        if (!image)
            return -1.0;
        if (sPrepared[channel])
            return sPrepared[channel]->Against(*image, true, moved);
        return CalculateDifference(*sReference.lease, *image, false, true, sReference.bounds, moved, channel,
                                   sReference.threshold);
    };
    if (const PreparedDifference* prepared = sPrepared[channel].get())
        clip.measureEach = [&frame, prepared](const int* v, const int* h, int count, double* out) {
            std::fill(out, out + count, -1.0);
            FrameLease image = frame.GetModified(false);
            if (!image)
                return;
            Rect rects[kSkipGridEntries];
            int at[kSkipGridEntries], n = 0;
            for (int i = 0; i < count && n < kSkipGridEntries; ++i)
                if (MovedBounds(sReference.bounds, v[i], h[i], rects[n]))
                    at[n++] = i;
            double values[kSkipGridEntries];
            prepared->AgainstEach(*image, true, rects, n, values);
            for (int k = 0; k < n; ++k)
                out[at[k]] = values[k];
        };
    clip.apply = [&frame, channel](Point shift) {
        for (int c = 1; c <= 3; ++c)
            if (channel == 0 || channel == c)
                frame.SetAlignment(Add(frame.GetAlignment(c), shift), c);
        (void)frame.UpdateFrame(false); // a clip that cannot render keeps being measured as it stands
    };
    clip.runStatus = [] { return Thread_JobRunStatus(); };
    return AlignByDifferenceSearch(clip, sStartStep);
}

// One clip, one channel or three in turn; the first status above 1 ends it.
int AutoAlignOneFrameByDifference(Frame& frame)
{
    // The search measures the clip as rendered; a clip that cannot come back
    // is passed over.
    if (!frame.GetModified(true))
        return 0;
    if (!sSeparate)
        return AutoAlignOneChannelByDifference(frame, 0);
    for (int channel = 1; channel <= 3; ++channel) {
        if (!sChannelUsable[channel])
            continue; // no reference pixel of this channel reaches the threshold: left where it is
        if (const int status = AutoAlignOneChannelByDifference(frame, channel); status != 0)
            return status;
    }
    return 0;
}

void Thread_AutoAlignFramesByDifference(const FrameJobRange& range)
{
    AlignClipsOfRangeButReference(range, AutoAlignOneFrameByDifference);
}

// Prepares the reference for the channels the job measures; a channel whose
// copy cannot be made is measured without one.
void PrepareReference()
{
    for (int c = 0; c < 4; ++c) {
        sPrepared[c].reset();
        if (sSeparate ? c == 0 || !sChannelUsable[c] : c != 0)
            continue;
        try {
            sPrepared[c] = std::make_unique<const PreparedDifference>(*sReference.lease, sReference.bounds, c,
                                                                      sReference.threshold);
        } catch (const std::bad_alloc&) {
        }
    }
}

void ReleaseReference()
{
    for (auto& prepared : sPrepared)
        prepared.reset();
    ReleaseDifferenceReference(sReference);
}

void Thread_AutoAlignFramesByDifferenceFinal()
{
    ReleaseReference();
    DiscardStackAndRedrawClips();
}

bool AnyClipSelected()
{
    return gTempSelectionIndex != -1 || !gPersistantSelectionIndices.empty();
}

void Thread_ClearFrameAlignment(const FrameJobRange& range)
{
    ForEachClipOfRange(range, [](Frame& frame, int) {
        for (int c = 1; c <= 3; ++c)
            frame.SetAlignment(Point{}, c);
        frame.SetRotation(0);
        (void)frame.UpdateFrame(false); // a clip that cannot come back renders when it next can
        return true;
    });
}

void Thread_ClearFrameAlignmentFinal()
{
    DrawClipsWindow();
    DrawFrameInspectorWindow();
}

void Thread_NudgeFrameAlignment(const FrameJobRange& range)
{
    const int width = gImageDim.Width(), height = gImageDim.Height();
    ForEachClipOfRange(range, [width, height](Frame& frame, int) {
        for (int c = sChannelStart; c <= sChannelEnd; ++c)
            frame.SetAlignment(ClampedNudge(frame.GetAlignment(c), sNudgeOffset, width, height), c);
        (void)frame.UpdateFrame(false); // a clip that cannot come back renders when it next can
        return true;
    });
}

void Thread_NudgeFrameAlignmentFinal()
{
    DiscardStackAndRedrawClips();
}

} // namespace

// ---------------------------------------------------------------- search

int DifferenceSearchStartStep(int searchSize)
{
    return searchSize == 0 ? 9 : searchSize == 1 ? 3 : 1;
}

int DifferenceSearchHalfWidth(int step)
{
    return step == 9 ? 9 : step == 3 ? 6 : 3;
}

void SetRedoArray(bool* skipGrid, Point s, int step)
{
    std::fill(skipGrid, skipGrid + kSkipGridEntries, true);
    const int hw = DifferenceSearchHalfWidth(step);
    const int reach = step == 9 ? 2 : 1;
    for (int ev = -hw; ev <= hw; ev += step)
        for (int eh = -hw; eh <= hw; eh += step)
            if (std::abs(ev + reach * s.v) <= hw && std::abs(eh + reach * s.h) <= hw)
                skipGrid[GridIndex(ev, eh, step, hw)] = false;
}

double AlignAtOneResolutionByDifference(const DifferenceSearchClip& clip, int step, Point centre,
                                        const bool* skipGrid, Point& best)
{
    best = Point{};
    const int hw = DifferenceSearchHalfWidth(step);
    int vs[kSkipGridEntries], hs[kSkipGridEntries], count = 0;
    for (int dv = -hw; dv <= hw; dv += step)
        for (int dh = -hw; dh <= hw; dh += step)
            if (skipGrid[GridIndex(dv, dh, step, hw)]) {
                vs[count] = centre.v + dv;
                hs[count] = centre.h + dh;
                ++count;
            }
    double values[kSkipGridEntries];
    if (clip.measureEach)
        clip.measureEach(vs, hs, count, values);
    else
        for (int i = 0; i < count; ++i)
            values[i] = clip.measure(vs[i], hs[i]);
    double value = 1.0;
    for (int i = 0; i < count; ++i)
        if (values[i] >= 0.0 && values[i] < value) {
            value = values[i];
            best = MakePoint(static_cast<int16_t>(-vs[i]), static_cast<int16_t>(-hs[i]));
        }
    return value;
}

int AlignByDifferenceSearch(const DifferenceSearchClip& clip, int startStep)
{
    // Above any difference, so the first pass is always applied.
    double carried = 2.0;
    for (int step = startStep; step > 0; step /= 3) {
        const int hw = DifferenceSearchHalfWidth(step);
        bool skipGrid[kSkipGridEntries];
        std::fill(skipGrid, skipGrid + kSkipGridEntries, true);
        Point centre{};
        for (int passes = 1;; ++passes) {
            const double last = carried;
            Point best;
            carried = AlignAtOneResolutionByDifference(clip, step, centre, skipGrid, best);
            if (const int status = clip.runStatus(); status > 1)
                return status;
            if (carried >= last)
                break;
            clip.apply(best);
            const Point e = Add(centre, best);
            if (std::abs(e.v) != hw && std::abs(e.h) != hw)
                break; // the best point lay inside the grid
            centre = MakePoint(static_cast<int16_t>(-e.v), static_cast<int16_t>(-e.h));
            SetRedoArray(skipGrid, centre, step);
            if (passes >= kMaxPassesPerStep)
                break;
        }
    }
    return 0;
}

// ---------------------------------------------------------------- commands

void AutoAlignFramesByDifference()
{
    long counts[4];
    if (!HoldDifferenceReference(sReference, counts))
        return;
    sStartStep = DifferenceSearchStartStep(gAutoAlignmentSearchSize);
    sSeparate = gAlignChannelsSeparately;
    for (int c = 0; c < 4; ++c)
        sChannelUsable[c] = counts[c] > 0;
    PrepareReference();
    if (!RunThreadedFrameProc(&Thread_AutoAlignFramesByDifference, &Thread_AutoAlignFramesByDifferenceFinal, 0))
        ReleaseReference();
}

void ClearFrameAlignment()
{
    if (RefuseClipChange())
        return;
    if (!AnyClipSelected()) {
        SysBeep();
        return;
    }
    (void)RunThreadedFrameProc(&Thread_ClearFrameAlignment, &Thread_ClearFrameAlignmentFinal, 0); // reports its own refusals
}

Point NudgeOffsetForKey(char key, bool repeat, int level)
{
    const int n = static_cast<int>(std::lround(std::pow(5.0, std::clamp(level, 0, 3)))) * (repeat ? 2 : 1);
    switch (key) {
    case kKeyLeft:
        return MakePoint(0, static_cast<int16_t>(-n));
    case kKeyRight:
        return MakePoint(0, static_cast<int16_t>(n));
    case kKeyUp:
        return MakePoint(static_cast<int16_t>(-n), 0);
    case kKeyDown:
        return MakePoint(static_cast<int16_t>(n), 0);
    default:
        return Point{};
    }
}

Point ClampedNudge(Point offset, Point step, int width, int height)
{
    auto clampAxis = [](int value, int size) {
        // An axis of fewer than 5 pixels has no offset that keeps 5 pixels of it.
        if (size < 5)
            return 0;
        return std::clamp(value, 5 - size, size - 5);
    };
    return MakePoint(static_cast<int16_t>(clampAxis(offset.v + step.v, height)),
                     static_cast<int16_t>(clampAxis(offset.h + step.h, width)));
}

void NudgeFrameAlignment(char key, bool repeat, int level)
{
    if (RefuseClipChange())
        return;
    if (!VerifyImageWidth(nullptr, false))
        return;
    if (!AnyClipSelected())
        return;
    sNudgeOffset = NudgeOffsetForKey(key, repeat, level);
    if (!gAlignChannelsSeparately) {
        sChannelStart = 1;
        sChannelEnd = 3;
    } else {
        if (gAutoAlignmentSearchSize < 0 || gAutoAlignmentSearchSize > 2) {
            SysBeep();
            return;
        }
        sChannelStart = sChannelEnd = gAutoAlignmentSearchSize + 1;
    }
    (void)RunThreadedFrameProc(&Thread_NudgeFrameAlignment, &Thread_NudgeFrameAlignmentFinal, 0); // reports its own refusals
}

void NudgeFrameStack(char key)
{
    if (RefuseClipChange())
        return;
    Point* planes[3] = {&gFrameStackOffsetRed, &gFrameStackOffsetGreen, &gFrameStackOffsetBlue};
    if (gAutoAlignmentSearchSize < 0 || gAutoAlignmentSearchSize > 2) {
        SysBeep();
        return;
    }
    Point& offset = *planes[gAutoAlignmentSearchSize];
    switch (key) {
    case kKeyLeft:
        offset.h = static_cast<int16_t>(offset.h + 1);
        break;
    case kKeyRight:
        offset.h = static_cast<int16_t>(offset.h - 1);
        break;
    case kKeyUp:
        offset.v = static_cast<int16_t>(offset.v + 1);
        break;
    case kKeyDown:
        offset.v = static_cast<int16_t>(offset.v - 1);
        break;
    default:
        return;
    }
    ProjectStackIntoFrameStackGWorld(false);
}
