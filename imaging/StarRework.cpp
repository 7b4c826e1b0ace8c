// imaging/StarRework.cpp: dering, truncate and blur of found stars.
#include "imaging/StarRework.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>

#include "imaging/GaussianBlur.h"

namespace {

std::size_t Index(int x, int y, int width)
{
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x);
}

// The per-channel upper median of the pixels of the nearest square ring
// around (x, y) that the predicate accepts, read from planes. The buffers are
// kept between calls so that a whole stage allocates once.
class RingMedian {
public:
    template <class Accept> bool Find(const ConstSumPlanes& planes, int x, int y, Accept accept, int32_t out[3])
    {
        for (auto& v : mValues)
            v.clear();
        for (int k = 1; k <= kStarMedianMaxRing && mValues[0].empty(); ++k) {
            for (int xx = x - k; xx <= x + k; ++xx)
                Take(planes, xx, y - k, accept);
            for (int xx = x - k; xx <= x + k; ++xx)
                Take(planes, xx, y + k, accept);
            for (int yy = y - k + 1; yy <= y + k - 1; ++yy)
                Take(planes, x - k, yy, accept);
            for (int yy = y - k + 1; yy <= y + k - 1; ++yy)
                Take(planes, x + k, yy, accept);
        }
        if (mValues[0].empty())
            return false;
        for (int c = 0; c < 3; ++c) {
            auto& v = mValues[c];
            const auto middle = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
            std::nth_element(v.begin(), middle, v.end());
            out[c] = *middle;
        }
        return true;
    }

private:
    template <class Accept> void Take(const ConstSumPlanes& planes, int x, int y, Accept accept)
    {
        if (x < 0 || y < 0 || x >= planes.width || y >= planes.height)
            return;
        const std::size_t i = Index(x, y, planes.width);
        if (!accept(planes.Value(i)))
            return;
        mValues[0].push_back(planes.red[i]);
        mValues[1].push_back(planes.green[i]);
        mValues[2].push_back(planes.blue[i]);
    }

    std::vector<int32_t> mValues[3];
};

void Write(const SumPlanes& planes, std::size_t i, const int32_t v[3])
{
    planes.red[i] = v[0];
    planes.green[i] = v[1];
    planes.blue[i] = v[2];
}

} // namespace

void DeringStars(const ConstSumPlanes& saved, const SumPlanes& live, const std::vector<Star>& stars,
                 const StarReworkParams& params)
{
    CopySumPlanes(saved, live);
    const int t = params.deringThreshold;
    if (t == 0)
        return;
    const int r = params.deringRadius;
    const int spread = params.spread;
    RingMedian median;
    const auto sky = [t, spread](int32_t v) { return v >= t && v < spread; };
    for (const Star& star : stars)
        for (int dy = -r; dy <= r; ++dy)
            for (int dx = -r; dx <= r; ++dx) {
                if (dx * dx + dy * dy > r * r)
                    continue;
                const int x = star.centre.h + dx, y = star.centre.v + dy;
                if (x < 0 || y < 0 || x >= saved.width || y >= saved.height)
                    continue;
                const std::size_t i = Index(x, y, saved.width);
                if (saved.Value(i) >= t)
                    continue;
                int32_t v[3];
                if (median.Find(saved, x, y, sky, v))
                    Write(live, i, v);
            }
}

void TruncateStars(const SumPlanes& live, const std::vector<Star>& stars, const StarReworkParams& params)
{
    const int T = std::max(0, params.truncateRadius);
    const int side = 2 * T + 1;
    std::vector<uint8_t> disc(static_cast<std::size_t>(side) * side);
    for (int i = 0; i < side; ++i)
        for (int j = 0; j < side; ++j)
            disc[Index(j, i, side)] = (i - T) * (i - T) + (j - T) * (j - T) < T * T + 1 ? 1 : 0;
    const int spread = params.spread;
    const auto notStar = [spread](int32_t v) { return v < spread; };
    RingMedian median;
    for (const Star& star : stars)
        for (int y = star.bounds.top; y <= star.bounds.bottom; ++y)
            for (int x = star.bounds.left; x <= star.bounds.right; ++x) {
                if (!star.IsStarPixel(x, y))
                    continue;
                const int dy = y - star.centre.v, dx = x - star.centre.h;
                if (std::abs(dy) <= T && std::abs(dx) <= T && disc[Index(dx + T, dy + T, side)])
                    continue;
                int32_t v[3];
                if (median.Find(live, x, y, notStar, v))
                    Write(live, Index(x, y, live.width), v);
            }
}

void BlurStars(const SumPlanes& live, const std::vector<Star>& stars, const StarReworkParams& params)
{
    if (!(params.blurRadius > 0.0) || stars.empty())
        return;
    int size = 0;
    double* raw = nullptr;
    CreateGaussianBlurConvolutionKernel(params.blurRadius, size, raw);
    const std::unique_ptr<double[]> kernel(raw);
    const int half = size / 2;
    struct Result {
        std::size_t index;
        int32_t v[3];
    };
    std::vector<Result> results;
    const int32_t* planes[3] = {live.red, live.green, live.blue};
    for (const Star& star : stars) {
        const int top = std::max(0, star.bounds.top - half),
                  bottom = std::min(live.height - 1, star.bounds.bottom + half);
        const int left = std::max(0, star.bounds.left - half),
                  right = std::min(live.width - 1, star.bounds.right + half);
        for (int y = top; y <= bottom; ++y)
            for (int x = left; x <= right; ++x) {
                double sums[3] = {0.0, 0.0, 0.0};
                double norm = 0.0;
                for (int dy = -half; dy <= half; ++dy) {
                    const int yy = y + dy;
                    if (yy < 0 || yy >= live.height)
                        continue;
                    for (int dx = -half; dx <= half; ++dx) {
                        const int xx = x + dx;
                        if (xx < 0 || xx >= live.width)
                            continue;
                        const double k = kernel[Index(dx + half, dy + half, size)];
                        const std::size_t i = Index(xx, yy, live.width);
                        norm += k;
                        for (int c = 0; c < 3; ++c)
                            sums[c] += planes[c][i] * k;
                    }
                }
                Result r{Index(x, y, live.width), {0, 0, 0}};
                for (int c = 0; c < 3; ++c) {
                    const double q = sums[c] / norm;
                    // A weighted mean of equal values may land a few ulps
                    // below them; the small lift keeps a flat area flat.
                    const double lifted = q + std::abs(q) * 1e-12;
                    r.v[c] =
                        static_cast<int32_t>(std::clamp(std::trunc(lifted), double(std::numeric_limits<int32_t>::min()),
                                                        double(std::numeric_limits<int32_t>::max())));
                }
                results.push_back(r);
            }
    }
    for (const Result& r : results)
        Write(live, r.index, r.v);
}

void ReworkStars(const ConstSumPlanes& saved, const SumPlanes& live, const std::vector<Star>& stars,
                 const StarReworkParams& params)
{
    DeringStars(saved, live, stars, params);
    TruncateStars(live, stars, params);
    BlurStars(live, stars, params);
}
