// tests/unit/AlignClipsFixture.h: clip jobs on synthetic frames for the
// alignment tests: clips made from images, selection helpers and Gaussian
// star fields whose channels can be placed apart.
#pragma once

#include <atomic>
#include <cmath>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "engine/FrameRenderSteps.h"
#include "tests/unit/ClipJobFixture.h"

struct GaussianStar {
    double x, y, sigma, peak;
};

// Each channel (red, green, blue) is the sum of the stars moved by that
// channel's shift (v rows down, h columns right), rounded and clamped; alpha
// 255.
inline std::unique_ptr<GWorldWrapper> StarFieldImage(int width, int height, const std::vector<GaussianStar>& stars,
                                                     Point red, Point green, Point blue)
{
    auto image = MakeImage(width, height);
    const Point shifts[3] = {red, green, blue};
    for (int y = 0; y < height; ++y) {
        uint8_t* p = image->PixelRow(y);
        for (int x = 0; x < width; ++x) {
            p[4 * x] = 0xFF;
            for (int c = 0; c < 3; ++c) {
                double sum = 0.0;
                for (const GaussianStar& s : stars) {
                    const double dx = x - s.x - shifts[c].h, dy = y - s.y - shifts[c].v;
                    sum += s.peak * std::exp(-(dx * dx + dy * dy) / (2.0 * s.sigma * s.sigma));
                }
                p[4 * x + 1 + c] = static_cast<uint8_t>(std::lround(std::min(sum, 255.0)));
            }
        }
    }
    return image;
}

inline Point Negated(Point p)
{
    return MakePoint(static_cast<int16_t>(-p.v), static_cast<int16_t>(-p.h));
}

// A progress window whose status the test sets.
class SettableStatusWindow final : public JobProgressWindow {
public:
    explicit SettableStatusWindow(std::shared_ptr<std::atomic<int>> s) : mStatus(std::move(s)) {}
    std::shared_ptr<const std::atomic<int>> Status() const override { return mStatus; }
    void Step() override {}

private:
    std::shared_ptr<std::atomic<int>> mStatus;
};

// Render steps that cancel the job the first time a render moves green.
struct CancelWhenGreenMoves {
    FrameRenderSteps steps = DefaultFrameRenderSteps();
    std::shared_ptr<std::atomic<int>> status = std::make_shared<std::atomic<int>>(0);
    CancelWhenGreenMoves()
    {
        steps.translate = [this](GWorldWrapper& image, Point red, Point green, Point blue) {
            if (green != Point{})
                status->store(2);
            DefaultFrameRenderSteps().translate(image, red, green, blue);
        };
    }
    void Install()
    {
        SetFrameRenderStepsForTesting(&steps);
        GetJobHooks().openProgressWindow = [this](int) { return std::make_unique<SettableStatusWindow>(status); };
    }
};

class AlignClipsFixture : public ClipJobFixture {
protected:
    Frame* AddImage(std::unique_ptr<GWorldWrapper> image)
    {
        auto modified = MakeImage(image->Width(), image->Height());
        *modified = *image;
        gImageDim = MakeRect(0, 0, image->Height(), image->Width());
        gFrames.push_back(std::make_unique<Frame>(static_cast<int>(gFrames.size()), image.release(), modified.release()));
        return gFrames.back().get();
    }
    void SelectAll()
    {
        gPersistantSelectionIndices.clear();
        for (int i = 0; i < static_cast<int>(gFrames.size()); ++i)
            gPersistantSelectionIndices.push_back(i);
    }
    // Runs command, which must start a job, to its end.
    template <typename Command>
    void RunJob(Command command)
    {
        command();
        ASSERT_TRUE(IsJobActive());
        RunJobToEnd();
    }
};
