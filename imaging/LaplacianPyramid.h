// imaging/LaplacianPyramid.h: the summed stack split scale by scale into six
// detail layers (differences of successive Gaussian blurs of growing radius,
// all at full resolution) and a residual (the coarsest blur), and its
// reconstruction with a gain per layer, written back through the ringing
// threshold. The residual plus the six layers gives the stack again.
#pragma once

#include <functional>

#include "imaging/DoublePlanes.h"
#include "imaging/SumPlanes.h"
#include "platform/core/Geometry.h"

// Components 0 .. 5 are the layers, finest first; component 6 the residual.
inline constexpr int kLaplacianPyramidLayers = 6;
inline constexpr int kLaplacianPyramidResidual = kLaplacianPyramidLayers;
inline constexpr int kLaplacianPyramidComponents = kLaplacianPyramidLayers + 1;

// Blur k has radius 1.5 × 1.4^k (1.5, 2.1, 2.94, 4.116, 5.7624, 8.06736),
// each computed by repeated multiplication in double precision and each
// taken of the previous blur, not of the stack: the layers users tune by
// these radii.
inline constexpr double kLaplacianPyramidFirstRadius = 1.5;
inline constexpr double kLaplacianPyramidRadiusGrowth = 1.4;

// A component's gain: 0 removes it, 1 keeps it as built (the stack comes
// back unchanged when every gain is 1), up to the intensity slider's top.
inline constexpr double kLaplacianPyramidGainMin = 0.0;
inline constexpr double kLaplacianPyramidGainMax = 160.0;
inline constexpr double kLaplacianPyramidNeutralGain = 1.0;

// The gain a component gets from its slider and its pins: 1.0 when pinned at
// 1, else 0.0 when pinned at 0, else the slider's intensity.
double EffectiveLaplacianGain(double intensity, bool pinnedAt1, bool pinnedAt0);

// The pyramid of one stack and the reconstruction of a rectangle of it.
// Holds 8 plane sets of doubles (192 bytes per pixel of the stack): the 7
// components as built and the reconstruction. Not thread-safe; one thread
// at a time, usually the main thread of the dialog that owns it.
class LaplacianPyramid {
public:
    LaplacianPyramid() = default;

    // Splits saved (width × height sums per channel) into the components:
    // blur 0 of the sums, layer 0 = saved - blur 0, blur k of blur k - 1,
    // layer k = blur k - 1 - blur k, residual = blur 5. progress(k), when
    // set, is called after blur k (k = 0 .. 5). Every applied gain is 1.0
    // afterwards and the reconstruction holds no meaningful values until
    // Reconstruct fills a rectangle of it.
    // Throws std::bad_alloc, and passes on whatever progress throws, with this
    // object left as it was.
    void Build(const ConstSumPlanes& saved, const std::function<void(int)>& progress = {});

    bool IsEmpty() const { return mComponents[0].IsEmpty(); }
    int Width() const { return mComponents[0].Width(); }
    int Height() const { return mComponents[0].Height(); }

    // Component k as built (k = 0 .. 6).
    const DoublePlanes& Component(int k) const { return mComponents[k]; }
    // The sum of the components, each times its applied gain, inside the
    // last rectangle reconstructed (outside it: no meaningful values).
    const DoublePlanes& Reconstruction() const { return mReconstruction; }
    // The gain component k contributes with now.
    double AppliedGain(int k) const { return mApplied[k]; }

    // Rebuilds rect (clipped) of the reconstruction for gains[0 .. 6].
    // full: rect is summed anew, the residual first and then the layers
    // from the coarsest down (outside rect nothing is written). Not full (rect must be the one reconstructed last):
    // only the components whose gain changed are taken out at their old gain
    // and put in at their new one, over rect. A gain of exactly 0 adds
    // nothing, exactly 1 adds the component as built.
    void Reconstruct(const double gains[kLaplacianPyramidComponents], Rect rect, bool full);

    // Writes rect (clipped) of out from the reconstruction: per pixel with x
    // the three reconstructed values, each channel's filtered sum is
    // FilteredSum(x) (truncated, negative values 0); the pixel's value is the
    // largest of them. value >= ringingThreshold × numFrames: the channels
    // take their filtered sums; else each keeps the larger of its filtered
    // and its saved sum (WriteRingingThresholdPixel). saved and out the
    // pyramid's size; out may alias saved. Outside rect out stays.
    void WriteBack(const ConstSumPlanes& saved, Rect rect, int ringingThreshold, double numFrames,
                   const SumPlanes& out) const;

private:
    DoublePlanes mComponents[kLaplacianPyramidComponents];
    DoublePlanes mReconstruction;
    double mApplied[kLaplacianPyramidComponents] = {1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0};
};
