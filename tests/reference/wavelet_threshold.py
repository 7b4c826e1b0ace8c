#!/usr/bin/python3
# tests/reference/wavelet_threshold.py: an independent model of the wavelet noise reduction of the summed
# stack's planes: the preview area padded to powers of two with numpy's own padding (reflect before the
# area, symmetric after it), the threshold list per level, the pyramid of steerable_pyramid.py run on each
# padded plane, soft thresholding of its coefficients, and the rebuilt area rounded into the planes.
#
# usage: wavelet_threshold.py FILTERS PLANES W H TOP LEFT BOTTOM RIGHT P0,P1,... OUTDIR
#   PLANES: 3*W*H float64 (red, green, blue planes, row-major). P: slider values in percent.
#   Writes to OUTDIR: planes.f64 (the planes after the write-back), padded_{c}.f64, and per channel c
#   in OUTDIR/c{c}: hi_t.f64 and band{b}_{L}_t.f64 (thresholded coefficients), levels.txt.
import os
import subprocess
import sys

import numpy as np


def levels_for(w, h):
    m, n = min(w, h), 0
    while m > 17:
        m //= 2
        n += 1
    return n


def pow2(n):
    p = 1
    while p < n:
        p *= 2
    return p


def soft(c, t):
    return np.where(np.abs(c) < t, 0.0, c - np.sign(c) * t)


def main():
    filters, planes_path = sys.argv[1], sys.argv[2]
    W, H = int(sys.argv[3]), int(sys.argv[4])
    top, left, bottom, right = (int(v) for v in sys.argv[5:9])
    percents = [float(v) for v in sys.argv[9].split(',')] if sys.argv[9] else []
    out = sys.argv[10]
    planes = np.fromfile(planes_path, dtype='<f8').reshape(3, H, W)
    w, h = right - left, bottom - top
    PW, PH = pow2(w), pow2(h)
    pl, pt = (PW - w) // 2, (PH - h) // 2
    pr, pb = PW - w - pl, PH - h - pt
    n = levels_for(PW, PH)
    t = [percents[i] / 100.0 if i < len(percents) else 0.0 for i in range(n + 1)]
    result = planes.copy()
    script = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'steerable_pyramid.py')
    for c in range(3):
        # The bordered area: what lies inside the stack, then mirrored outside it.
        x0, x1 = left - pl, left - pl + PW
        y0, y1 = top - pt, top - pt + PH
        inner = planes[c, max(y0, 0):min(y1, H), max(x0, 0):min(x1, W)]
        padded = np.pad(inner, ((max(0, -y0), 0), (max(0, -x0), 0)), mode='reflect')
        padded = np.pad(padded, ((0, max(0, y1 - H)), (0, max(0, x1 - W))), mode='symmetric')
        assert padded.shape == (PH, PW)
        padded.tofile('%s/padded_%d.f64' % (out, c))
        d = '%s/c%d' % (out, c)
        os.makedirs(d, exist_ok=True)
        args = [sys.executable, script, filters, '%s/padded_%d.f64' % (out, c), str(PW), str(PH), d,
                ','.join(repr(v) for v in t)]
        subprocess.run(args, check=True)
        hi = np.fromfile(d + '/hi.f64', dtype='<f8')
        (soft(hi, t[0]) if t[0] > 0 else hi).tofile(d + '/hi_t.f64')
        for L in range(n):
            for b in range(1, 5):
                band = np.fromfile('%s/band%d_%d.f64' % (d, b, L), dtype='<f8')
                (soft(band, t[L + 1]) if t[L + 1] != 0 else band).tofile('%s/band%d_%d_t.f64' % (d, b, L))
        open(d + '/levels.txt', 'w').write(str(n))
        rebuild = np.fromfile(d + '/rebuild.f64', dtype='<f8').reshape(PH, PW)
        if any(v > 0 for v in t):
            area = rebuild[pt:pt + h, pl:pl + w]
            result[c, top:bottom, left:right] = np.maximum(np.floor(area + 0.5), 0.0)
    result.tofile(out + '/planes.f64')


main()
