// tests/unit/JobSplitTest.cpp: cutting a job's items into one range per thread.
#include "shell/JobSplit.h"

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/PythonReference.h"

namespace {

// The thread counts the Threads menu offers.
const int kMenuThreadCounts[] = {1, 2, 3, 4, 6, 8, 12, 16, 24, 32, 48, 64};

std::vector<JobRange> Ranges(std::initializer_list<std::pair<int, int>> list)
{
    std::vector<JobRange> out;
    for (auto [first, end] : list)
        out.push_back({first, end});
    return out;
}

std::string Show(const std::vector<JobRange>& ranges)
{
    std::ostringstream s;
    for (const JobRange& r : ranges)
        s << "[" << r.first << "," << r.end << ")";
    return s.str();
}

// Every item in exactly one range, ranges in order and touching.
void ExpectCover(const std::vector<JobRange>& ranges, int n)
{
    ASSERT_FALSE(ranges.empty());
    EXPECT_EQ(ranges.front().first, 0);
    EXPECT_EQ(ranges.back().end, n);
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        EXPECT_LE(ranges[i].first, ranges[i].end) << "n " << n << " range " << i;
        if (i > 0) {
            EXPECT_EQ(ranges[i].first, ranges[i - 1].end) << "n " << n << " range " << i;
        }
    }
}

TEST(JobSplit, WorkedExamples)
{
    // Computed by hand: step 2.5 → 2.5 rounds up to 3, 5.5 to 6, 8.5 to 9.
    EXPECT_EQ(SplitJobRanges(10, 4), Ranges({{0, 3}, {3, 6}, {6, 9}, {9, 10}}));
    // step 1.25: 1.25 → 1, 2.25 → 2, 3.25 → 3, the last takes the rest.
    EXPECT_EQ(SplitJobRanges(5, 4), Ranges({{0, 1}, {1, 2}, {2, 3}, {3, 5}}));
    // step 1.5: the ends run out before the threads do.
    EXPECT_EQ(SplitJobRanges(12, 8), Ranges({{0, 2}, {2, 4}, {4, 6}, {6, 8}, {8, 10}, {10, 12}, {12, 12}, {12, 12}}));
    // Fewer items than threads: one item each.
    EXPECT_EQ(SplitJobRanges(3, 8), Ranges({{0, 1}, {1, 2}, {2, 3}}));
    for (int t : kMenuThreadCounts)
        EXPECT_EQ(SplitJobRanges(1, t), Ranges({{0, 1}})) << t;
}

TEST(JobSplit, LastRangeMayBeLong)
{
    // step 95/64 = 1.484375: every end rounds to first + 1 until the last.
    const std::vector<JobRange> r = SplitJobRanges(95, 64);
    ASSERT_EQ(r.size(), 64u);
    for (int i = 0; i < 63; ++i)
        EXPECT_EQ(r[static_cast<std::size_t>(i)], (JobRange{i, i + 1})) << i;
    EXPECT_EQ(r[63], (JobRange{63, 95}));
}

TEST(JobSplit, EmptySelectionStandsForTheClipUnderTheMouse)
{
    for (int t : kMenuThreadCounts)
        EXPECT_EQ(SplitFrameJobRanges(0, t), Ranges({{-1, 0}})) << t;
    EXPECT_EQ(SplitFrameJobRanges(10, 4), SplitJobRanges(10, 4));
    EXPECT_TRUE(SplitJobRanges(0, 4).empty());
    EXPECT_TRUE(SplitJobRanges(-3, 4).empty());
}

TEST(JobSplit, ThreadCount)
{
    EXPECT_EQ(NumThreadsForItems(0, 8), 0);
    EXPECT_EQ(NumThreadsForItems(3, 8), 3);
    EXPECT_EQ(NumThreadsForItems(300, 8), 8);
    EXPECT_EQ(NumThreadsForItems(5, 0), 1); // a broken count still gives one worker
}

TEST(JobSplit, MatchesSinglePrecisionModelForEveryCountUpTo5000)
{
    constexpr int kMaxN = 5000;
    std::vector<std::string> args = {std::to_string(kMaxN)};
    for (int t : kMenuThreadCounts)
        args.push_back(std::to_string(t));
    std::string out;
    ASSERT_TRUE(RunPythonScript("job_split.py", args, &out)) << out;

    std::istringstream lines(out);
    std::string line;
    int checked = 0;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        int t = 0, n = 0;
        fields >> t >> n;
        std::vector<int> expectedEnds;
        for (int e; fields >> e;)
            expectedEnds.push_back(e);
        const std::vector<JobRange> ranges = SplitJobRanges(n, t);
        std::vector<int> ends;
        for (const JobRange& r : ranges)
            ends.push_back(r.end);
        ASSERT_EQ(ends, expectedEnds) << "n " << n << " threads " << t << ": " << Show(ranges);
        ExpectCover(ranges, n);
        ASSERT_EQ(static_cast<int>(ranges.size()), std::min(n, t));
        ++checked;
    }
    EXPECT_EQ(checked, kMaxN * 12);
}

} // namespace
