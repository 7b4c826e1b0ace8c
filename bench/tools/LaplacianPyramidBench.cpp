// bench/tools/LaplacianPyramidBench.cpp: the Laplacian pyramid dialog's work
// on a 1920 × 1080 summed stack (three int32 planes): building the pyramid
// (six chained Gaussian blurs and their differences), the whole-stack
// rebuild of OK, and one live step of a layer slider over the 64 × 64
// preview rectangle; against OpenCV building the same pyramid (convert to
// double, six chained Gaussian blurs with the same kernel, subtractions) and
// against a memory copy of the three planes, in the same run. Prints:
//   <op> <params>,ref=<opencv|memcpy> <w>x<h> velmora_ms=<t> ref_ms=<t> ratio=<velmora/ref>
// Every time is the fastest of kRepetitions runs; OpenCV runs on one thread,
// as the dialog does. Both builds start from memory the allocator has handed
// back to the system, as at the dialog's opening: the previous build is
// released and the heap trimmed before each run, outside the time (else the
// allocator hands OpenCV its last run's pages again, already mapped, while
// ours come fresh). The build_warm line times both builds again with the
// allocator keeping the pages of the run before: the arithmetic alone.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <malloc.h>

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "imaging/GaussianBlur.h"
#include "imaging/LaplacianPyramid.h"

namespace {

constexpr int kW = 1920, kH = 1080, kFrames = 50;
constexpr int kRepetitions = 3;

// prepare, when given, runs before each run, untimed.
double FastestMs(const std::function<void()>& f, const std::function<void()>& prepare = {})
{
    double best = 1e300;
    for (int i = 0; i < kRepetitions; ++i) {
        if (prepare)
            prepare();
        const auto start = std::chrono::steady_clock::now();
        f();
        const auto end = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double, std::milli>(end - start).count());
    }
    return best;
}

void Line(const char* op, const std::string& params, double ours, const char* ref, double refMs)
{
    std::printf("%s %s,ref=%s %dx%d velmora_ms=%.3f ref_ms=%.3f ratio=%.2f\n", op, params.c_str(), ref, kW, kH, ours,
                refMs, ours / refMs);
}

struct Stack {
    Stack()
    {
        std::mt19937 random(5);
        std::uniform_int_distribution<int32_t> sum(0, 255 * kFrames);
        for (auto& p : planes) {
            p.resize(static_cast<std::size_t>(kW) * kH);
            for (int32_t& v : p)
                v = sum(random);
        }
    }
    ConstSumPlanes View() const { return {planes[0].data(), planes[1].data(), planes[2].data(), kW, kH}; }
    SumPlanes View() { return {planes[0].data(), planes[1].data(), planes[2].data(), kW, kH}; }
    std::vector<int32_t> planes[3];
};

// OpenCV's pyramid of the same radii and kernels: 7 components per channel
// into components (empty on entry), in fresh memory as the dialog's pyramid
// is (where the system is slow to hand out pages, that cost is part of
// opening the dialog).
void OpenCVPyramid(const Stack& saved, std::vector<cv::Mat>& components)
{
    components.resize(3 * kLaplacianPyramidComponents);
    for (int c = 0; c < 3; ++c) {
        const cv::Mat in(kH, kW, CV_32SC1, const_cast<int32_t*>(saved.planes[c].data()));
        cv::Mat previous, next;
        in.convertTo(previous, CV_64F);
        double radius = kLaplacianPyramidFirstRadius;
        for (int k = 0; k < kLaplacianPyramidLayers; ++k) {
            const int taps = static_cast<int>(GaussianAxisWeights(radius).size());
            const double sigma = radius / (2.0 * std::sqrt(2.0));
            cv::GaussianBlur(previous, next, cv::Size(taps, taps), sigma, sigma, cv::BORDER_REFLECT);
            cv::subtract(previous, next, components[c * kLaplacianPyramidComponents + k]);
            std::swap(previous, next);
            radius *= kLaplacianPyramidRadiusGrowth;
        }
        components[c * kLaplacianPyramidComponents + kLaplacianPyramidResidual] = previous;
    }
}

void CopyPlanes(const Stack& from, Stack& to)
{
    for (int c = 0; c < 3; ++c)
        std::memcpy(to.planes[c].data(), from.planes[c].data(), from.planes[c].size() * sizeof(int32_t));
}

} // namespace

int main(int argc, char** argv)
{
    cv::setNumThreads(1);
    benchmark::Initialize(&argc, argv);
    const Stack saved;
    Stack out;
    const double copyMs = FastestMs([&] { CopyPlanes(saved, out); });

    LaplacianPyramid pyramid;
    const double buildMs = FastestMs([&] { pyramid.Build(saved.View()); },
                                     [&] {
                                         pyramid = LaplacianPyramid();
                                         malloc_trim(0);
                                     });
    std::vector<cv::Mat> cvComponents;
    const double cvBuildMs = FastestMs([&] { OpenCVPyramid(saved, cvComponents); },
                                       [&] {
                                           cvComponents.clear();
                                           malloc_trim(0);
                                       });
    Line("laplacian_pyramid_build", "layers=6", buildMs, "opencv", cvBuildMs);
    Line("laplacian_pyramid_build", "layers=6", buildMs, "memcpy", copyMs);

    // Blocks of a plane set's size from the heap, and the heap never given
    // back: from the second run on both builds write into mapped pages.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    const double warmMs = FastestMs([&] { pyramid.Build(saved.View()); }, [&] { pyramid = LaplacianPyramid(); });
    const double cvWarmMs = FastestMs([&] { OpenCVPyramid(saved, cvComponents); }, [&] { cvComponents.clear(); });
    Line("laplacian_pyramid_build_warm", "layers=6", warmMs, "opencv", cvWarmMs);

    // One of the six blurs alone (the coarsest radius), ours and OpenCV's.
    {
        const double radius = kLaplacianPyramidFirstRadius * std::pow(kLaplacianPyramidRadiusGrowth, 5);
        DoublePlanes source(kW, kH), blurred(kW, kH);
        SumPlanesToDoubles(saved.View(), source);
        const double blurMs = FastestMs([&] {
            (void)GaussianBlurFloatArraysToFloatArrays(radius, kH, kW, source.Rows(0), source.Rows(1), source.Rows(2),
                                                       blurred.Rows(0), blurred.Rows(1), blurred.Rows(2));
        });
        const int taps = static_cast<int>(GaussianAxisWeights(radius).size());
        const double sigma = radius / (2.0 * std::sqrt(2.0));
        std::vector<cv::Mat> in(3), out(3);
        for (int c = 0; c < 3; ++c)
            cv::Mat(kH, kW, CV_32SC1, const_cast<int32_t*>(saved.planes[c].data())).convertTo(in[c], CV_64F);
        const double cvBlurMs = FastestMs([&] {
            for (int c = 0; c < 3; ++c)
                cv::GaussianBlur(in[c], out[c], cv::Size(taps, taps), sigma, sigma, cv::BORDER_REFLECT);
        });
        Line("laplacian_pyramid_one_blur", "radius=8.07", blurMs, "opencv", cvBlurMs);
    }

    // OK: the whole stack summed anew and written back through the threshold.
    const double gains[kLaplacianPyramidComponents] = {4.0, 3.0, 2.0, 1.5, 1.0, 1.0, 1.0};
    const Rect whole = MakeRect(0, 0, kH, kW);
    const double okMs = FastestMs([&] {
        pyramid.Reconstruct(gains, whole, true);
        pyramid.WriteBack(saved.View(), whole, 40, double(kFrames), out.View());
    });
    Line("laplacian_pyramid_ok", "rect=whole", okMs, "memcpy", copyMs);

    // One live step of a layer slider: that layer out and in again over the
    // preview rectangle, and the write-back.
    const Rect preview = MakeRect(0, 0, 64, 64);
    double live[kLaplacianPyramidComponents];
    std::copy(std::begin(gains), std::end(gains), live);
    pyramid.Reconstruct(live, preview, true);
    const double stepMs = FastestMs([&] {
        for (int i = 0; i < 100; ++i) {
            live[1] = 3.0 + 0.1 * i;
            pyramid.Reconstruct(live, preview, false);
            pyramid.WriteBack(saved.View(), preview, 40, double(kFrames), out.View());
        }
    });
    Line("laplacian_pyramid_preview_step_x100", "rect=64x64", stepMs, "memcpy", copyMs);
    benchmark::Shutdown();
    return 0;
}
