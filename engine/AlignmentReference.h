// engine/AlignmentReference.h: what every alignment command checks before it
// starts, the lease on clip 0's modified image that its workers compare with,
// and the worker loop and ending the alignment jobs share.
#pragma once

#include <functional>

#include "engine/Frame.h"
#include "platform/core/Geometry.h"

struct FrameJobRange;

// Refuses (one beep, or the width alert where checkWidth, or the out-of-memory
// alert) when a job runs or a clip-changing dialog is open, when nothing but
// the reference is selected, when there is no bounds rectangle, or when clip
// 0's modified image cannot be had. Otherwise returns the lease on it, which
// the command keeps until its final procedure. Main thread only.
FrameLease LeaseAlignmentReference(bool checkWidth);

// False, after one beep, when no pixel of the reference inside the bounds
// rectangle reaches the alignment brightness threshold: every trial would then
// score 0 and move each clip for nothing. Main thread only.
// counts receives the pixels at or above the threshold: [0] any channel,
// [1..3] red, green, blue.
bool ReferenceReachesThreshold(const GWorldWrapper& reference, long counts[4]);

// What a search by difference (translation or rotation) compares with: clip
// 0's modified image, the bounds rectangle and the brightness threshold.
// Written by the command before its job starts, only read by the workers,
// let go by the final procedure.
struct DifferenceReference {
    FrameLease lease;  // clip 0's modified image
    Rect bounds;       // gOperationBoundsRect
    int threshold = 0; // gAlignmentBrightnessThreshold
};

// Leases the reference (LeaseAlignmentReference with the width check) and
// checks it against the threshold (ReferenceReachesThreshold, which fills
// counts); on success reference holds the lease, the bounds rectangle and the
// threshold. False, with reference untouched, after the refusal's beep or
// alert. Main thread only.
bool HoldDifferenceReference(DifferenceReference& reference, long counts[4]);
// Lets go of the lease. Main thread only.
void ReleaseDifferenceReference(DifferenceReference& reference);

// The worker loop of the searches by difference, which never touch clip 0:
// every other clip of range that exists is marked, aligned by alignOne (which
// returns the run status), drawn and shown in the inspector, and a status
// above 1 (cancelled) ends the range there, the clip's progress step not
// taken; every position, clip 0 included, then takes a progress step (false
// ends the range). Worker threads.
void AlignClipsOfRangeButReference(const FrameJobRange& range, const std::function<int(Frame&)>& alignOne);

// The end of a job that changed clip renders: discards the summed stack and
// redraws the clips window and the frame inspector. Main thread only.
void DiscardStackAndRedrawClips();
