// engine/AlignByDifference.h: moving clips onto the reference clip (clip 0)
// by the shift of smallest mean absolute difference inside the operation
// bounds rectangle, searched coarse to fine; nudging and clearing alignment
// offsets; nudging a plane of the summed stack's display.
#pragma once

#include <functional>

#include "platform/core/Geometry.h"

class GWorldWrapper;

// ---- The search, free of clips and jobs ----

// One skip-grid entry per point of the largest grid (7 × 7), row by row.
constexpr int kSkipGridSide = 7;
constexpr int kSkipGridEntries = kSkipGridSide * kSkipGridSide;
// A step ends after this many passes even when every pass lands on the border.
constexpr int kMaxPassesPerStep = 50;

// Start step of a search size: 0 → 9 pixels, 1 → 3, anything else → 1.
int DifferenceSearchStartStep(int searchSize);
// Half-width of a step's grid: 9 → 9, 3 → 6, 1 → 3 (the grid has
// 2 × hw / step + 1 points per axis).
int DifferenceSearchHalfWidth(int step);

// Fills skipGrid (kSkipGridEntries) after a re-centring on the border point
// s: all true, then false for each point e (offset from the new centre) that
// was measured before: e + s inside the grid square for steps 1 and 3,
// e + 2s for step 9. The step-9 rule keeps the program's long-standing
// results, which users compare runs against.
void SetRedoArray(bool* skipGrid, Point s, int step);

// What the search needs of the clip being aligned.
struct DifferenceSearchClip {
    // Difference (0 .. 1, negative when it cannot be measured) between the
    // reference over the bounds rectangle and the clip as it stands now over
    // that rectangle moved v rows down and h columns right.
    std::function<double(int v, int h)> measure;
    // Optional: measure for every offset of a pass at once, out[i] for
    // (v[i], h[i]), i < count, the same values; a pass uses it when set.
    std::function<void(const int* v, const int* h, int count, double* out)> measureEach;
    // Adds shift to the clip's alignment and renders it again.
    std::function<void(Point shift)> apply;
    // The job's run status; above 1 stops the search.
    std::function<int()> runStatus;
};

// One pass over the step's grid around centre, points in row-then-column
// order, measuring only those whose skip-grid entry is true. best is the
// negated point of the strictly smallest non-negative difference below 1.0
// (the first on ties), (0, 0) when none; returns that difference, or 1.0.
double AlignAtOneResolutionByDifference(const DifferenceSearchClip& clip, int step, Point centre,
                                        const bool* skipGrid, Point& best);

// The coarse-to-fine search from startStep (9, 3 or 1) down to 1. Each pass
// that improves on the previous one is applied; a best point on the grid's
// border re-centres the grid and runs another pass (at most
// kMaxPassesPerStep per step). Returns the first run status above 1 (its
// pass not applied), else 0.
int AlignByDifferenceSearch(const DifferenceSearchClip& clip, int startStep);

// Reference pixels inside r (bottom and right excluded, clipped to the
// image) that reach threshold: [0] by pixel value (the largest component),
// [1..3] by red, green and blue. Other alignments refuse a threshold that
// leaves nothing to compare with it.
void CountReferencePixels(const GWorldWrapper& image, Rect r, int threshold, long counts[4]);

// ---- Commands (main thread) and their jobs ----

// Aligns the selected clips (never clip 0) to clip 0 by difference, with
// gAutoAlignmentSearchSize choosing the start step and
// gAlignChannelsSeparately whether red, green and blue move alone. Refused
// with a beep while a job runs or a dialog reads the clips, with no clip
// other than clip 0 under the mouse and no persistent selection, without a
// bounds rectangle, and when no reference pixel in the rectangle reaches
// gAlignmentBrightnessThreshold; refused by the width alert for images wider
// than 4091 pixels; the out-of-memory alert when clip 0 cannot be had. The
// final discards the summed stack.
void AutoAlignFramesByDifference();

// Sets every selected clip's offsets (clip 0 included) and rotation to 0,
// keeping the summed stack. Beeps with no selection.
void ClearFrameAlignment();

// Adds 5^level pixels (twice that on auto-repeat) in the arrow's direction
// (key 28 left, 29 right, 30 up, 31 down) to the offsets of the selected
// clips: all three channels, or with channels aligned separately the one
// gAutoAlignmentSearchSize names (a beep when none is held). Each offset
// stays within 5 pixels of the image size. Silent with no selection.
// Discards the summed stack.
void NudgeFrameAlignment(char key, bool repeat, int level);

// Moves the display plane gAutoAlignmentSearchSize names (0 red, 1 green,
// 2 blue) by one pixel against the arrow and shows the stack again; a beep
// with no plane chosen.
void NudgeFrameStack(char key);

// The nudge step of an arrow key: (v, h) of n = 5^level pixels, doubled on
// repeat; (0, 0) for another key.
Point NudgeOffsetForKey(char key, bool repeat, int level);
// offset + step with v kept in [5 - height, height - 5] and h in
// [5 - width, width - 5]; an axis shorter than 5 pixels keeps 0.
Point ClampedNudge(Point offset, Point step, int width, int height);
