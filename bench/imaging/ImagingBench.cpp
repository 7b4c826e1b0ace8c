// bench/imaging/ImagingBench.cpp: the image operations against OpenCV's equivalents and
// against a plain memory copy of the same image, in the same run. Prints one
// line per comparison:
//   <op> <params> <w>x<h> velmora_ms=<t> ref_ms=<t> ratio=<velmora/ref>
// where params ends in ref=opencv or ref=memcpy. OpenCV runs on one thread,
// as each of our operations does (jobs run one image per worker). Times are
// the fastest of a few repetitions.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "imaging/Demosaic.h"
#include "imaging/GaussianBlur.h"
#include "imaging/MedianFilter.h"
#include "imaging/Resample.h"
#include "imaging/Rotation.h"
#include "platform/core/GWorldWrapper.h"

namespace {

struct Size {
    int w, h;
};
constexpr Size kSizes[] = {{640, 480}, {1920, 1080}};

std::string SizeText(Size s)
{
    return std::to_string(s.w) + "x" + std::to_string(s.h);
}

// A depth-32 image of noise from a fixed seed.
std::unique_ptr<GWorldWrapper> NoiseImage(Size s, uint32_t seed)
{
    auto image = std::make_unique<GWorldWrapper>(32, MakeRect(0, 0, s.h, s.w), -1);
    std::mt19937 random(seed);
    for (int y = 0; y < s.h; ++y) {
        uint8_t* row = image->PixelRow(y);
        for (int i = 0; i < 4 * s.w; ++i)
            row[i] = static_cast<uint8_t>(random() >> 24);
    }
    return image;
}

void CopyImage(const GWorldWrapper& from, GWorldWrapper& to)
{
    for (int y = 0; y < from.Height(); ++y)
        std::memcpy(to.PixelRow(y), from.PixelRow(y), 4 * static_cast<std::size_t>(from.Width()));
}

// Three planes of doubles with row pointers.
struct Planes {
    Planes(Size s, uint32_t seed) : size(s)
    {
        std::mt19937 random(seed);
        std::uniform_real_distribution<double> value(0.0, 255.0);
        for (int c = 0; c < 3; ++c) {
            data[c].resize(static_cast<std::size_t>(s.w) * s.h);
            for (double& v : data[c])
                v = value(random);
            for (int y = 0; y < s.h; ++y)
                rows[c].push_back(data[c].data() + static_cast<std::size_t>(y) * s.w);
        }
    }
    cv::Mat Mat(int c) { return cv::Mat(size.h, size.w, CV_64FC1, data[c].data()); }
    Size size;
    std::vector<double> data[3];
    std::vector<double*> rows[3];
};

// One comparison: our operation, the reference, and the memory copy, each a
// benchmark of its own; times are collected by name.
struct Comparison {
    std::string op, params, size;
};
std::vector<Comparison> gComparisons;
// Each benchmark runs this many times and the fastest run counts, which keeps
// other load on the machine out of the ratios as far as possible.
constexpr int kRepetitions = 3;
std::map<std::string, double> gMilliseconds;

std::string Key(const Comparison& c, const char* who)
{
    return c.op + "/" + c.params + "/" + c.size + "/" + who;
}

void Register(const Comparison& c, std::function<void(benchmark::State&)> ours,
              std::function<void(benchmark::State&)> reference, std::function<void(benchmark::State&)> copy)
{
    gComparisons.push_back(c);
    for (auto [who, f] : {std::pair{"velmora", ours}, std::pair{"opencv", reference}, std::pair{"memcpy", copy}})
        benchmark::RegisterBenchmark(Key(c, who).c_str(), f)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Repetitions(kRepetitions)
            ->ReportAggregatesOnly(false);
}

class Collector final : public benchmark::BenchmarkReporter {
public:
    bool ReportContext(const Context&) override { return true; }
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                const auto [at, fresh] = gMilliseconds.emplace(run.run_name.function_name, run.GetAdjustedRealTime());
                if (!fresh)
                    at->second = std::min(at->second, run.GetAdjustedRealTime());
            }
    }
};

void RegisterGaussianBlur()
{
    for (Size s : kSizes) {
        auto in = std::make_shared<Planes>(s, 1), out = std::make_shared<Planes>(s, 2);
        for (double radius : {1.0, 5.0, 20.0}) {
            // The same kernel: weights e^(-(2d/r)^2) = e^(-d^2 / (2 sigma^2)).
            const int taps = static_cast<int>(GaussianAxisWeights(radius).size());
            const double sigma = radius / (2.0 * std::sqrt(2.0));
            const Comparison c{"gaussian_blur", "radius=" + std::to_string(static_cast<int>(radius)), SizeText(s)};
            Register(
                c,
                [=](benchmark::State& state) {
                    for (auto _ : state)
                        GaussianBlurFloatArraysToFloatArrays(radius, s.h, s.w, in->rows[0].data(), in->rows[1].data(),
                                                             in->rows[2].data(), out->rows[0].data(),
                                                             out->rows[1].data(), out->rows[2].data());
                },
                [=](benchmark::State& state) {
                    for (auto _ : state)
                        for (int p = 0; p < 3; ++p) {
                            cv::Mat dst = out->Mat(p);
                            cv::GaussianBlur(in->Mat(p), dst, cv::Size(taps, taps), sigma, sigma);
                        }
                },
                [=](benchmark::State& state) {
                    for (auto _ : state)
                        for (int p = 0; p < 3; ++p)
                            std::memcpy(out->data[p].data(), in->data[p].data(), in->data[p].size() * sizeof(double));
                });
        }
    }
}

void RegisterMedian()
{
    for (Size s : kSizes)
        for (int radius : {1, 3}) {
            auto source = std::shared_ptr<GWorldWrapper>(NoiseImage(s, 3));
            auto work = std::shared_ptr<GWorldWrapper>(NoiseImage(s, 3));
            const Comparison c{"median", "radius=" + std::to_string(radius) + ",threshold=256", SizeText(s)};
            Register(
                c,
                [=](benchmark::State& state) {
                    for (auto _ : state) {
                        state.PauseTiming();
                        CopyImage(*source, *work);
                        state.ResumeTiming();
                        MedianFilterImage(*work, radius, 256);
                    }
                },
                [=](benchmark::State& state) {
                    cv::Mat src(s.h, s.w, CV_8UC4, source->PixelRow(0), source->GetSrcRowBytes());
                    cv::Mat dst(s.h, s.w, CV_8UC4);
                    for (auto _ : state)
                        cv::medianBlur(src, dst, 2 * radius + 1);
                },
                [=](benchmark::State& state) {
                    for (auto _ : state)
                        CopyImage(*source, *work);
                });
        }
}

void RegisterDemosaic()
{
    const std::pair<DebayerMethod, const char*> methods[] = {
        {kDebayerNearestNeighbor, "nearest"}, {kDebayerBilinear, "bilinear"}, {kDebayerLaplacian, "laplacian"}};
    for (Size s : kSizes)
        for (auto [method, name] : methods) {
            auto source = std::shared_ptr<GWorldWrapper>(NoiseImage(s, 4));
            auto work = std::shared_ptr<GWorldWrapper>(NoiseImage(s, 4));
            auto mosaic = std::make_shared<cv::Mat>(s.h, s.w, CV_8UC1);
            for (int y = 0; y < s.h; ++y)
                for (int x = 0; x < s.w; ++x)
                    mosaic->at<uint8_t>(y, x) = source->PixelRow(y)[4 * x + 2];
            // OpenCV's plain Bayer conversion is bilinear; its edge-aware one
            // stands against the Laplacian method.
            const int code = method == kDebayerLaplacian ? cv::COLOR_BayerGR2RGB_EA : cv::COLOR_BayerGR2RGB;
            const Comparison c{"demosaic", std::string("method=") + name, SizeText(s)};
            Register(
                c,
                [=](benchmark::State& state) {
                    for (auto _ : state) {
                        state.PauseTiming();
                        CopyImage(*source, *work);
                        state.ResumeTiming();
                        DebayerizeImageFromGreenChannel(*work, kBayerGRBG, method);
                    }
                },
                [=](benchmark::State& state) {
                    cv::Mat dst(s.h, s.w, CV_8UC3);
                    for (auto _ : state)
                        cv::cvtColor(*mosaic, dst, code);
                },
                [=](benchmark::State& state) {
                    for (auto _ : state)
                        CopyImage(*source, *work);
                });
        }
}

void RegisterResample()
{
    for (Size s : kSizes)
        for (double scale : {0.5, 2.0})
            for (bool smooth : {false, true}) {
                auto source = std::shared_ptr<GWorldWrapper>(NoiseImage(s, 5));
                auto work = std::shared_ptr<GWorldWrapper>(NoiseImage(s, 5));
                const Comparison c{"resample",
                                   std::string("scale=") + (scale < 1 ? "0.5" : "2") +
                                       (smooth ? ",method=bilinear" : ",method=nearest"),
                                   SizeText(s)};
                // Our smoothing resample is a stretch and a 5-point mean;
                // OpenCV's area resampling is its nearest counterpart.
                const int interpolation = smooth ? cv::INTER_AREA : cv::INTER_NEAREST;
                Register(
                    c,
                    [=](benchmark::State& state) {
                        for (auto _ : state) {
                            state.PauseTiming();
                            *work = *source;
                            state.ResumeTiming();
                            const bool done = smooth ? ResampleImageBilinear(work.get(), scale)
                                                     : ResampleNearestNeighbor(work.get(), scale);
                            benchmark::DoNotOptimize(done);
                        }
                    },
                    [=](benchmark::State& state) {
                        // Each call makes a fresh result of the new size and
                        // frees the one before, as ours does: our image takes
                        // its new size and gives up its old pixels.
                        cv::Mat src(s.h, s.w, CV_8UC4, source->PixelRow(0), source->GetSrcRowBytes());
                        for (auto _ : state) {
                            cv::Mat dst;
                            cv::resize(src, dst, cv::Size(), scale, scale, interpolation);
                            benchmark::DoNotOptimize(dst.data);
                        }
                    },
                    [=](benchmark::State& state) {
                        for (auto _ : state)
                            *work = *source; // back to the source's size, then a copy
                    });
            }
}

void RegisterRotation()
{
    constexpr double kAngle = 0.3; // radians
    for (Size s : kSizes)
        for (bool bilinear : {false, true}) {
            auto source = std::shared_ptr<GWorldWrapper>(NoiseImage(s, 6));
            auto work = std::shared_ptr<GWorldWrapper>(NoiseImage(s, 6));
            const Comparison c{"rotate", std::string("angle=0.3,method=") + (bilinear ? "bilinear" : "nearest"),
                               SizeText(s)};
            Register(
                c,
                [=](benchmark::State& state) {
                    for (auto _ : state) {
                        state.PauseTiming();
                        CopyImage(*source, *work);
                        state.ResumeTiming();
                        const bool done =
                            bilinear ? RotateImageBilinear(*work, kAngle) : RotateImageNearestNeighbor(*work, kAngle);
                        benchmark::DoNotOptimize(done);
                    }
                },
                [=](benchmark::State& state) {
                    cv::Mat src(s.h, s.w, CV_8UC4, source->PixelRow(0), source->GetSrcRowBytes());
                    cv::Mat dst;
                    const cv::Mat m =
                        cv::getRotationMatrix2D(cv::Point2f(s.w * 0.5f, s.h * 0.5f), -kAngle * 180.0 / M_PI, 1.0);
                    for (auto _ : state)
                        cv::warpAffine(src, dst, m, src.size(), bilinear ? cv::INTER_LINEAR : cv::INTER_NEAREST);
                },
                [=](benchmark::State& state) {
                    for (auto _ : state)
                        CopyImage(*source, *work);
                });
        }
}

} // namespace

int main(int argc, char** argv)
{
    cv::setNumThreads(1);
    benchmark::Initialize(&argc, argv);
    RegisterGaussianBlur();
    RegisterMedian();
    RegisterDemosaic();
    RegisterResample();
    RegisterRotation();
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    for (const Comparison& c : gComparisons) {
        const auto ours = gMilliseconds.find(Key(c, "velmora"));
        if (ours == gMilliseconds.end())
            continue; // filtered out
        for (const char* who : {"opencv", "memcpy"}) {
            const auto ref = gMilliseconds.find(Key(c, who));
            if (ref == gMilliseconds.end())
                continue;
            std::printf("%s %s,ref=%s %s velmora_ms=%.3f ref_ms=%.3f ratio=%.2f\n", c.op.c_str(), c.params.c_str(), who,
                        c.size.c_str(), ours->second, ref->second, ours->second / ref->second);
        }
    }
    benchmark::Shutdown();
    return 0;
}
