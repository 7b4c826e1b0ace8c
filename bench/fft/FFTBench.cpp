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

// Time of one call of run, from reps calls in a row.
double SampleMs(const std::function<void()>& run, int reps)
{
    const double t0 = NowMs();
    for (int i = 0; i < reps; ++i)
        run();
    return (NowMs() - t0) / reps;
}

double Median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

// Median time of one call of each, sampled alternately so that both see the
// same machine state.
void MedianPair(const std::function<void()>& a, const std::function<void()>& b, double* msA, double* msB)
{
    const int repsA = Repetitions(a), repsB = Repetitions(b);
    std::vector<double> ta, tb;
    for (int s = 0; s < kSamples; ++s) {
        ta.push_back(SampleMs(a, repsA));
        tb.push_back(SampleMs(b, repsB));
    }
    *msA = Median(ta);
    *msB = Median(tb);
}

// Times ours against fftw and prints one line: the name, the size, both
// medians and their ratio, then note.
void ReportPair(const char* name, int rows, int cols, const char* note, const std::function<void()>& ours,
                const std::function<void()>& fftw)
{
    double msOurs = 0, msFftw = 0;
    MedianPair(ours, fftw, &msOurs, &msFftw);
    std::printf("%s %dx%d velmora_ms=%.3f fftw_ms=%.3f ratio=%.2f%s\n", name, rows, cols, msOurs, msFftw,
                msOurs / msFftw, note);
    std::fflush(stdout);
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

// FFTW's buffers for a forward and inverse real transform of n values, whose
// spectrum holds spectrumValues complex values; the two plans made on them
// go with them.
struct RealFftwPair {
    RealFftwPair(size_t n, size_t spectrumValues)
        : n(n), in(fftw_alloc_real(n)), back(fftw_alloc_real(n)), spectrum(fftw_alloc_complex(spectrumValues))
    {
    }
    ~RealFftwPair()
    {
        fftw_destroy_plan(fwd);
        fftw_destroy_plan(inv);
        fftw_free(in);
        fftw_free(back);
        fftw_free(spectrum);
    }
    RealFftwPair(const RealFftwPair&) = delete;
    RealFftwPair& operator=(const RealFftwPair&) = delete;

    // The input the timing transforms; after planning, which may overwrite it.
    void FillInput() const
    {
        const std::vector<double> data = Random(n);
        std::copy(data.begin(), data.end(), in);
    }
    void Run() const
    {
        fftw_execute(fwd);
        fftw_execute(inv);
    }

    size_t n;
    double* in;
    double* back;
    fftw_complex* spectrum;
    fftw_plan fwd = nullptr;
    fftw_plan inv = nullptr;
};

void Bench2D(int rows, int cols)
{
    const int M2 = Log2(rows), M = Log2(cols);
    if (fft2dInit(M2, M) != kFftInitOk) {
        std::printf("fft2d_real %dx%d fft2dInit failed\n", rows, cols);
        return;
    }
    const size_t n = static_cast<size_t>(rows) * cols;
    std::vector<double> ours = Random(n);
    RealFftwPair fftw(n, static_cast<size_t>(rows) * (cols / 2 + 1));
    fftw.fwd = fftw_plan_dft_r2c_2d(rows, cols, fftw.in, fftw.spectrum, FFTW_MEASURE);
    fftw.inv = fftw_plan_dft_c2r_2d(rows, cols, fftw.spectrum, fftw.back, FFTW_MEASURE);
    fftw.FillInput();
    ReportPair(
        "fft2d_real", rows, cols, "",
        [&] {
            rfft2d(ours.data(), M2, M);
            rifft2d(ours.data(), M2, M);
        },
        [&] { fftw.Run(); });
}

void BenchRealRows(int rows, int cols)
{
    const int M = Log2(cols);
    if (fftInit(M) != kFftInitOk)
        return;
    const size_t n = static_cast<size_t>(rows) * cols;
    std::vector<double> ours = Random(n);
    RealFftwPair fftw(n, static_cast<size_t>(rows) * (cols / 2 + 1));
    const int len[1] = {cols};
    fftw.fwd = fftw_plan_many_dft_r2c(1, len, rows, fftw.in, nullptr, 1, cols, fftw.spectrum, nullptr, 1, cols / 2 + 1,
                                      FFTW_ESTIMATE);
    fftw.inv = fftw_plan_many_dft_c2r(1, len, rows, fftw.spectrum, nullptr, 1, cols / 2 + 1, fftw.back, nullptr, 1,
                                      cols, FFTW_ESTIMATE);
    fftw.FillInput();
    ReportPair(
        "rffts_riffts", rows, cols, " (diagnostic)",
        [&] {
            rffts(ours.data(), M, rows);
            riffts(ours.data(), M, rows);
        },
        [&] { fftw.Run(); });
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
    ReportPair(
        "ffts_iffts", rows, points, " (diagnostic)",
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
        });
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
        for (int s = 0; s < kSamples - 2; ++s) // the spatial path is slow: fewer samples, one run each
            t.push_back(SampleMs(
                [&] {
                    pyramid.DoFullWaveletAnalysis(in.data(), w, h, useFT, 0);
                    pyramid.DoFullWaveletSynthesis(out.data(), 0);
                },
                1));
        ms[useFT] = Median(t) / megapixels;
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
