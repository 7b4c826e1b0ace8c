// bench/pyramid/PyramidBench.cpp: the steerable pyramid's analysis plus synthesis on its two paths, per
// megapixel, with the spatial path's time as a ratio of the Fourier path's in the same run.
//
// Prints one line per size after Google Benchmark's own table:
//   pyramid <w>x<h> levels=<n> spatial_ms_per_mpx=<t> fourier_ms_per_mpx=<t> ratio=<spatial/fourier>
// Times are medians of the repetitions; the Fourier path's filter spectra are built before timing
// (the wavelet tool builds them once per size).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>

#include "imaging/SteerablePyramid.h"

namespace {

struct Size {
    int w, h;
};

// Spatial correlation with the 17 x 17 filter makes large sizes slow; these cover the wavelet tool's
// preview (128 x 128 by default) up to a padded 1 Mpx area.
constexpr Size kSizes[] = {{128, 128}, {256, 256}, {512, 512}, {1024, 1024}};
constexpr int kRepetitions = 5;

// Milliseconds per megapixel of each run, by (size index, Fourier path).
std::map<std::pair<int, bool>, std::vector<double>> sRuns;

std::vector<double> Plane(int w, int h)
{
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 30.0);
    std::vector<double> plane(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            plane[static_cast<std::size_t>(y) * w + x] = 1000.0 + 5.0 * x + 3.0 * y + noise(random);
    return plane;
}

void AnalysisAndSynthesis(benchmark::State& state, int sizeIndex, bool useFT)
{
    const Size s = kSizes[sizeIndex];
    const std::vector<double> in = Plane(s.w, s.h);
    std::vector<double> out(in.size());
    SteerablePyramid pyramid;
    pyramid.DoFullWaveletAnalysis(in.data(), s.w, s.h, useFT, 0); // shapes it and builds the spectra
    const double megapixels = s.w * static_cast<double>(s.h) / 1e6;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        pyramid.DoFullWaveletAnalysis(in.data(), s.w, s.h, useFT, 0);
        pyramid.DoFullWaveletSynthesis(out.data(), 0);
        benchmark::DoNotOptimize(out.data());
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        sRuns[{sizeIndex, useFT}].push_back(ms / megapixels);
        state.SetIterationTime(ms / 1000.0);
    }
    state.counters["Mpx"] = megapixels;
    state.counters["levels"] = pyramid.NumLevels();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 0; i < static_cast<int>(std::size(kSizes)); ++i)
        for (bool useFT : {false, true}) {
            const std::string name = std::string("pyramid/") + (useFT ? "fourier/" : "spatial/") +
                                     std::to_string(kSizes[i].w) + "x" + std::to_string(kSizes[i].h);
            benchmark::RegisterBenchmark(name.c_str(), AnalysisAndSynthesis, i, useFT)
                ->UseManualTime()
                ->Iterations(1)
                ->Repetitions(kRepetitions)
                ->ReportAggregatesOnly(true)
                ->Unit(benchmark::kMillisecond);
        }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    for (int i = 0; i < static_cast<int>(std::size(kSizes)); ++i) {
        const auto spatial = sRuns.find({i, false});
        const auto fourier = sRuns.find({i, true});
        if (spatial == sRuns.end() || fourier == sRuns.end())
            continue; // filtered out on the command line
        const double s = Median(spatial->second), f = Median(fourier->second);
        std::printf("pyramid %dx%d levels=%d spatial_ms_per_mpx=%.1f fourier_ms_per_mpx=%.1f ratio=%.2f\n", kSizes[i].w,
                    kSizes[i].h, SteerablePyramid::DetermineNumLevels(kSizes[i].w, kSizes[i].h), s, f, s / f);
    }
    return 0;
}
