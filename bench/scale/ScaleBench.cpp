// bench/scale/ScaleBench.cpp: thousands of clips on a memory budget, through
// the program's own commands: picture files handed to the program (the
// picture import job), then the Stack command over every clip, with the
// free-memory figure held to a budget (budget − this process's resident set,
// as the system would report it), so clips go to their temp files and come
// back from them.
//
// Prints two lines a run:
//   scale clips=<n> size=640x480 budget_mb=<b> swapped=<clips on disk> import_s=<t> stack_s=<t> peak_rss_mb=<r> rss_ratio=<r/b>
//   swapped_stack clips=<n> budget_mb=<b> ms_per_swapped_clip=<t> io_ms_per_clip=<t> ratio=<t/io>
// swapped counts the clips on disk after the import; peak_rss_mb is the
// process's peak resident set (VmHWM) from the import's start to the stack's
// end. ms_per_swapped_clip is the stack pass's time over the clips it found
// on disk; io_ms_per_clip is a plain sequential read of one clip's two temp
// files after their pages were dropped from the page cache
// (POSIX_FADV_DONTNEED), measured in the same run over up to 100 clips.
//
// Usage: bench_scale [quick]   (quick: 300 clips on 300 MiB only)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "app/Commands.h"
#include "app/MainWindows.h"
#include "bench/support/BenchSession.h"
#include "engine/Frame.h"
#include "engine/FrameList.h"
#include "engine/SummedStack.h"
#include "platform/core/FreeMemory.h"
#include "platform/core/ResidentSet.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int64_t kMiB = int64_t{1} << 20;
constexpr int kIoSampleClips = 100;

struct Run {
    int clips;
    int budgetMb;
};
constexpr Run kRuns[] = {{1000, 1000}, {5000, 3000}};
constexpr Run kQuickRun = {300, 300};

// Milliseconds to read one clip's temp files from disk: each file's cached
// pages are dropped first, then it is read start to end in 1 MiB blocks.
// -1 when no clip is on disk.
double ColdReadMsPerClip()
{
    std::vector<std::string> paths;
    int clips = 0;
    for (int i = 0; i < FrameCount() && clips < kIoSampleClips; ++i) {
        Frame* frame = FrameAt(i);
        if (frame->InMemory())
            continue;
        paths.push_back(frame->GetTempFile(0));
        paths.push_back(frame->GetTempFile(1));
        ++clips;
    }
    if (clips == 0)
        return -1.0;
    for (const std::string& path : paths) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            ::fdatasync(fd);
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            ::close(fd);
        }
    }
    std::vector<char> block(static_cast<std::size_t>(kMiB));
    int64_t total = 0;
    const auto start = BenchClock::now();
    for (const std::string& path : paths) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        ssize_t got;
        while ((got = ::read(fd, block.data(), block.size())) > 0)
            total += got;
        ::close(fd);
    }
    const double ms = SecondsBetween(start, BenchClock::now()) * 1000.0;
    if (total == 0)
        std::fprintf(stderr, "scale: the temp files could not be read\n");
    return ms / clips;
}

bool RunScale(BenchSession& session, const std::vector<PlanetPicture>& files, int budgetMb)
{
    const int n = static_cast<int>(files.size());
    CloseMainWindow();
    const int64_t budget = budgetMb * kMiB;
    SetFreeMemForTesting([budget] { return budget - ProcessStatusBytes("VmRSS"); });
    (void)ResetPeakResidentSet();

    const auto start = BenchClock::now();
    // Both checked, so that an alert that ended the import is named too.
    const bool opened = OpenPictures(session, files);
    if (!session.Quiet("the import") || !opened) {
        std::fprintf(stderr, "scale: the import made %d clips of %d\n", FrameCount(), n);
        SetFreeMemForTesting(nullptr);
        return false;
    }
    const auto imported = BenchClock::now();
    int swapped = 0;
    for (int i = 0; i < FrameCount(); ++i)
        swapped += FrameAt(i)->InMemory() ? 0 : 1;

    CommandOperations& ops = GetCommandOperations();
    ops.persistantSelectAllFrames();
    const auto stackStart = BenchClock::now();
    ops.createInitialStack();
    const auto stacked = BenchClock::now();
    const int64_t peak = ProcessStatusBytes("VmHWM");
    const bool stackedOk = HaveSummedStack();
    if (!session.Quiet("stacking") || !stackedOk) {
        std::fprintf(stderr, "scale: no stack was made\n");
        SetFreeMemForTesting(nullptr);
        return false;
    }
    const double stackSeconds = SecondsBetween(stackStart, stacked);
    const double ioMs = ColdReadMsPerClip();
    SetFreeMemForTesting(nullptr);

    const double peakMb = static_cast<double>(peak) / static_cast<double>(kMiB);
    std::printf("scale clips=%d size=%dx%d budget_mb=%d swapped=%d import_s=%.2f stack_s=%.2f peak_rss_mb=%.0f "
                "rss_ratio=%.3f\n",
                n, kWidth, kHeight, budgetMb, swapped, SecondsBetween(start, imported), stackSeconds, peakMb,
                peakMb / budgetMb);
    const double msPerSwapped = swapped > 0 ? stackSeconds * 1000.0 / swapped : 0.0;
    std::printf("swapped_stack clips=%d budget_mb=%d ms_per_swapped_clip=%.2f io_ms_per_clip=%.2f ratio=%.2f\n", n,
                budgetMb, msPerSwapped, ioMs, ioMs > 0.0 ? msPerSwapped / ioMs : 0.0);
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const bool quick = argc > 1 && std::strcmp(argv[1], "quick") == 0;
    if (argc > 1 && !quick) {
        std::fprintf(stderr, "usage: bench_scale [quick]\n");
        return 2;
    }
    BenchSession session("scale");
    if (!session.Ok()) {
        std::fprintf(stderr, "scale: no scratch folder\n");
        return 1;
    }
    std::vector<Run> runs(std::begin(kRuns), std::end(kRuns));
    if (quick)
        runs = {kQuickRun};
    int most = 0;
    for (const Run& run : runs)
        most = std::max(most, run.clips);
    // One set of frames; each run opens the first run.clips of them.
    std::vector<PlanetPicture> files(static_cast<std::size_t>(most));
    std::mt19937 random(2024);
    std::uniform_int_distribution<int> shift(-8, 8);
    for (PlanetPicture& f : files)
        f.shift = MakePoint(shift(random), shift(random));
    if (!WritePlanetPictures(session.Scratch(), kWidth, kHeight, files)) {
        std::fprintf(stderr, "scale: could not write the frames into %s\n", session.Scratch().c_str());
        return 1;
    }
    int status = 0;
    for (const Run& run : runs) {
        const std::vector<PlanetPicture> some(files.begin(), files.begin() + run.clips);
        if (!RunScale(session, some, run.budgetMb))
            status = 1;
    }
    CloseMainWindow();
    return status;
}
