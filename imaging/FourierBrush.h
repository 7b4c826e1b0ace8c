// imaging/FourierBrush.h: the Fourier-domain editor's attenuating brush: a
// pointer position on the shown (centred, possibly reduced) power spectrum
// mapped to a packed-spectrum position, the dabs of one stroke step, and a
// dab that scales the spectra under a disc.
#pragma once

#include <vector>

// A position in the packed spectrum (row, column in doubles) and the
// quadrant of the picture it came from: 0 left-top, 1 left-bottom, 2 and 3
// right half (the tag says whether the mapped row lies above or below the
// middle row).
struct SpectrumPoint {
    int row = 0;
    int column = 0;
    int tag = 0;
    friend bool operator==(const SpectrumPoint&, const SpectrumPoint&) = default;
};

// Maps (x, y), relative to the picture's top-left, on a picture of
// displayWidth × displayHeight that shows the spectrum reduced by factor d
// (1 at full size), to the packed position of the frequency shown there.
// Right half (x >= W'/2): column 2 (x - W'/2), row (y + H'/2) mod H'. Left
// half: the conjugate frequency the packed half spectrum stores, column
// 2 (W'/2 - x) and row (H'/2 - y) mod H' (taken in 0 .. H' - 1). Both are
// then multiplied by d. The pointer is first clamped into the picture, and
// the column to the packed array's last frequency, W - 2 (W = displayWidth
// × d): the left edge's conjugate, column W, lies outside the array. A
// picture with no area maps everything to (0, 0).
SpectrumPoint MapDisplayToSpectrum(int x, int y, int displayWidth, int displayHeight, int d);

// The dab positions of one stroke step from last to now with a brush of
// radius r (spectrum rows): N = max(1, trunc(distance) × 4 / r) (integer
// division), or 0 when the tags differ; the dabs lie at now + (last - now) ×
// i / N for i = 0 .. N, each coordinate truncated, so the step covers the last
// point again; with N = 0 one dab at now.
std::vector<SpectrumPoint> StrokeDabs(const SpectrumPoint& last, const SpectrumPoint& now, int radius);

// One dab of radius r (>= 1) at (row0, column0) on the three packed spectra
// of width × height doubles: for dy in -r .. r and dx in -2r .. 2r with
// e = sqrt(dx² + (2 dy)²) <= 2r (a disc of radius r in frequencies, each
// frequency taking two packed columns), the entry at column trunc(column0 +
// dx), row (row0 + dy + H) mod H, reflected back into the array across its
// column and then its row edges, is multiplied by min(1, 0.5 + 0.5 e / (2r)):
// half at the centre, unchanged at the rim. Entries still outside after the
// reflections are skipped. Dabs compound. Any thread, on its own arrays.
void ApplySpectrumDab(double* red, double* green, double* blue, int width, int height, int row0, int column0,
                      int radius);
