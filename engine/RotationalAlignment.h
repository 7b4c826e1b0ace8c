// engine/RotationalAlignment.h: turning clips onto the reference clip (clip
// 0) by the rotation of smallest mean absolute difference inside the
// operation bounds rectangle, searched coarse to fine in rotation increments
// (1000 per turn), and nudging the selected clips' rotation from the keys.
#pragma once

#include <functional>

#include "engine/AlignByDifference.h"

// ---- The search, free of clips and jobs ----

// One skip entry per trial offset of the largest pass (7), in increasing order.
constexpr int kRotationSkipEntries = 7;
// A step ends after this many passes even when every pass lands on the border.
constexpr int kMaxRotationPassesPerStep = 50;

// The search steps as the translational one does, in increments instead of
// pixels: DifferenceSearchStartStep gives the start step of a search size and
// DifferenceSearchHalfWidth the half-width of a step's trial offsets.

// Fills skip (kRotationSkipEntries) after the pass's best offset s landed on
// the border: all true, then false for each trial offset e whose e + s lies
// within -3 .. 3 (steps 1 and 3) or -9 .. 9 (step 9). At step 3 that
// measures the previous best again.
void SetRedoArray(bool* skip, int newOffset, int step);

// What the search needs of the clip being turned.
struct RotationSearchClip {
    // Difference (0 .. 1, negative when it cannot be measured) between the
    // reference and the clip's render turned by increments more, over the
    // bounds rectangle.
    std::function<double(int increments)> measure;
    // The job's run status; above 1 stops the search.
    std::function<int()> runStatus;
};

// One pass: the trial offsets d = -hw .. hw by step around centre whose skip
// entry is true, measured at centre + d. best is the offset of the strictly
// smallest non-negative difference below 1.0 (the most negative on ties), 0
// when none; returns that difference, or 1.0.
double RotateAtOneResolutionByDifference(const RotationSearchClip& clip, int step, int centre, const bool* skip,
                                         int& best);

// The coarse-to-fine search from startStep (9, 3 or 1) down to 1, the centre
// carried over the whole search. Each pass that improves on the previous
// one moves the centre by its best offset; a best offset of ±hw runs another
// pass with SetRedoArray (at most kMaxRotationPassesPerStep per step).
// turned receives the increments to add to the clip's rotation. Returns the
// first run status above 1 (its pass not applied), else 0.
int RotationalAlignmentSearch(const RotationSearchClip& clip, int startStep, int& turned);

// The increments one nudge adds: 1, or 10 when big; negated when negative;
// doubled on repeat.
int RotationNudgeIncrements(bool negative, bool repeat, int big);

// ---- Commands (main thread) and their jobs ----

// Turns the selected clips (never clip 0) to match clip 0 inside the bounds
// rectangle, with gAutoRotationalAlignmentSearchSize choosing the start step
// and gAlignmentBrightnessThreshold the reference pixels that count. Each
// trial turns the clip's render (already translated) by the nearest source
// pixel, computing only the rectangle. Refused with a beep while a job runs
// or a dialog reads the clips, with no clip other than clip 0 under the mouse
// and no persistent selection, without a bounds rectangle, and when no
// reference pixel in the rectangle reaches the threshold; refused by the
// width alert for images wider than 4091 pixels. The final discards the
// summed stack.
void AutoRotationallyAlignFramesByDifference();

// Adds RotationNudgeIncrements(negative, repeat, big) to the rotation of the
// selected clips (clip 0 included) and renders them. Beeps with no
// selection; refused by the width alert for images wider than 4091 pixels.
// Discards the summed stack.
void NudgeFrameRotation(bool negative, bool repeat, int big);
