// engine/RotationalAlignment.cpp: the rotational search, its frame job and
// the rotation nudge job.
#include "engine/RotationalAlignment.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <utility>

#include "shell/Alerts.h"
#include "shell/AlignmentModes.h"
#include "engine/ClipJobs.h"
#include "engine/AlignByDifference.h"
#include "engine/AlignmentReference.h"
#include "engine/ClipCommandGate.h"
#include "engine/Frame.h"
#include "engine/FrameList.h"
#include "engine/Selection.h"
#include "imaging/Measurements.h"
#include "imaging/Rotation.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/core/StandardAlerts.h"
#include "platform/core/UserInteraction.h"

namespace {

// Settings of the running alignment job, written by the command before the
// job starts and only read by its workers.
DifferenceReference sReference;
int sStartStep = 1;

// The nudge of the running nudge job.
int sRot = 0;

int SkipIndex(int offset, int step)
{
    return (offset + DifferenceSearchHalfWidth(step)) / step;
}

// Status above 1 when the job was cancelled during the search.
int AutoRotationallyAlignOneFrameByDifference(Frame& frame)
{
    int status = 0;
    int turned = 0;
    {
        // The render the trials turn; nobody renders the clip again during
        // the search, so the lease's image stays as it is.
        FrameLease image = frame.GetModified(true);
        if (!image)
            return 0; // a clip that cannot come back is passed over
        auto scratch = std::make_unique<GWorldWrapper>(32, MakeRect(0, 0, image->Height(), image->Width()), 0);
        RotationSearchClip clip;
        clip.measure = [&](int increments) {
            const Rect bounds = sReference.bounds;
            if (!RotateImageNearestNeighborInRect(*image, *scratch, increments * kRotationIncrementRads, bounds))
                return -1.0;
            return CalculateDifference(*sReference.lease, *scratch, false, true, bounds, bounds, 0,
                                       sReference.threshold);
        };
        clip.runStatus = [] { return Thread_JobRunStatus(); };
        status = RotationalAlignmentSearch(clip, sStartStep, turned);
    }
    frame.SetRotation(frame.GetRotation() + turned);
    (void)frame.UpdateFrame(false); // a clip that cannot come back renders when it next can
    return status;
}

void Thread_AutoRotationallyAlignFramesByDifference(const FrameJobRange& range)
{
    AlignClipsOfRangeButReference(range, AutoRotationallyAlignOneFrameByDifference);
}

void Thread_AutoRotationallyAlignFramesByDifferenceFinal()
{
    ReleaseDifferenceReference(sReference);
    DiscardStackAndRedrawClips();
}

void Thread_NudgeFrameRotation(const FrameJobRange& range)
{
    ForEachClipOfRange(range, [](Frame& frame, int) {
        frame.SetRotation(frame.GetRotation() + sRot);
        (void)frame.UpdateFrame(false); // a clip that cannot come back renders when it next can
        return true;
    });
}

void Thread_NudgeFrameRotationFinal()
{
    DiscardStackAndRedrawClips();
}

} // namespace

// ---------------------------------------------------------------- search

void SetRedoArray(bool* skip, int newOffset, int step)
{
    std::fill(skip, skip + kRotationSkipEntries, true);
    const int hw = DifferenceSearchHalfWidth(step);
    const int measured = step == 9 ? 9 : 3; // the offsets the previous pass covered, seen from the new centre
    for (int e = -hw; e <= hw; e += step)
        if (std::abs(e + newOffset) <= measured)
            skip[SkipIndex(e, step)] = false;
}

double RotateAtOneResolutionByDifference(const RotationSearchClip& clip, int step, int centre, const bool* skip,
                                         int& best)
{
    best = 0;
    double value = 1.0;
    const int hw = DifferenceSearchHalfWidth(step);
    for (int d = -hw; d <= hw; d += step) {
        if (!skip[SkipIndex(d, step)])
            continue;
        const double x = clip.measure(centre + d);
        if (x >= 0.0 && x < value) {
            value = x;
            best = d;
        }
    }
    return value;
}

int RotationalAlignmentSearch(const RotationSearchClip& clip, int startStep, int& turned)
{
    turned = 0;
    // Above any difference, so the first pass is always applied.
    double carried = 2.0;
    for (int step = startStep; step > 0; step /= 3) {
        const int hw = DifferenceSearchHalfWidth(step);
        bool skip[kRotationSkipEntries];
        std::fill(skip, skip + kRotationSkipEntries, true);
        for (int passes = 1;; ++passes) {
            const double last = carried;
            int best = 0;
            carried = RotateAtOneResolutionByDifference(clip, step, turned, skip, best);
            if (const int status = clip.runStatus(); status > 1)
                return status;
            if (carried >= last)
                break;
            turned += best;
            if (std::abs(best) != hw)
                break; // the best offset lay inside
            SetRedoArray(skip, best, step);
            if (passes >= kMaxRotationPassesPerStep)
                break;
        }
    }
    return 0;
}

int RotationNudgeIncrements(bool negative, bool repeat, int big)
{
    const int n = (big ? 10 : 1) * (repeat ? 2 : 1);
    return negative ? -n : n;
}

// ---------------------------------------------------------------- commands

void AutoRotationallyAlignFramesByDifference()
{
    long counts[4];
    if (!HoldDifferenceReference(sReference, counts))
        return;
    sStartStep = DifferenceSearchStartStep(gAutoRotationalAlignmentSearchSize);
    if (!RunThreadedFrameProc(&Thread_AutoRotationallyAlignFramesByDifference,
                              &Thread_AutoRotationallyAlignFramesByDifferenceFinal, 0))
        ReleaseDifferenceReference(sReference);
}

void NudgeFrameRotation(bool negative, bool repeat, int big)
{
    if (RefuseClipChange())
        return;
    if (!VerifyImageWidth(nullptr, false))
        return;
    if (gTempSelectionIndex == -1 && gPersistantSelectionIndices.empty()) {
        SysBeep();
        return;
    }
    sRot = RotationNudgeIncrements(negative, repeat, big);
    (void)RunThreadedFrameProc(&Thread_NudgeFrameRotation, &Thread_NudgeFrameRotationFinal, 0); // reports its own refusals
}
