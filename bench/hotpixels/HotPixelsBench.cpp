// bench/hotpixels/HotPixelsBench.cpp: the hot-pixel mask (threshold and the
// disc around each hot pixel) against OpenCV doing the same (largest channel,
// threshold, dilation by the same disc) and against a plain memory copy of
// the image, in the same run. Prints one line per comparison:
//   hotpixels radius=<r> hot=<share> <w>x<h> velmora_ms=<t> opencv_ms=<t> ratio=<velmora/opencv>
//       memcpy_ms=<t> ratio_memcpy=<velmora/memcpy>
// Times are the fastest of several repetitions, on one thread (the dialog
// runs on the main thread).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "imaging/HotPixels.h"
#include "platform/core/GWorldWrapper.h"

namespace {

constexpr int kRepetitions = 15;
constexpr int kThreshold = 200;

struct Size {
    int w, h;
};

// Dim noise with a share of pixels (in 1/1000) bright in one channel.
std::unique_ptr<GWorldWrapper> SensorImage(Size s, int perMille, uint32_t seed)
{
    auto image = std::make_unique<GWorldWrapper>(32, MakeRect(0, 0, s.h, s.w), -1);
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> dim(0, 90), bright(kThreshold, 255), chance(0, 999), channel(1, 3);
    for (int y = 0; y < s.h; ++y) {
        uint8_t* row = image->PixelRow(y);
        for (int x = 0; x < s.w; ++x) {
            uint8_t* p = row + 4 * x;
            p[0] = 0xFF;
            for (int c = 1; c <= 3; ++c)
                p[c] = static_cast<uint8_t>(dim(random));
            if (chance(random) < perMille)
                p[channel(random)] = static_cast<uint8_t>(bright(random));
        }
    }
    return image;
}

double FastestMs(const std::function<void()>& run)
{
    double best = 1e30;
    for (int i = 0; i < kRepetitions; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run();
        const auto end = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double, std::milli>(end - start).count());
    }
    return best;
}

} // namespace

int main()
{
    for (Size s : {Size{640, 480}, Size{1920, 1080}}) {
        for (int perMille : {2, 50}) {
            auto image = SensorImage(s, perMille, 7);
            // OpenCV sees the same bytes as a 4-channel matrix.
            cv::Mat argb(s.h, s.w, CV_8UC4, image->GetPixBaseAddr(), static_cast<std::size_t>(image->GetSrcRowBytes()));
            std::vector<uint8_t> mask(static_cast<std::size_t>(s.w) * s.h);
            cv::Mat planes[4], largest, hot, dilated;
            auto copy = std::make_unique<GWorldWrapper>(32, image->GetDim(), -1);
            const double memcpyMs = FastestMs([&] {
                for (int y = 0; y < s.h; ++y)
                    std::memcpy(copy->PixelRow(y), image->PixelRow(y), 4 * static_cast<std::size_t>(s.w));
                benchmark::DoNotOptimize(copy->GetPixBaseAddr());
            });
            for (int radius = 0; radius <= 3; ++radius) {
                const double ours = FastestMs([&] {
                    MarkHotPixels(*image, HotPixelParams{kThreshold, radius}, mask.data(), s.w, s.h);
                    benchmark::DoNotOptimize(mask.data());
                });
                cv::Mat disc = cv::Mat::zeros(2 * radius + 1, 2 * radius + 1, CV_8U);
                for (int dy = -radius; dy <= radius; ++dy)
                    for (int dx = -radius; dx <= radius; ++dx)
                        if (dy * dy + dx * dx <= HotPixelDiscLimit(radius))
                            disc.at<uint8_t>(dy + radius, dx + radius) = 1;
                const double reference = FastestMs([&] {
                    cv::split(argb, planes);
                    cv::max(planes[1], planes[2], largest);
                    cv::max(largest, planes[3], largest);
                    cv::threshold(largest, hot, kThreshold - 1, 1, cv::THRESH_BINARY);
                    cv::dilate(hot, dilated, disc);
                    benchmark::DoNotOptimize(dilated.data);
                });
                std::printf("hotpixels radius=%d hot=%.3f %dx%d velmora_ms=%.3f opencv_ms=%.3f ratio=%.2f "
                            "memcpy_ms=%.3f ratio_memcpy=%.2f\n",
                            radius, perMille / 1000.0, s.w, s.h, ours, reference, ours / reference, memcpyMs,
                            ours / memcpyMs);
            }
        }
    }
    return 0;
}
