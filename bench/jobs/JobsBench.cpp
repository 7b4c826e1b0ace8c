// bench/jobs/JobsBench.cpp: what the job framework costs. A per-clip job of
// cheap work (summing a 64 × 64 clip's pixels) over 2000 clips with 1, 2, 4
// and 8 threads, each against the 1-thread run of the same process; and the
// display handshake's cost per clip (its four round trips to the main
// thread), as the difference between the same job with and without it.
//
// Prints after Google Benchmark's own table:
//   jobs threads=<t> clips=<n> speedup=<x>
//   jobs handshake_us_per_clip=<x>              (one worker)
//   jobs threads=4 handshake_us_per_clip=<x>
// The main thread's side of each event does nothing here, so the handshake
// figure is the framework's own cost; in the program it adds the drawing.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "engine/ClipJobs.h"
#include "shell/PolledMainThreadQueue.h"
#include "shell/ShellSettings.h"
#include "engine/Frame.h"
#include "engine/FrameList.h"
#include "shell/ImageDim.h"
#include "engine/Selection.h"
#include "platform/core/FreeMemory.h"
#include "platform/core/GWorldWrapper.h"

namespace {

constexpr int kClips = 2000;
constexpr int kSide = 64;
constexpr int kRepetitions = 7;

std::map<std::string, std::vector<double>> sRuns; // milliseconds per run, by case
std::atomic<uint64_t> sChecksum{0};

// A progress window that only counts, so every clip also posts its step.
class CountingProgress final : public JobProgressWindow {
public:
    std::shared_ptr<const std::atomic<int>> Status() const override { return mStatus; }
    void Step() override { ++mSteps; }

private:
    std::shared_ptr<std::atomic<int>> mStatus = std::make_shared<std::atomic<int>>(0);
    int mSteps = 0;
};

void MakeDocument()
{
    gMaxClipDim = MakeRect(0, 0, 16, 16);
    gImageDim = MakeRect(0, 0, kSide, kSide);
    for (int i = 0; i < kClips; ++i) {
        auto original = std::make_unique<GWorldWrapper>(32, gImageDim, -1);
        uint8_t* base = original->GetPixBaseAddr();
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < 4 * kSide; ++x)
                base[static_cast<std::size_t>(y) * original->GetSrcRowBytes() + x] = static_cast<uint8_t>(x + y + i);
        auto modified = std::make_unique<GWorldWrapper>(32, gImageDim, -1);
        *modified = *original;
        AppendFrame(std::make_unique<Frame>(i, original.release(), modified.release()));
    }
    gPersistantSelectionIndices.resize(kClips);
    std::iota(gPersistantSelectionIndices.begin(), gPersistantSelectionIndices.end(), 0);
}

bool CheapWork(Frame& frame, int)
{
    FrameLease image = frame.GetOriginal();
    if (!image)
        return true;
    uint64_t sum = 0;
    for (int y = 0; y < image->Height(); ++y) {
        const uint8_t* row = image->PixelRow(y);
        for (int x = 0; x < 4 * image->Width(); ++x)
            sum += row[x];
    }
    sChecksum += sum;
    return true;
}

void RunJob(benchmark::State& state, const std::string& name, int threads, bool sync)
{
    PolledMainThreadQueue queue;
    for (auto _ : state) {
        gNumThreads = threads;
        gSyncThreadDisplay = sync;
        const auto start = std::chrono::steady_clock::now();
        if (!RunThreadedFrameProc([](const FrameJobRange& range) { ForEachClipOfRange(range, &CheapWork); }, nullptr,
                                  0))
            state.SkipWithError("the job did not start");
        if (!queue.DispatchUntil([] { return !IsJobActive(); }, std::chrono::minutes(5)))
            state.SkipWithError("the job did not end");
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        sRuns[name].push_back(ms);
        state.SetIterationTime(ms / 1000.0);
    }
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

std::string Case(int threads, bool sync)
{
    return "threads" + std::to_string(threads) + (sync ? "_sync" : "_free");
}

} // namespace

int main(int argc, char** argv)
{
    SetFreeMemForTesting([] { return int64_t{1} << 36; }); // keep every clip in memory
    JobHooks& hooks = GetJobHooks();
    hooks.updateMenus = [] {};
    hooks.openProgressWindow = [](int) { return std::make_unique<CountingProgress>(); };
    MakeDocument();

    const struct {
        int threads;
        bool sync;
    } cases[] = {{1, false}, {2, false}, {4, false}, {8, false}, {1, true}, {4, true}};
    for (const auto& c : cases) {
        const std::string name = Case(c.threads, c.sync);
        benchmark::RegisterBenchmark(("job_" + name).c_str(),
                                     [name, c](benchmark::State& s) { RunJob(s, name, c.threads, c.sync); })
            ->UseManualTime()
            ->Iterations(1)
            ->Repetitions(kRepetitions);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    const double one = Median(sRuns[Case(1, false)]);
    for (int t : {1, 2, 4, 8}) {
        const double ms = Median(sRuns[Case(t, false)]);
        std::printf("jobs threads=%d clips=%d speedup=%.2f\n", t, kClips, ms > 0 ? one / ms : 0.0);
    }
    const double perClipOne = (Median(sRuns[Case(1, true)]) - one) * 1000.0 / kClips;
    const double perClipFour = (Median(sRuns[Case(4, true)]) - Median(sRuns[Case(4, false)])) * 1000.0 / kClips;
    std::printf("jobs handshake_us_per_clip=%.2f\n", perClipOne);
    std::printf("jobs threads=4 handshake_us_per_clip=%.2f\n", perClipFour);
    benchmark::DoNotOptimize(sChecksum.load());
    gFrames.clear();
    return 0;
}
