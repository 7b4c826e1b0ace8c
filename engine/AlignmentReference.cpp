// engine/AlignmentReference.cpp: the shared start, worker loop and end of the
// alignment commands.
#include "engine/AlignmentReference.h"

#include <utility>

#include "shell/Alerts.h"
#include "engine/ClipViewWindow.h"
#include "engine/ClipJobs.h"
#include "shell/OperationBoundsRect.h"
#include "engine/AlignByDifference.h"
#include "engine/AlignmentThreshold.h"
#include "engine/ClipCommandGate.h"
#include "engine/ClipsWindow.h"
#include "engine/FrameList.h"
#include "engine/Selection.h"
#include "engine/SummedStack.h"
#include "platform/core/StandardAlerts.h"
#include "platform/core/UserInteraction.h"

FrameLease LeaseAlignmentReference(bool checkWidth)
{
    if (RefuseClipChange())
        return FrameLease();
    if (checkWidth && !VerifyImageWidth(nullptr, false))
        return FrameLease();
    if (gTempSelectionIndex < 1 && gPersistantSelectionIndices.empty()) {
        SysBeep(); // nothing to align but the reference itself
        return FrameLease();
    }
    if (!OperationBoundsRectExists()) {
        SysBeep();
        return FrameLease();
    }
    Frame* reference = FrameAt(0);
    if (!reference)
        return FrameLease();
    FrameLease lease = reference->GetModified(true);
    if (!lease)
        DoNotEnougMemoryForOperationDialog();
    return lease;
}

bool ReferenceReachesThreshold(const GWorldWrapper& reference, long counts[4])
{
    CountReferencePixels(reference, gOperationBoundsRect, gAlignmentBrightnessThreshold, counts);
    if (counts[0] == 0) {
        SysBeep();
        return false;
    }
    return true;
}

bool HoldDifferenceReference(DifferenceReference& reference, long counts[4])
{
    FrameLease lease = LeaseAlignmentReference(true);
    if (!lease || !ReferenceReachesThreshold(*lease, counts))
        return false;
    reference.lease = std::move(lease);
    reference.bounds = gOperationBoundsRect;
    reference.threshold = gAlignmentBrightnessThreshold;
    return true;
}

void ReleaseDifferenceReference(DifferenceReference& reference)
{
    reference.lease.reset();
}

void AlignClipsOfRangeButReference(const FrameJobRange& range, const std::function<int(Frame&)>& alignOne)
{
    for (std::size_t position = 0; position < range.clips.size(); ++position) {
        const int clip = range.clips[position];
        ReachedClipOfRange(range, static_cast<int>(position));
        Frame* frame = FrameAt(clip);
        if (clip != 0 && frame) {
            Thread_MarkWorkingClip(clip);
            const int status = alignOne(*frame);
            Thread_DrawClip(clip);
            Thread_UpdateFrameInspectorWindow(clip);
            if (status > 1)
                return; // cancelled: the steps made so far stay
        }
        if (!Thread_IncrementWorkingDialogProgressBar())
            return;
    }
}

void DiscardStackAndRedrawClips()
{
    DeleteFrameStack();
    DrawClipsWindow();
    DrawFrameInspectorWindow();
}
