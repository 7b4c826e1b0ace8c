// tools/UnsharpMaskInterface.h: the unsharp mask dialog. The stack is
// blurred at the chosen radius; the difference between the stack and its
// blur, scaled by the intensity, is added back through the ringing
// threshold. While the dialog is open only the preview rectangle chosen on
// the thumbnail is sharpened (live while the intensity thumb moves); OK
// sharpens the whole stack, Cancel gives the saved planes back.
#pragma once

#include <memory>

#include "imaging/DoublePlanes.h"
#include "imaging/SumPlanes.h"
#include "platform/core/Geometry.h"
#include "tools/PreviewRectDialog.h"
#include "tools/QuadraticSliders.h"

// Settings a new dialog starts with; written when a dialog ends with OK. The
// ringing threshold starts at 0 at every opening.
extern double gLastUnsharpMaskRadius;    // 0.1 at start
extern double gLastUnsharpMaskIntensity; // 0.0 at start: the stack stays as it is until raised

// The edit field of the ringing threshold (0 .. 255).
inline constexpr int kUnsharpMaskRingingThreshold = 7;

// Where the dialog draws, in window coordinates.
inline constexpr int kUnsharpMaskRadiusSliderLeft = 25;
inline constexpr int kUnsharpMaskRadiusSliderTop = 270;
inline constexpr int kUnsharpMaskIntensitySliderLeft = 25;
inline constexpr int kUnsharpMaskIntensitySliderTop = 310;
inline constexpr int kUnsharpMaskThumbnailLeft = 280;
inline constexpr int kUnsharpMaskThumbnailTop = 10;
inline constexpr int kUnsharpMaskThumbnailWidth = 160;
inline constexpr int kUnsharpMaskThumbnailHeight = 120;
inline constexpr int kUnsharpMaskHistogramsLeft = 10;
inline constexpr int kUnsharpMaskHistogramsTop = 10;
inline constexpr int kUnsharpMaskHistogramsSpacing = 60;
// The first preview rectangle: the top-left 64 × 64 pixels (less on a
// smaller stack).
inline constexpr int kUnsharpMaskFirstPreviewSide = 64;

// The slider the arrow keys move: the last thumb grabbed.
enum UnsharpMaskSliderId {
    kUnsharpMaskNoSlider = -1,
    kUnsharpMaskRadiusSlider = 0,
    kUnsharpMaskIntensitySlider = 1,
};

class UnsharpMaskInterface final : public PreviewRectDialog {
public:
    // Opens the window "UnsharpMask" over the summed stack, blurs it at the
    // remembered radius and previews the first rectangle. Throws
    // std::bad_alloc with nothing left behind and the planes unchanged.
    UnsharpMaskInterface();
    ~UnsharpMaskInterface() override;

    // After a radius change: blur the whole saved stack, then the mask and
    // the result.
    void UpdateUnsharpMaskDialogBlur();
    // After an intensity or rectangle change: the mask over the preview
    // rectangle, then the result.
    void UpdateUnsharpMaskDialogMask();
    // After a threshold change: the preview rectangle of the stack rebuilt
    // from the saved planes and the mask, shown when the preview is on, and
    // the histograms filled from the shown rectangle.
    void UpdateUnsharpMaskedResult();

    // The intensity thumb moved during a drag: the preview follows it.
    void ProcessLiveSliderUpdate(int index) override;

    // A press on a thumb drags that slider and makes it the active one; a
    // press elsewhere may choose a new preview rectangle on the thumbnail.
    void processMouse(int modifiers, QPoint where, bool& done) override;
    // Arrow keys move the active slider (none until a thumb was grabbed).
    void nudgeSlider(bool up, bool shift) override;
    void RedrawDialog() override;

    // For tests.
    double radius() const { return mRadius; }
    double intensity() const { return mIntensity; }
    int activeSlider() const { return mActiveSlider; }
    const GaussianBlurSlider& radiusSlider() const { return mRadiusSlider; }
    const MaskIntensitySlider& intensitySlider() const { return mIntensitySlider; }

protected:
    // The whole stack sharpened with the current settings, and the settings
    // remembered.
    void commit() override;
    void ClearGlobalPointer() override;
    bool HavePlanes() const override;
    // A new ringing threshold rebuilds the result.
    void RingingThresholdChanged() override { UpdateUnsharpMaskedResult(); }

private:
    DoublePlanes mSource;  // the saved planes as doubles, refilled before every blur
    DoublePlanes mBlurred; // their blur at the current radius, whole image
    DoublePlanes mMask;    // (saved - blurred) × intensity, valid in the preview rectangle
    GaussianBlurSlider mRadiusSlider;
    MaskIntensitySlider mIntensitySlider;
    double mRadius;
    double mIntensity;
    int mActiveSlider = kUnsharpMaskNoSlider;
};
