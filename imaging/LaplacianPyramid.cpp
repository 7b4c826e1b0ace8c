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

// blurred = the Gaussian blur of source at radius (whole planes). Reports
// nothing but std::bad_alloc, which passes on.
void Blur(DoublePlanes& source, double radius, DoublePlanes& blurred)
{
    (void)GaussianBlurFloatArraysToFloatArrays(radius, source.Height(), source.Width(), source.Rows(0), source.Rows(1),
                                               source.Rows(2), blurred.Rows(0), blurred.Rows(1), blurred.Rows(2));
}

void CopyPlanes(const DoublePlanes& from, DoublePlanes& to)
{
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < from.Height(); ++y)
            std::copy(from.Row(c, y), from.Row(c, y) + from.Width(), to.Row(c, y));
}

void ClearPlanes(DoublePlanes& planes)
{
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < planes.Height(); ++y)
            std::fill(planes.Row(c, y), planes.Row(c, y) + planes.Width(), 0.0);
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

void SubtractBlur(const DoublePlanes& a, const DoublePlanes& b, DoublePlanes& out)
{
    assert(a.Width() == b.Width() && a.Height() == b.Height());
    assert(a.Width() == out.Width() && a.Height() == out.Height());
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < a.Height(); ++y) {
            const double* pa = a.Row(c, y);
            const double* pb = b.Row(c, y);
            double* po = out.Row(c, y);
            for (int x = 0; x < a.Width(); ++x)
                po[x] = pa[x] - pb[x];
        }
}

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
    DoublePlanes components[kLaplacianPyramidComponents];
    for (DoublePlanes& p : components)
        p = DoublePlanes(w, h);
    DoublePlanes reconstruction(w, h);

    // The residual's planes and the reconstruction's take turns as the
    // source and the destination of the blurs.
    DoublePlanes& residual = components[kLaplacianPyramidResidual];
    SumPlanesToDoubles(saved, reconstruction);
    Blur(reconstruction, kLaplacianPyramidFirstRadius, residual);
    if (progress)
        progress(0);
    // Layer 0 = the sums - blur 0; the sums as doubles are exact.
    SubtractBlur(reconstruction, residual, components[0]);

    double radius = kLaplacianPyramidFirstRadius * kLaplacianPyramidRadiusGrowth;
    for (int k = 1; k < kLaplacianPyramidLayers; ++k) {
        DoublePlanes& previous = k % 2 == 1 ? residual : reconstruction;
        DoublePlanes& next = k % 2 == 1 ? reconstruction : residual;
        Blur(previous, radius, next);
        SubtractBlur(previous, next, components[k]);
        if (progress)
            progress(k);
        radius *= kLaplacianPyramidRadiusGrowth;
    }
    // With an even number of layers the last blur lies in the
    // reconstruction's planes.
    static_assert(kLaplacianPyramidLayers % 2 == 0);
    CopyPlanes(reconstruction, residual);
    ClearPlanes(reconstruction);

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
        ClearPlanes(mReconstruction);
        for (int k : kSumOrder) {
            mApplied[k] = gains[k];
            if (gains[k] != 0.0 && !r.IsEmpty())
                AddScaled(mComponents[k], gains[k], r, mReconstruction);
        }
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
