"""Reference models of the summed stack's blur and unsharp mask, built on
scipy.ndimage.gaussian_filter.

The program's Gaussian has axis weights exp(-(2 d / r)^2), that is a normal
density of sigma = r / (2 sqrt 2), cut to the taps whose weight exceeds 0.2
(at least one on each side), and every output is divided by the weights that
fall inside the plane. gaussian_filter with mode='constant' (zeros outside)
and radius = that half width, divided by the same filter of a plane of ones,
is exactly that model.

usage: stack_filters.py DIR CASE...
Each CASE is fields joined by ":", the first naming the files DIR/NAME.*:
    NAME:blur:RADIUS:WIDTH:HEIGHT
        reads NAME.saved.f8 (3 x HEIGHT x WIDTH sums as float64), writes
        NAME.blurred.f8 (the blur) and NAME.gb.f8 (the blur truncated to sums)
    NAME:unsharp:RADIUS:WIDTH:HEIGHT:INTENSITY:THRESHOLD:FRAMES:TOP:LEFT:BOTTOM:RIGHT:SOURCE
        reads NAME.saved.f8 and, when SOURCE is "ours", NAME.blurred.f8
        (otherwise blurs with the model); writes NAME.um.f8 (the planes after
        the unsharp mask of the rectangle) and NAME.c.f8 (saved + mask, the
        values that were truncated; 0 outside the rectangle)
One run serves many cases: starting Python with scipy costs far more than
the models.
"""
import sys

import numpy as np
from scipy.ndimage import gaussian_filter

INT32_MAX = 2**31 - 1
INT32_MIN = -(2**31)


def half_width(r):
    size = max(3, 2 * int(r + 1.0) - 1)
    c = size // 2
    w = np.exp(-((2.0 * (np.arange(size) - c) / r) ** 2))
    if size >= 4 and not w[0] > 0.2:
        return c - int(np.argmax(w > 0.2))
    return c


def blur(planes, r):
    if r == 0:
        return planes.copy()
    sigma = r / (2.0 * np.sqrt(2.0))
    h = half_width(r)
    out = np.empty_like(planes)
    ones = np.ones(planes.shape[1:])
    den = gaussian_filter(ones, sigma, mode="constant", cval=0.0, radius=h)
    for k in range(3):
        out[k] = gaussian_filter(planes[k], sigma, mode="constant", cval=0.0, radius=h) / den
    return out


def to_sums(x):
    return np.clip(np.trunc(x), INT32_MIN, INT32_MAX)


def run_case(d, case):
    f = case.split(":")
    name, mode = f[0], f[1]
    r, w, h = float(f[2]), int(f[3]), int(f[4])
    base = d + "/" + name
    saved = np.fromfile(base + ".saved.f8").reshape(3, h, w)
    if mode == "blur":
        b = blur(saved, r)
        b.tofile(base + ".blurred.f8")
        to_sums(b).tofile(base + ".gb.f8")
        return
    intensity, threshold, frames = float(f[5]), int(f[6]), float(f[7])
    top, left, bottom, right = (int(v) for v in f[8:12])
    b = np.fromfile(base + ".blurred.f8").reshape(3, h, w) if f[12] == "ours" else blur(saved, r)
    s = saved[:, top:bottom, left:right]
    m = s - b[:, top:bottom, left:right]
    if not (intensity < 0 or intensity == 1.0):
        m = m * intensity
    c = s + m
    cp = np.where(c >= 0, np.minimum(np.trunc(np.where(c >= 0, c, 0)), INT32_MAX), 0)
    value = cp.max(axis=0)
    bright = value >= threshold * frames
    result = np.where(bright[None, :, :], cp, np.maximum(cp, s))
    out = saved.copy()
    out[:, top:bottom, left:right] = result
    out.tofile(base + ".um.f8")
    full_c = np.zeros_like(saved)
    full_c[:, top:bottom, left:right] = c
    full_c.tofile(base + ".c.f8")


for case in sys.argv[2:]:
    run_case(sys.argv[1], case)
