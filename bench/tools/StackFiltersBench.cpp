// bench/tools/StackFiltersBench.cpp: the Gaussian blur and the unsharp mask
// of a 1920 × 1080 summed stack (three int32 planes) as the dialogs run them,
// against OpenCV doing the same work on the same planes (convert to double,
// Gaussian blur, and for the mask a weighted difference, convert back) and
// against a memory copy of the three planes, in the same run. Prints:
//   <op> <params>,ref=<opencv|memcpy> <w>x<h> velmora_ms=<t> ref_ms=<t> ratio=<velmora/ref>
// Every time is the fastest of kRepetitions runs; OpenCV runs on one thread,
// as the dialogs do.
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

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "imaging/DoublePlanes.h"
#include "imaging/GaussianBlur.h"
#include "imaging/SumPlaneFilters.h"
#include "imaging/UnsharpMask.h"

namespace {

constexpr int kW = 1920, kH = 1080, kFrames = 50;
constexpr int kRepetitions = 5;

// The fastest of kRepetitions runs of f, in milliseconds.
double FastestMs(const std::function<void()>& f)
{
    double best = 1e300;
    for (int i = 0; i < kRepetitions; ++i) {
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

void CopyPlanes(const Stack& from, Stack& to)
{
    for (int c = 0; c < 3; ++c)
        std::memcpy(to.planes[c].data(), from.planes[c].data(), from.planes[c].size() * sizeof(int32_t));
}

// OpenCV's version of the blur tool's step: sums to doubles, the same
// kernel (weights e^(-(2d/r)^2) are a normal of sigma r / (2 sqrt 2), cut to
// the same taps), back to sums.
void OpenCVBlur(const Stack& saved, Stack& out, double radius, double intensity, bool unsharp)
{
    const int taps = static_cast<int>(GaussianAxisWeights(radius).size());
    const double sigma = radius / (2.0 * std::sqrt(2.0));
    for (int c = 0; c < 3; ++c) {
        const cv::Mat in(kH, kW, CV_32SC1, const_cast<int32_t*>(saved.planes[c].data()));
        cv::Mat source, blurred;
        in.convertTo(source, CV_64F);
        cv::GaussianBlur(source, blurred, cv::Size(taps, taps), sigma, sigma, cv::BORDER_REFLECT);
        if (unsharp)
            cv::addWeighted(source, 1.0 + intensity, blurred, -intensity, 0.0, blurred);
        cv::Mat result(kH, kW, CV_32SC1, out.planes[c].data());
        blurred.convertTo(result, CV_32S);
    }
}

} // namespace

int main(int argc, char** argv)
{
    cv::setNumThreads(1);
    benchmark::Initialize(&argc, argv);
    const Stack saved;
    Stack out;
    DoublePlanes source(kW, kH), result(kW, kH), mask(kW, kH);
    const double copyMs = FastestMs([&] { CopyPlanes(saved, out); });
    for (double radius : {2.0, 20.0}) {
        const std::string r = "radius=" + std::to_string(static_cast<int>(radius));
        const double blurMs =
            FastestMs([&] { GaussianBlurSumPlanes(saved.View(), radius, source, result, out.View()); });
        const double cvBlurMs = FastestMs([&] { OpenCVBlur(saved, out, radius, 0.0, false); });
        Line("stack_gaussian_blur", r, blurMs, "opencv", cvBlurMs);
        Line("stack_gaussian_blur", r, blurMs, "memcpy", copyMs);
        // The dialog's OK: the blur at the radius, then the mask over the
        // whole stack through the ringing threshold.
        const UnsharpMaskParams params{5.0, 40, double(kFrames)};
        const double sharpenMs = FastestMs([&] {
            BlurSumPlanes(saved.View(), radius, source, result);
            UnsharpMaskSumPlanes(saved.View(), result, MakeRect(0, 0, kH, kW), params, mask, out.View());
        });
        const double cvSharpenMs = FastestMs([&] { OpenCVBlur(saved, out, radius, 5.0, true); });
        Line("stack_unsharp_mask", r + ",intensity=5", sharpenMs, "opencv", cvSharpenMs);
        Line("stack_unsharp_mask", r + ",intensity=5", sharpenMs, "memcpy", copyMs);
    }
    // One live step of an intensity drag: the mask and result of the 64 × 64
    // preview rectangle.
    BlurSumPlanes(saved.View(), 2.0, source, result);
    const Rect preview = MakeRect(0, 0, 64, 64);
    const double stepMs = FastestMs([&] {
        for (int i = 0; i < 100; ++i)
            UnsharpMaskSumPlanes(saved.View(), result, preview, {5.0 + i, 40, double(kFrames)}, mask, out.View());
    });
    Line("stack_unsharp_preview_step_x100", "rect=64x64", stepMs, "memcpy", copyMs);
    benchmark::Shutdown();
    return 0;
}
