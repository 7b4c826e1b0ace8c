// imaging/LaplacianPyramid.cpp: the pyramid's decomposition, the incremental
// reconstruction of a rectangle and its write-back.
#include "imaging/LaplacianPyramid.h"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <utility>

#include "imaging/GaussianBlur.h"
#include "imaging/SumPlaneFilters.h"

namespace {

// blurred = the Gaussian blur of source at radius and layer = source -
// blurred (whole planes). Reports nothing but std::bad_alloc, which passes on.
void BlurAndLayer(DoublePlanes& source, double radius, DoublePlanes& blurred, DoublePlanes& layer)
{
    double** const in[3] = {source.Rows(0), source.Rows(1), source.Rows(2)};
    double** const out[3] = {blurred.Rows(0), blurred.Rows(1), blurred.Rows(2)};
    double** const difference[3] = {layer.Rows(0), layer.Rows(1), layer.Rows(2)};
    GaussianBlurWithDifference(radius, source.Height(), source.Width(), in, out, difference);
}

// to += component × gain over r (already clipped); gain 1 adds the component
// itself. Taking a contribution out later recomputes the same products, so
// it removes what was put in up to the rounding of the sum.
void AddScaled(const DoublePlanes& component, double gain, Rect r, DoublePlanes& to)
{
    for (int c = 0; c < 3; ++c)
        for (int y = r.top; y < r.bottom; ++y) {
            const double* in = component.Row(c, y);
            double* out = to.Row(c, y);
            if (gain == 1.0)
                for (int x = r.left; x < r.right; ++x)
                    out[x] += in[x];
            else
                for (int x = r.left; x < r.right; ++x)
                    out[x] += in[x] * gain;
        }
}

// to = component × gain over r: the first term of a sum (0 + v is v).
void SetScaled(const DoublePlanes& component, double gain, Rect r, DoublePlanes& to)
{
    for (int c = 0; c < 3; ++c)
        for (int y = r.top; y < r.bottom; ++y) {
            const double* in = component.Row(c, y);
            double* out = to.Row(c, y);
            if (gain == 1.0)
                std::copy(in + r.left, in + r.right, out + r.left);
            else
                for (int x = r.left; x < r.right; ++x)
                    out[x] = in[x] * gain;
        }
}

void ClearRect(Rect r, DoublePlanes& planes)
{
    for (int c = 0; c < 3; ++c)
        for (int y = r.top; y < r.bottom; ++y)
            std::fill(planes.Row(c, y) + r.left, planes.Row(c, y) + r.right, 0.0);
}

void SubtractScaled(const DoublePlanes& component, double gain, Rect r, DoublePlanes& from)
{
    for (int c = 0; c < 3; ++c)
        for (int y = r.top; y < r.bottom; ++y) {
            const double* in = component.Row(c, y);
            double* out = from.Row(c, y);
            if (gain == 1.0)
                for (int x = r.left; x < r.right; ++x)
                    out[x] -= in[x];
            else
                for (int x = r.left; x < r.right; ++x)
                    out[x] -= in[x] * gain;
        }
}

// Residual first, then the layers from the coarsest down: the order the sums
// of a full reconstruction are taken in.
constexpr int kSumOrder[kLaplacianPyramidComponents] = {kLaplacianPyramidResidual, 5, 4, 3, 2, 1, 0};

} // namespace

double EffectiveLaplacianGain(double intensity, bool pinnedAt1, bool pinnedAt0)
{
    if (pinnedAt1)
        return 1.0;
    if (pinnedAt0)
        return 0.0;
    return intensity;
}

void LaplacianPyramid::Build(const ConstSumPlanes& saved, const std::function<void(int)>& progress)
{
    const int w = saved.width, h = saved.height;
    // Every value of every plane set is written below before it is read.
    DoublePlanes components[kLaplacianPyramidComponents];
    for (DoublePlanes& p : components)
        p = DoublePlanes::Unset(w, h);
    DoublePlanes reconstruction = DoublePlanes::Unset(w, h);

    // The residual's planes and the reconstruction's take turns as the
    // source and the destination of the blurs, starting so that the last
    // blur lands in the residual's: blur k of the planes holding blur k - 1
    // (the sums as doubles, exact, for k = 0), layer k their difference.
    static_assert(kLaplacianPyramidLayers % 2 == 0);
    DoublePlanes* previous = &components[kLaplacianPyramidResidual];
    DoublePlanes* next = &reconstruction;
    SumPlanesToDoubles(saved, *previous);
    double radius = kLaplacianPyramidFirstRadius;
    for (int k = 0; k < kLaplacianPyramidLayers; ++k) {
        BlurAndLayer(*previous, radius, *next, components[k]);
        std::swap(previous, next);
        if (progress)
            progress(k);
        radius *= kLaplacianPyramidRadiusGrowth;
    }

    for (int k = 0; k < kLaplacianPyramidComponents; ++k) {
        mComponents[k] = std::move(components[k]);
        mApplied[k] = 1.0;
    }
    mReconstruction = std::move(reconstruction);
}

void LaplacianPyramid::Reconstruct(const double gains[kLaplacianPyramidComponents], Rect rect, bool full)
{
    if (IsEmpty())
        return;
    const Rect r = ClipRectToPlanes(rect, Width(), Height());
    if (full) {
        bool first = true;
        for (int k : kSumOrder) {
            mApplied[k] = gains[k];
            if (gains[k] == 0.0 || r.IsEmpty())
                continue;
            if (first)
                SetScaled(mComponents[k], gains[k], r, mReconstruction);
            else
                AddScaled(mComponents[k], gains[k], r, mReconstruction);
            first = false;
        }
        if (first)
            ClearRect(r, mReconstruction);
        return;
    }
    bool changed[kLaplacianPyramidComponents];
    for (int k = 0; k < kLaplacianPyramidComponents; ++k) {
        changed[k] = gains[k] != mApplied[k];
        if (changed[k] && mApplied[k] != 0.0 && !r.IsEmpty())
            SubtractScaled(mComponents[k], mApplied[k], r, mReconstruction);
    }
    for (int k : kSumOrder) {
        if (!changed[k])
            continue;
        mApplied[k] = gains[k];
        if (gains[k] != 0.0 && !r.IsEmpty())
            AddScaled(mComponents[k], gains[k], r, mReconstruction);
    }
}

void LaplacianPyramid::WriteBack(const ConstSumPlanes& saved, Rect rect, int ringingThreshold, double numFrames,
                                 const SumPlanes& out) const
{
    assert(saved.width == Width() && saved.height == Height());
    assert(out.width == Width() && out.height == Height());
    const Rect r = ClipRectToPlanes(rect, saved.width, saved.height);
    if (IsEmpty() || r.IsEmpty())
        return;
    const double limit = static_cast<double>(ringingThreshold) * numFrames;
    const std::size_t w = static_cast<std::size_t>(saved.width);
    for (int y = r.top; y < r.bottom; ++y) {
        const std::size_t row = static_cast<std::size_t>(y) * w;
        const double* x3[3] = {mReconstruction.Row(0, y), mReconstruction.Row(1, y), mReconstruction.Row(2, y)};
        for (int x = r.left; x < r.right; ++x) {
            const std::size_t i = row + static_cast<std::size_t>(x);
            const int32_t s[3] = {saved.red[i], saved.green[i], saved.blue[i]};
            const int32_t f[3] = {FilteredSum(x3[0][x]), FilteredSum(x3[1][x]), FilteredSum(x3[2][x])};
            // trunc of the largest value, 0 when negative: the largest of
            // the filtered sums, as truncation keeps the order.
            const double value = std::max({f[0], f[1], f[2]});
            int32_t v[3];
            WriteRingingThresholdPixel(f, value, limit, s, v);
            out.red[i] = v[0];
            out.green[i] = v[1];
            out.blue[i] = v[2];
        }
    }
}
