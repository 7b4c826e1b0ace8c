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
// on disk; io_ms_per_clip is a plain read of the files that pass read, in the
// same run: the rendered image's temp file of every clip on disk, each whole,
// on as many threads as the pass's read-ahead helpers, each taking the next
// file, with the files in the page cache as the pass found them (the import
// has just written them; an untimed pass first makes sure).
//
// Usage: bench_scale [quick]   (quick: 300 clips on 300 MiB only)
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/Commands.h"
#include "app/MainWindows.h"
#include "bench/support/BenchSession.h"
#include "engine/ClipReadAhead.h"
#include "engine/Frame.h"
#include "engine/FrameList.h"
#include "engine/SummedStack.h"
#include "platform/core/FreeMemory.h"
#include "platform/core/ResidentSet.h"
#include "shell/ShellSettings.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int64_t kMiB = int64_t{1} << 20;

struct Run {
    int clips;
    int budgetMb;
};
constexpr Run kRuns[] = {{1000, 1000}, {5000, 3000}};
constexpr Run kQuickRun = {300, 300};

// Milliseconds a clip on disk to read the file the stack pass reads of it
// (its rendered image's temp file), start to end into a buffer of its own
// size, on ReadAheadHelpers(gNumThreads) threads, the pass's read-ahead
// helpers, each taking the next file in the clips' order. The files are read
// once untimed first, so that their pages are in the cache as they were for
// the pass, and the second pass counts. -1 when no clip is on disk.
double WarmReadMsPerClip()
{
    std::vector<std::string> paths;
    for (int i = 0; i < FrameCount(); ++i) {
        Frame* frame = FrameAt(i);
        if (!frame->InMemory())
            paths.push_back(frame->GetTempFile(1));
    }
    if (paths.empty())
        return -1.0;
    const int threads = ReadAheadHelpers(gNumThreads);
    std::atomic<int64_t> total{0};
    auto pass = [&] {
        std::atomic<std::size_t> next{0};
        ParallelFor(threads, threads, [&](int) {
            std::vector<char> buffer;
            int64_t got = 0;
            for (std::size_t i = next++; i < paths.size(); i = next++) {
                const int fd = ::open(paths[i].c_str(), O_RDONLY | O_CLOEXEC);
                if (fd < 0)
                    continue;
                struct stat info {};
                if (::fstat(fd, &info) == 0) {
                    buffer.resize(static_cast<std::size_t>(info.st_size));
                    std::size_t done = 0;
                    ssize_t n;
                    while (done < buffer.size() &&
                           (n = ::pread(fd, buffer.data() + done, buffer.size() - done, static_cast<off_t>(done))) > 0)
                        done += static_cast<std::size_t>(n);
                    got += static_cast<int64_t>(done);
                }
                ::close(fd);
            }
            total += got;
        });
    };
    pass();
    total = 0;
    const auto start = BenchClock::now();
    pass();
    const double ms = SecondsBetween(start, BenchClock::now()) * 1000.0;
    if (total == 0)
        std::fprintf(stderr, "scale: the temp files could not be read\n");
    return ms / static_cast<double>(paths.size());
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
    const double ioMs = WarmReadMsPerClip();
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
