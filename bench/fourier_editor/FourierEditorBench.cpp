// bench/spectrum/FourierEditorBench.cpp: the Fourier-domain editor's
// transforms on a 1024 × 1024 stack against FFTW 3 doing the same work in the
// same process, one thread: the opening (three planes of sums placed and
// transformed forward) and one brush step's write-back (three inverse
// transforms rounded into the planes), and both together. FFTW is planned
// with FFTW_MEASURE before timing and gets the same conversions from and to
// 32-bit sums. Prints the median of 15 samples of each, alternated.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

#include <fftw3.h>

#include "imaging/FFT2D.h"
#include "imaging/FourierPicture.h"

namespace {

constexpr int kSamples = 15;
constexpr double kMinSampleMs = 40.0;

double NowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

int Repetitions(const std::function<void()>& run)
{
    const double t0 = NowMs();
    run();
    const double once = std::max(NowMs() - t0, 1e-3);
    return std::max(1, static_cast<int>(kMinSampleMs / once));
}

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

void Print(const char* what, int side, double ours, double fftw)
{
    std::printf("%s %dx%d velmora_ms=%.3f fftw_ms=%.3f ratio=%.2f\n", what, side, side, ours, fftw, ours / fftw);
    std::fflush(stdout);
}

} // namespace

int main()
{
    constexpr int kSide = 1024;
    const std::size_t n = std::size_t(kSide) * kSide;
    std::mt19937 rng(3);
    std::uniform_int_distribution<int32_t> sums(0, 255 * 50);
    std::vector<int32_t> planes[3];
    for (auto& p : planes) {
        p.resize(n);
        for (int32_t& v : p)
            v = sums(rng);
    }
    std::vector<int32_t> out[3];
    for (auto& p : out)
        p.resize(n);

    // The editor's path.
    const SpectrumSize size = SpectrumSizeFor(kSide, kSide);
    if (fft2dInit(size.log2Height, size.log2Width) != kFftInitOk) {
        std::printf("spectrum_editor fft2dInit failed\n");
        return 1;
    }
    std::vector<double> spectra[3];
    for (auto& s : spectra)
        s.resize(n);
    std::vector<double> scratch(n);
    const auto ourForward = [&] {
        for (int c = 0; c < 3; ++c) {
            PlaceSumsCentred(planes[c].data(), kSide, kSide, size, spectra[c].data());
            rfft2d(spectra[c].data(), size.log2Height, size.log2Width);
        }
    };
    const auto ourInverse = [&] {
        for (int c = 0; c < 3; ++c)
            SynthesizeSums(spectra[c].data(), size, scratch.data(), out[c].data(), kSide, kSide);
    };

    // FFTW: the same conversions around r2c and c2r.
    const std::size_t half = std::size_t(kSide) * (kSide / 2 + 1);
    double* in = fftw_alloc_real(n);
    double* back = fftw_alloc_real(n);
    fftw_complex* spectrumA[3];
    for (auto& s : spectrumA)
        s = fftw_alloc_complex(half);
    fftw_complex* work = fftw_alloc_complex(half);
    const fftw_plan fwd = fftw_plan_dft_r2c_2d(kSide, kSide, in, work, FFTW_MEASURE);
    const fftw_plan inv = fftw_plan_dft_c2r_2d(kSide, kSide, work, back, FFTW_MEASURE);
    const auto fftwForward = [&] {
        for (int c = 0; c < 3; ++c) {
            for (std::size_t i = 0; i < n; ++i)
                in[i] = planes[c][i];
            fftw_execute_dft_r2c(fwd, in, spectrumA[c]);
        }
    };
    const auto fftwInverse = [&] {
        const double scale = 1.0 / double(n);
        for (int c = 0; c < 3; ++c) {
            // c2r destroys its input, as the editor's inverse works on a copy.
            std::copy(&spectrumA[c][0][0], &spectrumA[c][0][0] + 2 * half, &work[0][0]);
            fftw_execute_dft_c2r(inv, work, back);
            for (std::size_t i = 0; i < n; ++i) {
                const double v = std::floor(back[i] * scale + 0.5);
                out[c][i] = v > 0.0 ? static_cast<int32_t>(v) : 0;
            }
        }
    };
    ourForward();
    fftwForward();

    double ours = 0, fftw = 0;
    MedianPair(ourForward, fftwForward, &ours, &fftw);
    Print("spectrum_editor_open_3planes", kSide, ours, fftw);
    MedianPair(ourInverse, fftwInverse, &ours, &fftw);
    Print("spectrum_editor_synthesis_3planes", kSide, ours, fftw);
    MedianPair(
        [&] {
            ourForward();
            ourInverse();
        },
        [&] {
            fftwForward();
            fftwInverse();
        },
        &ours, &fftw);
    Print("spectrum_editor_forward_inverse_3planes", kSide, ours, fftw);

    fftw_destroy_plan(fwd);
    fftw_destroy_plan(inv);
    fftw_free(in);
    fftw_free(back);
    for (auto& s : spectrumA)
        fftw_free(s);
    fftw_free(work);
    return 0;
}
