"""Reference model of the levels tool's remap of the summed stack, in numpy.

Level table of one channel, N levels, black L, white H, exponent g (the
inverse gamma):
    range = (H - L) + N // 256            (1 when that is not positive)
    v(i)  = ((i - L) / range) ** g * N    for L < i < H
    v(i)  = (i - L) * N / range           elsewhere
    v < 0 -> 0; colour tables: v >= N -> N - 1 (the value table is not capped)
    entry = trunc(v), plus 1 when the first decimal digit of v is 5 or more
            and trunc(v) < 255 * N; colour entries at most N - 1
Colour remap: mask 1 below L, 2 above H (input value); value = table[value]
with the value clamped to 0 .. N - 1 first.
Value remap (after the colours): V = max of the remapped colours; masks all 1
when V < L0, all 2 when V > H0; f = table0[V] / V (V = 0: / 1); each colour
becomes trunc(c * f), N - 1 when that is N or more.

usage: levels_model.py DIR CASE...
CASE = NAME:WIDTH:HEIGHT:LEVELS:MODE:then 12 numbers (L, H, g for value, red,
green, blue). MODE "value" runs the value remap when the value levels are not
(0, 255 * frames, 1) with frames = LEVELS / 256; otherwise each colour alone.
Reads NAME.in.f8 (3 x HEIGHT x WIDTH sums), writes NAME.out.f8 (the sums
after) and NAME.mask.f8 (the three masks).
"""
import sys

import numpy as np


def table(n, low, high, g, cap):
    i = np.arange(n, dtype=np.float64)
    rng = (high - low) + (n // 256)
    if not rng > 0:
        rng = 1.0
    inside = (low < i) & (i < high)
    with np.errstate(over="ignore", invalid="ignore", divide="ignore"):
        curve = np.power(np.where(inside, (i - low) / rng, 0.0), g) * n
    v = np.where(inside, curve, (i - low) * n / rng)
    v = np.where(v >= 0.0, v, 0.0)
    if cap:
        v = np.where(v >= n, n - 1, v)
    else:
        v = np.minimum(v, float(n) * n)
    t = np.trunc(v)
    first = np.fmod(np.trunc(v * 10.0), 10.0)
    t = np.where((first >= 5.0) & (t < 255.0 * n), t + 1, t)
    if cap:
        t = np.minimum(t, n - 1)
    return t


def clip_mask(x, low, high):
    return np.where(x < low, 1, np.where(x > high, 2, 0)).astype(np.float64)


def remap(planes, n, lv, mode):
    frames = n / 256.0
    out = planes.copy()
    masks = np.zeros_like(planes)
    neutral = lambda c: c[0] == 0.0 and c[1] == 255.0 * frames and c[2] == 1.0
    if mode == "value" and not neutral(lv[0]):
        for k in range(3):
            low, high, g = lv[k + 1]
            masks[k] = clip_mask(planes[k], low, high)
            idx = np.clip(planes[k], 0, n - 1).astype(np.int64)
            out[k] = table(n, low, high, g, True)[idx]
        t0 = table(n, lv[0][0], lv[0][1], lv[0][2], False)
        v = out.max(axis=0)
        below = v < lv[0][0]
        above = (v > lv[0][1]) & ~below
        for k in range(3):
            masks[k] = np.where(below, 1, np.where(above, 2, masks[k]))
        f = t0[v.astype(np.int64)] / np.where(v == 0, 1, v)
        for k in range(3):
            s = np.trunc(out[k] * f)
            out[k] = np.where(s >= n, n - 1, s)
        return out, masks
    for k in range(3):
        low, high, g = lv[k + 1]
        masks[k] = clip_mask(planes[k], low, high)
        if neutral(lv[k + 1]):
            continue  # an exact copy
        idx = np.clip(planes[k], 0, n - 1).astype(np.int64)
        out[k] = table(n, low, high, g, True)[idx]
    return out, masks


def main():
    d = sys.argv[1]
    for case in sys.argv[2:]:
        f = case.split(":")
        name, w, h, n, mode = f[0], int(f[1]), int(f[2]), int(f[3]), f[4]
        nums = [float(x) for x in f[5:17]]
        lv = [nums[0:3], nums[3:6], nums[6:9], nums[9:12]]
        planes = np.fromfile(f"{d}/{name}.in.f8", dtype="<f8").reshape(3, h, w)
        out, masks = remap(planes, n, lv, mode)
        out.astype("<f8").tofile(f"{d}/{name}.out.f8")
        masks.astype("<f8").tofile(f"{d}/{name}.mask.f8")


main()
