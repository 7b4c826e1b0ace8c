// tools/WaveletThresholdInterface.h: the wavelet noise reduction dialog. Each
// colour plane of the stack is decomposed into a steerable pyramid whose band
// coefficients are soft-thresholded, one threshold per level, and rebuilt.
// While the dialog is open only a preview area chosen on the thumbnail is
// worked on: padded to powers of two with mirrored borders, analysed once and
// rebuilt whenever a threshold changes (live while a thumb is dragged when
// one analysis took under half a second). OK denoises the whole stack with
// the same thresholds; Cancel gives the saved planes back.
#pragma once

#include <memory>

#include "imaging/WaveletThreshold.h"
#include "platform/core/Geometry.h"
#include "tools/PreviewRectDialog.h"
#include "tools/WaveletThresholdSlider.h"

// Fills in the dialog factory of "OpWS" in the command table. Main thread,
// at start-up.
void InstallWaveletThresholdDialog();

// Controls (besides 3, the preview switch).
inline constexpr int kWaveletSizeText = 4;    // log2 of the padded area: "7x7" for 128 × 128
inline constexpr int kWaveletCostText = 5;    // levels × log2 PW × log2 PH, a relative cost
inline constexpr int kWaveletLiveText = 6;    // "On" or "Off"
inline constexpr int kWaveletReset = 7;       // every threshold to 0
inline constexpr int kWaveletLockSliders = 8; // check box: all sliders move together

// Where the dialog draws, in window coordinates.
inline constexpr int kWaveletThumbnailLeft = 20;
inline constexpr int kWaveletThumbnailTop = 20;
inline constexpr int kWaveletThumbnailWidth = 160;
inline constexpr int kWaveletThumbnailHeight = 120;
inline constexpr int kWaveletSliderLeft = 15;
inline constexpr int kWaveletFirstSliderTop = 170; // slider i at 170 + 20 i
inline constexpr int kWaveletSliderSpacing = 20;
// The first preview area: the top-left 128 × 128 pixels (less on a smaller stack).
inline constexpr int kWaveletFirstPreviewSide = 128;
// Live rebuilding during a drag only when one analysis of the area took less.
inline constexpr double kWaveletLiveAnalysisSeconds = 0.5;

inline constexpr int kWaveletNoSlider = -1;

// The thresholds and the lock a new dialog starts with, written when a
// dialog ends with OK (thresholds 0 and unlocked at start). The thresholds
// are kept slider by slider, also those a smaller stack has no slider for.
const double* WaveletRememberedThresholds(); // kWaveletMaxThresholds entries
bool WaveletRememberedLockSliders();
// Test hooks: the remembered settings, and the analysis time below which
// rebuilding is live (a negative value restores kWaveletLiveAnalysisSeconds).
void SetWaveletRememberedSettingsForTesting(const double thresholds[kWaveletMaxThresholds], bool lock);
void SetWaveletLiveLimitForTesting(double seconds);

class WaveletThresholdInterface final : public PreviewRectDialog {
public:
    // Opens the window "WaveletThreshold" over the summed stack, analyses the
    // first preview area (one worker thread, a progress window when none is
    // open) and rebuilds it with the remembered thresholds. Throws
    // std::bad_alloc with nothing left behind, the planes and the thread
    // count as they were.
    WaveletThresholdInterface();
    ~WaveletThresholdInterface() override;

    // The thumbnail's rectangle widened to 32 × 32 where smaller.
    void CreateMinimumPreviewBounds();
    // That, and the padded area it gives; the sliders without a level in it
    // are dimmed.
    void CreatePreviewBoundsWithBorder();
    // The padded area's planes copied from the saved planes. Throws
    // std::bad_alloc with the arrays released.
    void AllocateScratchAndCopyPreviewArea();
    // Decomposes the area (one worker thread meanwhile) and times it for the
    // live flag. Throws std::bad_alloc.
    void PerformWaveletAnalysis();
    // Rebuilds the area with the sliders' thresholds, writes its preview
    // rectangle into the stack and shows it when the preview is on. A
    // progress window when showProgress. Out of memory: the alert, and the
    // stack as it was.
    void PerformWaveletSynthesis(bool showProgress);
    void DeleteArrays();

    // Follows a drag on the thumbnail (the size and cost texts follow it);
    // when it chose another rectangle, the old one gets its saved values
    // back. True then.
    bool DefineTestAreaBounds(QPoint press);
    void ProcessLiveThumbnailRectUpdate() override;
    // A thumb moved during a drag: with the lock on every slider follows;
    // rebuilt at once when live.
    void ProcessLiveSliderUpdate(int index) override;

    void processMouse(int modifiers, QPoint where, bool& done) override;
    void nudgeSlider(bool up, bool shift) override;
    // 7 reset, 8 lock; the rest goes to the base.
    bool HandleDialogItemHit(int id, bool& done) override;
    void RedrawDialog() override;

    // For tests.
    int numSliders() const { return mNumSliders; }
    const WaveletThresholdSlider& slider(int i) const { return mSliders[i]; }
    bool live() const { return mLive; }
    bool lockSliders() const { return mLockSliders; }
    int activeSlider() const { return mActiveSlider; }
    const WaveletPreviewArea& area() const { return mArea; }
    const WaveletThresholdPlanes& planes() const { return mPlanes; }
    // The per-level thresholds the sliders give for the current area.
    std::vector<double> Thresholds() const;

protected:
    // The whole stack denoised with the current thresholds; the thresholds
    // and the lock remembered (also when memory then runs out).
    void commit() override;
    void ClearGlobalPointer() override;
    // The analysed area's preview rectangle (none until an area is analysed).
    std::optional<Rect> previewArea() const override;
    bool HavePlanes() const override;

private:
    // The area's arrays anew and analysed; false (after the alert) when
    // memory ran out.
    bool PrepareAndAnalyse();
    void AlignSlidersTo(int index);
    void WriteAreaTexts();

    WaveletThresholdPlanes mPlanes;
    WaveletPreviewArea mArea; // the area the thumbnail's rectangle gives now
    WaveletThresholdSlider mSliders[kWaveletMaxThresholds];
    int mNumSliders = 0;
    int mActiveSlider = kWaveletNoSlider;
    bool mLive = true;
    bool mLockSliders = false;
};
