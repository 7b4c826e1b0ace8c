// shell/JobSplit.h: how a job's items are cut into one contiguous range per
// worker thread.
#pragma once

#include <vector>

// A half-open range [first, end) of item positions. For frame jobs the
// positions are those of the persistent selection; first -1 with end 0
// stands for the temporary selection (the clip under the mouse).
struct JobRange {
    int first = 0;
    int end = 0;
    bool operator==(const JobRange& other) const = default;
};

// min(n, numThreads), and at least 1 while n >= 1; 0 for n <= 0.
int NumThreadsForItems(int n, int numThreads);

// Cuts n >= 1 items into T = NumThreadsForItems(n, numThreads) ranges. The
// step n / T is a float; each end is the previous end plus the step, in
// float, rounded half away from zero (lroundf) and capped at n; the last end
// is n. Rounding carries forward from range to range, so the last ranges may
// be empty (n 12 over 8 threads ends 2, 4, 6, 8, 10, 12, 12, 12) or the last
// may be long (n 95 over 64: 63 ranges of 1, then 32). The picture import
// cuts its pictures the same way, and users know the resulting order of
// clips, so the rule stays exactly this. n <= 0 gives no range.
std::vector<JobRange> SplitJobRanges(int n, int numThreads);

// The ranges of a frame job over a persistent selection of selectionSize
// clips: SplitJobRanges, or the single range (-1, 0) for an empty selection.
std::vector<JobRange> SplitFrameJobRanges(int selectionSize, int numThreads);
