// engine/PowerBandScores.h: scoring clips by the share of their radial power
// spectrum that falls in a band of bins, and where the sort dialog draws the
// mean spectrum, the band, the sorted scores and the included clips. No Qt.
#pragma once

#include <string>
#include <vector>

#include "platform/core/Geometry.h"

// The share of a clip's power in bins low .. high (both included) of its
// bins: the band's sum over the sum of all bins. A clip without a spectrum
// (null), or whose total is not positive and finite (a black clip), scores
// -1.0, so it sorts after every measured clip and stays out of the spread.
// low and high are clamped to the bins. Any thread.
double BandScore(const double* spectrum, int bins, int low, int high);

// The bin-by-bin mean of the spectra that exist (null ones are skipped, never
// read); all zeros when none does. bins values.
std::vector<double> MeanSpectrum(const std::vector<const double*>& spectra, int bins);
// The largest value, counting only values strictly above -1.0 (-1.0 when none).
double LargestMean(const std::vector<double>& mean);

// The spread of the sorted scores as the dialog shows it: a point and the
// first three decimals, truncated (0.4567 -> ".456"); "1.000" from 1 up and
// ".000" for nothing, a negative or a non-number.
std::string ScoreSpreadText(double spread);
// First minus last of the scores (sorted best first) that were measured
// (not negative); 0 with fewer than two.
double ScoreSpread(const std::vector<double>& sortedScores);

// The dialog's two panels in window coordinates. Rectangles exclude their
// bottom and right; an empty one is not drawn.
struct BandSortPanels {
    Rect spectrumPanel;     // white, framed grey
    Rect band;              // light cyan: bins low .. high
    std::vector<Rect> bars; // black, one per bin whose mean is not 0, scaled to the largest mean
    Rect scorePanel;        // white, framed grey
    Rect included;          // light green: the first N clips
    Rect excluded;          // light red: the rest (empty when all are included)
    std::vector<Rect> dots; // black, one per clip in sorted order
};

// Spectrum panel: 192 pixels for bins 0 .. n - 1 from h 22; bars 200 pixels
// high at the largest mean from the bottom line 232 (kept inside the panel).
// Score panel: clip k of m at h 282 + 200 k / (m - 1), score 1.0 at v 32 and
// 0.0 at 232 (dots kept inside the panel); the included part reaches past the
// N-th clip's dot by 100 / m. A single clip sits in the middle with the whole
// panel included. Dots are 3 x 3 when 200 / m > 4, single pixels otherwise.
BandSortPanels LayOutBandSortPanels(const std::vector<double>& mean, double largestMean, int low, int high,
                                    const std::vector<double>& sortedScores, int included);
