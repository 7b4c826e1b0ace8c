# Band scores of clips from numpy's FFT: each clip's square of pixel values
# (the largest of red, green and blue, / 255) is transformed, the magnitudes of
# the columns 0 .. N/2 - 1 are binned by trunc(hypot(vertical frequency, column)),
# the vertical frequency of row u being min(u, N - u), and a band's score is its
# share of all bins. Usage: band_scores.py DIR
# DIR/pixels.f64 holds the clips one after another (N x N doubles each), DIR/
# setup.txt the line "N BINS CLIPS" followed by one "LOW HIGH" line per band.
# Output: one line per band with the clips' scores.
import sys
import numpy as np

d = sys.argv[1]
lines = [list(map(int, l.split())) for l in open(f"{d}/setup.txt") if l.strip()]
n_side, n_bins, clips = lines[0]
bands = lines[1:]
pixels = np.fromfile(f"{d}/pixels.f64", dtype="<f8").reshape(clips, n_side, n_side)
spectra = []
for block in pixels:
    F = np.abs(np.fft.fft2(block))
    bins = np.zeros(n_bins)
    for u in range(n_side):
        for v in range(n_side // 2):
            k = int(np.hypot(min(u, n_side - u), v))
            if k < n_bins:
                bins[k] += F[u, v]
    spectra.append(bins)
for low, high in bands:
    scores = [s[low:high + 1].sum() / s.sum() if s.sum() > 0 else 0.0 for s in spectra]
    print(" ".join(repr(float(x)) for x in scores))
