// bench/tools/WaveletThresholdBench.cpp: the wavelet noise reduction of a whole 1024 x 1024 stack (three
// planes: copy, analysis, soft thresholding, synthesis, write-back, as OK does) against FFTW's forward
// and inverse real transforms of one 1024 x 1024 plane, measured in the same run.
//
// Prints one line:
//   wavelet 1024x1024 levels=<n> ms=<t> fftw_pair_ms=<t> ratio=<wavelet/fftw pair>
// Times are medians of the repetitions; the filter spectra and FFTW's plans are made before timing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include <fftw3.h>

#include "imaging/WaveletThreshold.h"

namespace {

constexpr int kSide = 1024;
constexpr int kRepetitions = 7;

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <class F> double TimeMs(F&& f)
{
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main()
{
    const std::size_t n = static_cast<std::size_t>(kSide) * kSide;
    std::vector<int32_t> planes[3];
    std::mt19937 random(3);
    std::uniform_int_distribution<int32_t> noise(0, 400);
    for (int c = 0; c < 3; ++c) {
        planes[c].resize(n);
        for (std::size_t k = 0; k < n; ++k)
            planes[c][k] = 1000 + static_cast<int32_t>(k % kSide) + noise(random);
    }
    std::vector<int32_t> out[3] = {planes[0], planes[1], planes[2]};
    const ConstSumPlanes saved{planes[0].data(), planes[1].data(), planes[2].data(), kSide, kSide};
    const SumPlanes live{out[0].data(), out[1].data(), out[2].data(), kSide, kSide};
    const Rect whole = MakeRect(0, 0, kSide, kSide);
    const double percents[] = {1.0, 2.0, 1.0, 0.5};

    WaveletThresholdPlanes wavelet;
    auto denoise = [&] {
        wavelet.Prepare(saved, whole, false);
        wavelet.Analyse();
        wavelet.Synthesise(WaveletThresholdList(percents, 4, wavelet.NumLevels()), saved, live);
    };
    denoise(); // builds the filter spectra of this size

    std::vector<double> real(n);
    for (std::size_t k = 0; k < n; ++k)
        real[k] = planes[0][k];
    fftw_complex* spectrum = fftw_alloc_complex(static_cast<std::size_t>(kSide) * (kSide / 2 + 1));
    fftw_plan forward = fftw_plan_dft_r2c_2d(kSide, kSide, real.data(), spectrum, FFTW_MEASURE);
    fftw_plan inverse = fftw_plan_dft_c2r_2d(kSide, kSide, spectrum, real.data(), FFTW_MEASURE);
    for (std::size_t k = 0; k < n; ++k)
        real[k] = planes[0][k]; // planning with FFTW_MEASURE overwrites the arrays

    std::vector<double> waveletMs, fftwMs;
    for (int r = 0; r < kRepetitions; ++r) {
        waveletMs.push_back(TimeMs(denoise));
        fftwMs.push_back(TimeMs([&] {
            fftw_execute(forward);
            fftw_execute(inverse);
        }));
    }
    fftw_destroy_plan(forward);
    fftw_destroy_plan(inverse);
    fftw_free(spectrum);

    const double w = Median(waveletMs), f = Median(fftwMs);
    std::printf("wavelet %dx%d levels=%d ms=%.1f fftw_pair_ms=%.2f ratio=%.1f\n", kSide, kSide, wavelet.NumLevels(), w,
                f, w / f);
    return 0;
}
