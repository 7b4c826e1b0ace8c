// engine/FrequencyBandSortInterface.h: the dialog that follows sorting by
// power spectrum: the user picks a band of spectrum bins and the number of
// clips to keep; every clip is scored by the share of its spectrum in the
// band, the clips are sorted best first and the first N are included in the
// summed stack. Holds SortBySpectrumInterface.
#pragma once

#include <memory>
#include <vector>

#include "shell/DialogInterface.h"

class IntegerTriangleSlider;
class QObject;

// Control IDs of the "SortBySpectrum" window ("????" signature).
inline constexpr int kBandSortSpreadText = 3; // the spread of the scores, ".456"

// Opened by the final of the spectrum sort over the measured spectra and held
// in gSortBySpectrumInterface (set by the caller) until OK; Cancel is hidden
// and the close box or Escape end it as OK does. While it is open the clip
// order and the inclusion flags follow the sliders live; the summed stack
// stays. When it ends the clips are sorted and included once more and every
// clip's spectrum is freed. Main thread only.
class SortBySpectrumInterface final : public DialogInterface {
public:
    // first: unused (the sort passes 0); bins: the spectra's length. Scores and
    // sorts the clips. Throws std::bad_alloc (no dialog) when the window or its
    // arrays cannot be made.
    SortBySpectrumInterface(int first, int bins);
    ~SortBySpectrumInterface() override;

    // Arrow keys move the active slider (left and down one way, right and up
    // the other); the space bar holds the frame inspector on clip 0 while it
    // is down; a press is offered to the sliders.
    int HandleEvent(const DialogEvent& event, bool& done) override;
    void RedrawDialog() override;
    bool HandleDialogItemHit(int id, bool& done) override;
    void processMouse(int modifiers, QPoint where);

    // Every clip's score = its share of power in bins low .. high; gFrames
    // sorted best first (clips without a spectrum last) and renumbered.
    void ScoreAndSortFrames();
    // Clips 0 .. N - 1 included in the summed stack, the rest excluded.
    void MarkIncludedFrames();
    // Draws both panels, the spread and the three sliders.
    void UpdateSpectrumInterfaceDialog();
    // Moves the active slider one step; nothing without one.
    void NudgeSlider(bool up);
    // The space bar's release: the inspector goes back to the clip under the
    // mouse, else the first selected clip, else the instruction.
    void SpaceReleased();

    // State, for tests.
    int Bins() const { return mBins; }
    int LowBin() const { return mLowBin; }
    int HighBin() const { return mHighBin; }
    int IncludedCount() const { return mIncluded; }
    int ActiveSlider() const { return mActiveSlider; }
    const std::vector<double>& MeanSpectrumValues() const { return mMeanSpectrum; }
    double LargestMeanValue() const { return mLargestMean; }
    const IntegerTriangleSlider& Slider(int which) const;

protected:
    void finish() override;
    void ClearGlobalPointer() override;

private:
    void SortByScore();
    std::vector<double> SortedScores() const;

    int mFirst;
    int mBins;
    std::vector<double> mMeanSpectrum;
    double mLargestMean = -1.0;
    int mLowBin = 0;
    int mHighBin = 0;
    int mIncluded = 0;
    std::unique_ptr<IntegerTriangleSlider> mLowSlider, mHighSlider, mCountSlider;
    int mActiveSlider = -1;        // -1 none, 0 low, 1 high, 2 count
    bool mLockedInspector = false; // the space bar holds the inspector on clip 0
    std::unique_ptr<QObject> mKeyUpFilter;
};
