// engine/AlignmentReference.h: what every alignment command checks before it
// starts, and the lease on clip 0's modified image that its workers compare with.
#pragma once

#include "engine/Frame.h"

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
