// shell/JobSplit.cpp: the range split of jobs.
#include "shell/JobSplit.h"

#include <algorithm>
#include <cmath>

int NumThreadsForItems(int n, int numThreads)
{
    if (n <= 0)
        return 0;
    return std::max(1, std::min(n, numThreads));
}

std::vector<JobRange> SplitJobRanges(int n, int numThreads)
{
    std::vector<JobRange> ranges;
    const int t = NumThreadsForItems(n, numThreads);
    if (t == 0)
        return ranges;
    ranges.reserve(static_cast<std::size_t>(t));
    // Single precision on purpose: the ends come out as they always have.
    const float step = static_cast<float>(n) / static_cast<float>(t);
    int first = 0;
    for (int i = 0; i < t; ++i) {
        int end = n;
        if (i < t - 1)
            end = static_cast<int>(std::min<long>(n, std::lroundf(static_cast<float>(first) + step)));
        ranges.push_back({first, end});
        first = end;
    }
    return ranges;
}

std::vector<JobRange> SplitFrameJobRanges(int selectionSize, int numThreads)
{
    if (selectionSize <= 0)
        return {JobRange{-1, 0}};
    return SplitJobRanges(selectionSize, numThreads);
}
