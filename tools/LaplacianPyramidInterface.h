// tools/LaplacianPyramidInterface.h: the Laplacian pyramid dialog. At opening
// the stack is split into six detail layers and a residual; each gets an
// intensity slider (1.0 keeps it as it is) and pins that hold its gain at 1
// or at 0 (the residual only at 1). While the dialog is open only the preview
// rectangle chosen on the thumbnail is rebuilt, one changed layer at a time;
// OK rebuilds the whole stack, Cancel gives the saved planes back.
#pragma once

#include <memory>

#include "imaging/LaplacianPyramid.h"
#include "platform/core/Geometry.h"
#include "tools/PreviewRectDialog.h"
#include "tools/QuadraticSliders.h"

// Fills in the dialog factory of "OpLS" in the command table. Main thread,
// at start-up.
void InstallLaplacianPyramidDialog();

// The intensities a new dialog starts with: the six layers, finest first,
// then the residual (1.0 each at start). Written when a dialog ends with OK,
// a pinned component remembered at its pinned gain.
extern double gLastLaplacianPyramidLayerIntensities[kLaplacianPyramidComponents];

// Controls: the pin at 1 of layer k is 7 + k (the residual's 13), the pin at
// 0 of layer k is 14 + k; the two pins of a layer exclude each other (ids
// kLaplacianPyramidLayers + 1 apart).
inline constexpr int kLaplacianPinAt1First = 7;
inline constexpr int kLaplacianResidualPinAt1 = 13;
inline constexpr int kLaplacianPinAt0First = 14;
inline constexpr int kLaplacianPinAt0Last = 19;
inline constexpr int kLaplacianReset = 20;
inline constexpr int kLaplacianRingingThreshold = 21;

// Where the dialog draws, in window coordinates.
inline constexpr int kLaplacianSliderLeft = 55;
inline constexpr int kLaplacianFirstLayerSliderTop = 250; // layer k at 250 + 20 k
inline constexpr int kLaplacianSliderSpacing = 20;
inline constexpr int kLaplacianResidualSliderTop = 270 + 20 * kLaplacianPyramidLayers; // 390
inline constexpr int kLaplacianThumbnailLeft = 280;
inline constexpr int kLaplacianThumbnailTop = 10;
inline constexpr int kLaplacianThumbnailWidth = 160;
inline constexpr int kLaplacianThumbnailHeight = 120;
inline constexpr int kLaplacianHistogramsLeft = 10;
inline constexpr int kLaplacianHistogramsTop = 10;
inline constexpr int kLaplacianHistogramsSpacing = 60;
inline constexpr int kLaplacianFirstPreviewSide = 64;

// The slider the arrow keys move: none until a thumb was grabbed, a layer
// 0 .. 5, or the residual.
inline constexpr int kLaplacianNoSlider = -1;
inline constexpr int kLaplacianResidualSlider = kLaplacianPyramidResidual;

class LaplacianPyramidInterface final : public PreviewRectDialog {
public:
    // Opens the window "LaplacianPyramid" over the summed stack, builds the
    // pyramid (one thread, a progress window when none is open) and rebuilds
    // the first preview rectangle with the remembered intensities. Throws
    // std::bad_alloc with nothing left behind, the planes, the thread count
    // and the progress window as they were.
    LaplacianPyramidInterface();
    ~LaplacianPyramidInterface() override;

    // Builds the layers and the first reconstruction.
    void CreateInitialLaplacianPyramid();
    // Reads the pins: pinnedAt1[0 .. 6] from controls 7 .. 13 and
    // pinnedAt0[0 .. 5] from 14 .. 19 (checked = true).
    void getPins(bool pinnedAt1[kLaplacianPyramidComponents], bool pinnedAt0[kLaplacianPyramidLayers]) const;
    // Rebuilds the preview rectangle for the current intensities and pins
    // (full: anew; else only what changed), writes it into the stack through
    // the ringing threshold, shows it when the preview is on and fills the
    // histograms from it.
    void ReconstructImageFromLaplacianPyramid(bool full);

    // A slider moved during a drag (index 0 .. 5 a layer, 6 the residual):
    // its pins come off and the preview follows.
    void ProcessLiveSliderUpdate(int index) override;

    void processMouse(int modifiers, QPoint where, bool& done) override;
    void nudgeSlider(bool up, bool shift) override;
    // 7 .. 19 pins, 20 reset; the rest (the histogram scale) goes to the base.
    bool HandleDialogItemHit(int id, bool& done) override;
    void RedrawDialog() override;

    // For tests.
    double intensity(int component) const { return mIntensities[component]; }
    int activeSlider() const { return mActiveSlider; }
    const MaskIntensitySlider& slider(int component) const { return mSliders[component]; }
    const LaplacianPyramid& pyramid() const { return mPyramid; }

protected:
    // The whole stack rebuilt with the current settings, and the intensities
    // remembered.
    void commit() override;
    void ClearGlobalPointer() override;
    bool HavePlanes() const override;
    // A new ringing threshold writes the rectangle back again (nothing else changed).
    void RingingThresholdChanged() override { ReconstructImageFromLaplacianPyramid(false); }

private:
    // A slider's new value: its intensity, its pins off, the preview rebuilt.
    void ApplySliderValue(int component);
    void UncheckPins(int component);

    LaplacianPyramid mPyramid;
    // Layers 0 .. 5, then the residual.
    MaskIntensitySlider mSliders[kLaplacianPyramidComponents];
    double mIntensities[kLaplacianPyramidComponents];
    int mActiveSlider = kLaplacianNoSlider;
};
