// tools/GaussianBlurInterface.h: the Gaussian blur dialog. Every change of
// the radius blurs the whole summed stack again from the planes saved at
// opening, so the stack window shows the result; OK keeps it, Cancel gives
// the saved planes back.
#pragma once

#include <memory>

#include "engine/SumStackDialogInterface.h"
#include "imaging/DoublePlanes.h"
#include "imaging/SumPlanes.h"
#include "tools/QuadraticSliders.h"

class HistogramInterface;

// The radius a new dialog starts with; written when the dialog ends with OK.
extern double gLastGaussianBlurRadius; // 0.1 at start

// Where the dialog draws, in window coordinates.
inline constexpr int kGaussianBlurSliderLeft = 25;
inline constexpr int kGaussianBlurSliderTop = 250;
inline constexpr int kGaussianBlurHistogramsLeft = 10;
inline constexpr int kGaussianBlurHistogramsTop = 10;
inline constexpr int kGaussianBlurHistogramsSpacing = 60;

class GaussianBlurInterface final : public SumStackDialogInterface {
public:
    // Opens the window "GaussianBlur" over the summed stack and shows the
    // blur at the remembered radius at once. Throws std::bad_alloc with
    // nothing left behind and the planes unchanged.
    GaussianBlurInterface();
    ~GaussianBlurInterface() override;

    // Blurs the saved planes at the current radius into the stack's planes,
    // shows them when the preview is on, and redraws the dialog (whose
    // histograms keep showing the stack as it was at opening).
    void UpdateGaussianBlurDialog();

    // A press on the slider's thumb drags it; the blur runs once, after the
    // release, when the radius changed.
    void processMouse(int modifiers, QPoint where, bool& done) override;
    // Arrow keys move the slider (Shift: steps of 1.0) and blur again.
    void nudgeSlider(bool up, bool shift) override;
    // 4 sets the histograms' vertical scale; the rest goes to the base.
    bool HandleDialogItemHit(int id, bool& done) override;
    void RedrawDialog() override;

    // For tests.
    double radius() const { return mRadius; }
    const GaussianBlurSlider& slider() const { return mSlider; }
    const HistogramInterface& histograms() const { return *mHistograms; }

protected:
    void commit() override;
    void ClearGlobalPointer() override;

private:

    DoublePlanes mSource; // the saved planes as doubles, refilled before every blur
    DoublePlanes mResult; // the blur
    GaussianBlurSlider mSlider;
    double mRadius;
    std::unique_ptr<HistogramInterface> mHistograms;
};
