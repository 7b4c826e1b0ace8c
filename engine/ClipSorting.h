// engine/ClipSorting.h: scoring every clip inside the operation bounds
// rectangle and sorting the clip list by the score, or measuring every
// clip's power spectrum for the sort-by-spectrum dialog.
#pragma once

#include <functional>

// Sort methods, by the sort menu's item.
constexpr int kSortByDifference = 0; // item 1: mean absolute difference to clip 0, ascending
constexpr int kSortByValue = 1;      // item 6: mean value, descending
constexpr int kSortByValueRange = 2; // item 12: value range, descending
constexpr int kSortBySpectrum = 3;   // item 18: power spectrum, scored by the dialog

// The method of a sort menu item, or -1 for any other item.
int SortMethodForItem(int menuItem);

// Number of spectrum bins for a bounds rectangle of width right - left + 1:
// trunc(((right - left) / 2) × 1.5), the halving an integer one (22, 46, 94,
// 190 for sides 32 .. 256), which covers every index the distribution writes.
int SpectrumBinsForBounds(int left, int right);

// The sort command: selects every clip and scores them in a job; the final
// sorts gFrames (methods 0 .. 2: an unstable sort, indices renumbered, a NaN
// score counting as -1) or opens the spectrum dialog. Refusals, each with a
// beep: a job running or a dialog reading the clips; no bounds rectangle (with
// the stop alert); a rectangle without width or height; for the spectrum a
// rectangle that is not a power-of-2 square of side 32 .. 256 (with its stop
// alert) or that reaches the image's right or bottom edge. The spectrum sort
// runs with one thread (the FFT tables are shared), includes every clip in
// the summed stack and puts the thread count back whatever happens. When
// clip 0 cannot be had: the out-of-memory alert and nothing else. Keeps the
// summed stack. Main thread.
void SortClips(int menuItem);

// Opens the sort-by-spectrum dialog over the measured spectra, with n bins,
// storing it in gSortBySpectrumInterface; may throw std::bad_alloc with no
// dialog left. Installed by the dialog's code; unset, the spectra are freed
// and no dialog opens. Main thread.
using SortBySpectrumDialogFactory = std::function<void(int bins)>;
void SetSortBySpectrumDialogFactory(SortBySpectrumDialogFactory factory);

extern const char* const kIllegalBoundsRectTitle;
extern const char* const kNoBoundsRectMessage;
extern const char* const kSpectrumBoundsRectMessage;
