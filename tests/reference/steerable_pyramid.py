#!/usr/bin/python3
# tests/reference/steerable_pyramid.py: an independent steerable pyramid in numpy and scipy, read from
# the filter data file: wrap-around correlation (scipy.ndimage.correlate), even-sample decimation,
# x4 zero-stuffing, synthesis with the filters turned by 180 degrees, clamped rebuild.
#
# usage: steerable_pyramid.py FILTERS INPUT W H OUTDIR [T0,T1,...]
#   INPUT: W*H float64 values, row-major. Writes to OUTDIR: hi.f64, band{b}_{L}.f64 (b = 1...4),
#   low_{L}.f64 and rebuild.f64 (the rebuild in input units, after soft thresholding with T).
import sys

import numpy as np
from scipy import ndimage


def read_filters(path):
    lines = open(path).read().split('\n')
    filters, i = [], 0
    while i < len(lines):
        if lines[i].startswith('filter'):
            d = int(lines[i].split()[2])
            filters.append(np.array([[float(v) for v in lines[i + 1 + r].split()] for r in range(d)]))
            i += d + 1
        else:
            i += 1
    filters[2] = filters[2] * 0.5
    return filters


def corr(image, f):
    return ndimage.correlate(image, f, mode='wrap')


def levels_for(w, h):
    m, n = min(w, h), 0
    while m > 17:
        m //= 2
        n += 1
    return n


def soft(c, t):
    return np.where(np.abs(c) < t, 0.0, c - np.sign(c) * t)


def main():
    filters = read_filters(sys.argv[1])
    w, h = int(sys.argv[3]), int(sys.argv[4])
    out = sys.argv[5]
    t = [float(v) for v in sys.argv[6].split(',')] if len(sys.argv) > 6 else []
    image = np.fromfile(sys.argv[2], dtype='<f8').reshape(h, w)
    lo, hi = image.min(), image.max()
    rng = hi - lo if hi != lo else 1.0
    x = (image - lo) / rng
    n = levels_for(w, h)

    highpass = corr(x, filters[0])
    source = corr(x, filters[1])
    bands, lows = [], []
    for L in range(n):
        bands.append([corr(source, filters[3 + b]) for b in range(4)])
        low = corr(source, filters[2])
        lh, lw = source.shape
        source = low[0:2 * (lh // 2):2, 0:2 * (lw // 2):2]
        lows.append(source)
    highpass.tofile(out + '/hi.f64')
    for L in range(n):
        for b in range(4):
            bands[L][b].tofile('%s/band%d_%d.f64' % (out, b + 1, L))
        lows[L].tofile('%s/low_%d.f64' % (out, L))

    entry = lambda i: t[i] if i < len(t) else 0.0
    if entry(0) > 0:
        highpass = soft(highpass, entry(0))
    for L in range(n):
        if entry(L + 1) != 0:
            bands[L] = [soft(b, entry(L + 1)) for b in bands[L]]

    inv = [f[::-1, ::-1] for f in filters]
    image_rec = lows[n - 1] if n > 0 else x
    for L in range(n - 1, -1, -1):
        lh, lw = h >> L, w >> L
        up = np.zeros((lh, lw))
        up[0:2 * (lh // 2):2, 0:2 * (lw // 2):2] = 4.0 * image_rec
        image_rec = corr(up, inv[2]) + sum(corr(bands[L][b], inv[3 + b]) for b in range(4))
        if L == 0:
            image_rec = corr(image_rec, inv[1]) + corr(highpass, inv[0])
    rebuild = np.clip(image_rec, 0.0, 1.0) * rng + lo
    rebuild.tofile(out + '/rebuild.f64')


main()
