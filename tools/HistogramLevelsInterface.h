// tools/HistogramLevelsInterface.h: the histogram levels dialog. Four levels
// sliders under the histograms (value, red, green, blue) of the stack as it
// was at opening set black point, white point and gamma, either of the pixel
// value or of each colour (touching one group sets the other back to
// neutral); every change levels the stack again from the saved planes and
// shows it. Auto buttons clip a chosen share of pixels at each end, a check
// box shows the clipped pixels. OK keeps the levelled stack, Cancel gives
// the saved planes back.
#pragma once

#include <memory>
#include <vector>

#include "engine/SumStackDialogInterface.h"
#include "imaging/StackLevels.h"
#include "tools/LevelsSlider.h"
#include "tools/LiveSliderOwner.h"

class HistogramInterface;
class ThumbnailInterface;

// Controls of the window "HistogramLevels" besides OK, Cancel, the preview
// switch (3) and the histogram scale (4).
inline constexpr int kHistogramLevelsShowClipping = 5; // check box
inline constexpr int kHistogramLevelsPercentage = 7;   // edit text: auto levels' clipped share, 0 .. 49.99 %
inline constexpr int kHistogramLevelsAutoValue = 8;    // button
inline constexpr int kHistogramLevelsAutoRGB = 9;      // button
inline constexpr int kHistogramLevelsReset = 10;       // button

// Where the dialog draws, in window coordinates.
inline constexpr int kHistogramLevelsHistogramsLeft = 10;
inline constexpr int kHistogramLevelsHistogramsTop = 10;
inline constexpr int kHistogramLevelsHistogramsSpacing = 90;
inline constexpr int kHistogramLevelsThumbnailLeft = 320;
inline constexpr int kHistogramLevelsThumbnailTop = 10;
inline constexpr int kHistogramLevelsThumbnailWidth = 160;
inline constexpr int kHistogramLevelsThumbnailHeight = 120;

// The slider the arrow keys move: the last one whose thumb was grabbed, or
// the group the auto buttons set.
inline constexpr int kHistogramLevelsNoSlider = -1;

// Whether the next dialog starts showing the clipped pixels; written when a
// dialog ends with OK.
bool HistogramLevelsShowClippingAtOpening();
void SetHistogramLevelsShowClippingAtOpening(bool show); // tests

class HistogramLevelsInterface final : public SumStackDialogInterface, public LiveSliderOwner {
public:
    // Opens the window over the summed stack with neutral levels. Throws
    // std::bad_alloc, with nothing left behind and the planes unchanged, when
    // memory is short (also when the level tables of a stack of very many
    // frames would not fit in free memory).
    HistogramLevelsInterface();
    ~HistogramLevelsInterface() override;

    // Levels the planes flagged again from the saved planes (value: all
    // three through the value levels and each colour's; otherwise the
    // colours flagged, each by its own), marks the clipped pixels when asked
    // and the preview is on, shows the stack when the preview is on, and
    // redraws the dialog. Out of memory: the alert, the stack left as it is.
    void UpdateLevels(bool value, bool red, bool green, bool blue);
    // A slider moved during its drag (or by a key): value (0) sets the colour
    // sliders back to neutral and levels all; a colour sets the value slider
    // back to neutral (putting the saved planes back when it was not) and
    // levels that colour.
    void ProcessLiveSliderUpdate(int index) override;
    void AutoValueLevels();
    void AutoRGBLevels();
    void ResetLevels();
    // The percentage field changed: its number, clamped to 0 .. 49.99 (the
    // field rewritten when it read outside).
    void ValidateEditableText();
    // Follows a drag on the thumbnail; true when it chose a rectangle.
    bool DefineHistogramBounds(QPoint press);

    // A press on a thumb drags it and makes its slider the active one;
    // elsewhere a drag on the thumbnail chooses the histograms' rectangle.
    void processMouse(int modifiers, QPoint where, bool& done) override;
    // Arrow keys move the active slider's selected thumb.
    void nudgeSlider(bool up, bool shift) override;
    // The base's toggle; the histograms describe the whole stack again.
    void TogglePreview() override;
    bool HandleDialogItemHit(int id, bool& done) override;
    void RedrawDialog() override;

    // For tests.
    const LevelsSlider& slider(int i) const { return *mSliders[i]; }
    LevelsSlider& slider(int i) { return *mSliders[i]; }
    int activeSlider() const { return mActiveSlider; }
    double autoPercentage() const { return mAutoPercentage; }
    bool showClipping() const { return mShowClipping; }
    const std::vector<char>& clipMap(int colour) const { return mClipMaps[colour]; }
    const HistogramInterface& histograms() const { return *mHistograms; }
    ThumbnailInterface& thumbnail() const { return *mThumbnail; }

protected:
    // The levels kept once more without clipping marks; the show-clipping
    // state remembered.
    void commit() override;
    void ClearGlobalPointer() override;

private:
    bool HavePlanes() const;
    void LevelPlanes(LevelPlaneSelection which);
    // Levels everything from the sliders as they stand (the value path
    // covers both groups).
    void Relevel() { UpdateLevels(true, false, false, false); }
    void Neutral(int i);
    bool NeutralChanged(int i);

    double mNumFrames;
    double mAutoPercentage = 0.0;
    int mActiveSlider = kHistogramLevelsNoSlider;
    bool mShowClipping = false;
    std::vector<char> mClipMaps[3];
    LevelTables mTables; // the curves' tables from one levelling to the next
    std::unique_ptr<ThumbnailInterface> mThumbnail;
    std::unique_ptr<HistogramInterface> mHistograms;
    std::unique_ptr<LevelsSlider> mSliders[4];
};

// Fills in the command table's factory of the dialog ("OpLv"). Main thread,
// at start-up.
void InstallHistogramLevelsDialog();
