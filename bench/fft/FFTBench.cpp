// bench/fft/FFTBench.cpp: the FFT library against FFTW 3 in the same process,
// one thread. Prints one line per size for a 2-D real forward+inverse pair
// (median of at least 5 runs, FFTW planned with FFTW_MEASURE before timing),
// then diagnostic ratios of the batched one-dimensional transforms.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

#include <fftw3.h>

#include "imaging/FFT.h"
#include "imaging/FFT2D.h"
#include "imaging/SteerablePyramid.h"

namespace {

constexpr int kSamples = 15;          // median of these
constexpr double kMinSampleMs = 40.0; // each sample repeats the pair this long

double NowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// Repetitions that make one sample last at least kMinSampleMs.
int Repetitions(const std::function<void()>& run)
{
    const double t0 = NowMs();
    run();
    const double once = std::max(NowMs() - t0, 1e-3);
    return std::max(1, static_cast<int>(kMinSampleMs / once));
}

// Median time of one call of each, sampled alternately so that both see the
// same machine state.
void MedianPair(const std::function<void()>& a, const std::function<void()>& b, double* msA, double* msB)
{
    const int repsA = Repetitions(a), repsB = Repetitions(b);
    std::vector<double> ta, tb;
    for (int s = 0; s < kSamples; ++s) {
        double t0 = NowMs();
        for (int i = 0; i < repsA; ++i)
            a();
        ta.push_back((NowMs() - t0) / repsA);
        t0 = NowMs();
        for (int i = 0; i < repsB; ++i)
            b();
        tb.push_back((NowMs() - t0) / repsB);
    }
    std::sort(ta.begin(), ta.end());
    std::sort(tb.begin(), tb.end());
    *msA = ta[kSamples / 2];
    *msB = tb[kSamples / 2];
}

std::vector<double> Random(size_t n)
{
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> d(0.0, 1.0);
    std::vector<double> v(n);
    for (double& x : v)
        x = d(rng);
    return v;
}

int Log2(int n)
{
    int m = 0;
    while ((1 << m) < n)
        ++m;
    return m;
}

void Bench2D(int rows, int cols)
{
    const int M2 = Log2(rows), M = Log2(cols);
    if (fft2dInit(M2, M) != kFftInitOk) {
        std::printf("fft2d_real %dx%d fft2dInit failed\n", rows, cols);
        return;
    }
    const size_t n = static_cast<size_t>(rows) * cols;
    std::vector<double> ours = Random(n);

    double* in = fftw_alloc_real(n);
    double* back = fftw_alloc_real(n);
    fftw_complex* spectrum = fftw_alloc_complex(static_cast<size_t>(rows) * (cols / 2 + 1));
    fftw_plan fwd = fftw_plan_dft_r2c_2d(rows, cols, in, spectrum, FFTW_MEASURE);
    fftw_plan inv = fftw_plan_dft_c2r_2d(rows, cols, spectrum, back, FFTW_MEASURE);
    const std::vector<double> data = Random(n);
    std::copy(data.begin(), data.end(), in);

    double msOurs = 0, msFftw = 0;
    MedianPair(
        [&] {
            rfft2d(ours.data(), M2, M);
            rifft2d(ours.data(), M2, M);
        },
        [&] {
            fftw_execute(fwd);
            fftw_execute(inv);
        },
        &msOurs, &msFftw);
    std::printf("fft2d_real %dx%d velmora_ms=%.3f fftw_ms=%.3f ratio=%.2f\n", rows, cols, msOurs, msFftw,
                msOurs / msFftw);
    std::fflush(stdout);
    fftw_destroy_plan(fwd);
    fftw_destroy_plan(inv);
    fftw_free(in);
    fftw_free(back);
    fftw_free(spectrum);
}

void BenchRealRows(int rows, int cols)
{
    const int M = Log2(cols);
    if (fftInit(M) != kFftInitOk)
        return;
    const size_t n = static_cast<size_t>(rows) * cols;
    std::vector<double> ours = Random(n);
    double* in = fftw_alloc_real(n);
    double* back = fftw_alloc_real(n);
    fftw_complex* spectrum = fftw_alloc_complex(static_cast<size_t>(rows) * (cols / 2 + 1));
    const int len[1] = {cols};
    fftw_plan fwd =
        fftw_plan_many_dft_r2c(1, len, rows, in, nullptr, 1, cols, spectrum, nullptr, 1, cols / 2 + 1, FFTW_ESTIMATE);
    fftw_plan inv =
        fftw_plan_many_dft_c2r(1, len, rows, spectrum, nullptr, 1, cols / 2 + 1, back, nullptr, 1, cols, FFTW_ESTIMATE);
    const std::vector<double> data = Random(n);
    std::copy(data.begin(), data.end(), in);
    double msOurs = 0, msFftw = 0;
    MedianPair(
        [&] {
            rffts(ours.data(), M, rows);
            riffts(ours.data(), M, rows);
        },
        [&] {
            fftw_execute(fwd);
            fftw_execute(inv);
        },
        &msOurs, &msFftw);
    std::printf("rffts_riffts %dx%d velmora_ms=%.3f fftw_ms=%.3f ratio=%.2f (diagnostic)\n", rows, cols, msOurs, msFftw,
                msOurs / msFftw);
    fftw_destroy_plan(fwd);
    fftw_destroy_plan(inv);
    fftw_free(in);
    fftw_free(back);
    fftw_free(spectrum);
}

void BenchComplexRows(int rows, int points)
{
    const int M = Log2(points);
    if (fftInit(M) != kFftInitOk)
        return;
    const size_t n = static_cast<size_t>(rows) * points;
    std::vector<double> ours = Random(2 * n);
    fftw_complex* a = fftw_alloc_complex(n);
    fftw_complex* b = fftw_alloc_complex(n);
    const int len[1] = {points};
    fftw_plan fwd =
        fftw_plan_many_dft(1, len, rows, a, nullptr, 1, points, b, nullptr, 1, points, FFTW_FORWARD, FFTW_ESTIMATE);
    fftw_plan inv =
        fftw_plan_many_dft(1, len, rows, b, nullptr, 1, points, a, nullptr, 1, points, FFTW_BACKWARD, FFTW_ESTIMATE);
    const std::vector<double> data = Random(2 * n);
    for (size_t i = 0; i < n; ++i) {
        a[i][0] = data[2 * i];
        a[i][1] = data[2 * i + 1];
    }
    double msOurs = 0, msFftw = 0;
    MedianPair(
        [&] {
            ffts(ours.data(), M, rows);
            iffts(ours.data(), M, rows);
        },
        [&] {
            fftw_execute(fwd);
            fftw_execute(inv);
            for (size_t i = 0; i < n; ++i) { // keep the values bounded as ours are
                a[i][0] *= 1.0 / points;
                a[i][1] *= 1.0 / points;
            }
        },
        &msOurs, &msFftw);
    std::printf("ffts_iffts %dx%d velmora_ms=%.3f fftw_ms=%.3f ratio=%.2f (diagnostic)\n", rows, points, msOurs, msFftw,
                msOurs / msFftw);
    fftw_destroy_plan(fwd);
    fftw_destroy_plan(inv);
    fftw_free(a);
    fftw_free(b);
}

// The steerable pyramid's analysis plus synthesis of one plane, which is
// where the program spends its FFT time, per megapixel on both paths.
void BenchPyramid(int w, int h)
{
    const std::vector<double> in = Random(static_cast<size_t>(w) * h);
    std::vector<double> out(in.size());
    const double megapixels = static_cast<double>(w) * h / 1e6;
    double ms[2] = {0, 0};
    for (bool useFT : {false, true}) {
        SteerablePyramid pyramid;
        pyramid.DoFullWaveletAnalysis(in.data(), w, h, useFT, 0); // sizes it; builds the filter spectra
        std::vector<double> t;
        for (int s = 0; s < kSamples - 2; ++s) { // 5 runs: the spatial path is slow
            const double t0 = NowMs();
            pyramid.DoFullWaveletAnalysis(in.data(), w, h, useFT, 0);
            pyramid.DoFullWaveletSynthesis(out.data(), 0);
            t.push_back(NowMs() - t0);
        }
        std::sort(t.begin(), t.end());
        ms[useFT] = t[t.size() / 2] / megapixels;
    }
    std::printf("pyramid %dx%d spatial_ms_per_mpx=%.1f fourier_ms_per_mpx=%.1f\n", w, h, ms[0], ms[1]);
}

} // namespace

int main()
{
    const int sizes[][2] = {{256, 256}, {1024, 512}, {2048, 1024}, {2048, 2048}, {4096, 4096}};
    for (const auto& s : sizes)
        Bench2D(s[0], s[1]);
    BenchRealRows(512, 1024);
    BenchComplexRows(256, 2048);
    BenchPyramid(256, 256);
    BenchPyramid(1024, 1024);
    return 0;
}
