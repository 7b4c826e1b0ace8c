// tools/StarBeautificationInterface.h: the star dialog. It finds the stars
// of the summed stack by two brightness thresholds and a size window, then
// derings, truncates and blurs them, every stage starting again from the
// planes as they were when the dialog opened; seeding can be limited to
// rectangles drawn on a thumbnail, and the stars can be shown over the stack.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/SumStackDialogInterface.h"
#include "imaging/StarDetection.h"
#include "imaging/StarRework.h"
#include "imaging/SumPlanes.h"
#include "tools/LinearSlider.h"
#include "tools/QuadraticSliders.h"

class Canvas;
class ThumbnailInterface;

// Settings kept from the last OK until the program quits. A brightness or
// spread of -1 means full scale, trunc(255 × gNumFramesInStack); OK writes -1
// to both, so every opening starts there. (gLastStarBrightnessThreshold lives
// with the stack, which sets it to -1 when it is discarded.)
extern int gLastStarSpreadBrightnessThreshold; // -1
extern int gLastStarMinSurfaceAreaThreshold;   // 1
extern int gLastStarMaxSurfaceAreaThreshold;   // 256
extern int gLastDeringRadius;                  // 15
extern int gLastDeringBrightnessThreshold;     // 0
extern int gLastTruncateRadius;                // 32
extern double gLastBlurRadius;                 // 0.1

// Controls of the window "StarBeautification".
inline constexpr int kStarShowPixels = 4;  // check box
inline constexpr int kStarShowCircles = 5; // check box
inline constexpr int kStarAddAll = 6;      // button: seed everywhere
inline constexpr int kStarSubtractAll = 7; // button: seed nowhere

// The active slider, the one the arrow keys move.
enum StarSliderId {
    kStarNoSlider = -1,
    kStarBrightnessSlider = 0,
    kStarMinAreaSlider = 1,
    kStarMaxAreaSlider = 2,
    kStarDeringBrightnessSlider = 3,
    kStarDeringRadiusSlider = 4,
    kStarTruncateRadiusSlider = 5,
    kStarBlurSlider = 6,
    kStarSpreadSlider = 7,
};

class StarBeautificationInterface final : public SumStackDialogInterface {
public:
    // Needs a summed stack. Runs the whole pipeline once. Throws
    // std::bad_alloc with nothing left behind and the planes unchanged.
    StarBeautificationInterface();
    ~StarBeautificationInterface() override;

    // 4, 5: show star pixels / circles (the stack's picture follows); 6 add
    // all; 7 subtract all; the rest goes to the base.
    bool HandleDialogItemHit(int id, bool& done) override;
    void RedrawDialog() override;
    // A press on a slider's thumb drags it (the first hit in the order
    // brightness, spread, minimum area, maximum area, dering brightness,
    // dering radius, truncate radius, blur) and makes it active; a changed
    // value re-runs the pipeline from the stage it affects. Any other press
    // may draw a seeding rectangle on the thumbnail: with Option it excludes,
    // without it includes.
    void processMouse(int modifiers, QPoint where, bool& done) override;
    // Moves the active slider one step and acts as after a drag.
    void nudgeSlider(bool up, bool shift) override;

    // The pipeline: each stage runs the ones after it; every stage starts
    // again from the planes saved at opening. Out of memory shows the alert
    // and leaves the planes as saved.
    void FindStars();
    void DeringStars();
    void TruncateStars();
    void BlurStars();

    // Seed map all 1 / all 0, then FindStars.
    void AddAll();
    void SubtractAll();
    // Follows a drag on the thumbnail; when it spans a rectangle, the seed
    // map inside it becomes 0 (exclude) or 1. True when a rectangle was drawn.
    bool DefineSearchBounds(QPoint press, bool exclude);

    // The stars over the frame-stack window's picture (only with preview on):
    // blue star pixels and red circles of the dering radius around the
    // centres, scaled to the window.
    void DrawFrameStackOverlay();
    void DrawFrameStackOverlay(Canvas& stackCanvas) const;

    // For tests and the overlay.
    const std::vector<Star>& stars() const { return mStars; }
    const std::vector<uint8_t>& seedMap() const { return mSeedMap; }
    StarFindParams findParams() const;
    StarReworkParams reworkParams() const;
    int activeSlider() const { return mActiveSlider; }
    const LinearSlider& linearSlider(StarSliderId id) const;
    const GaussianBlurSlider& blurSlider() const { return mBlurSlider; }
    ThumbnailInterface& thumbnail() const { return *mThumbnail; }

protected:
    void commit() override;
    void ClearGlobalPointer() override;

private:
    LinearSlider& Slider(StarSliderId id);
    // Acts on a changed slider value.
    void SliderChanged(StarSliderId id);
    // Runs a stage; out of memory leaves the saved planes and no stars.
    template <class Stage> void Run(Stage stage);
    void ShowLive();

    std::vector<uint8_t> mSeedMap;
    int mBrightness = 0;
    int mSpread = 0;
    int mMinArea = kStarMinArea;
    int mMaxArea = kStarMaxArea;
    int mDeringRadius = 15;
    int mDeringThreshold = 0;
    int mTruncateRadius = 32;
    double mBlurRadius = 0.1;
    std::vector<Star> mStars;
    LinearSlider mBrightnessSlider, mSpreadSlider, mMinAreaSlider, mMaxAreaSlider;
    LinearSlider mDeringBrightnessSlider, mDeringRadiusSlider, mTruncateRadiusSlider;
    GaussianBlurSlider mBlurSlider;
    int mActiveSlider = kStarNoSlider;
    bool mShowPixels = false;
    bool mShowCircles = true;
    std::unique_ptr<ThumbnailInterface> mThumbnail;
};
