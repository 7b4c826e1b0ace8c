"""Reference model of the summed stack's Laplacian pyramid: six detail layers,
each the difference of two successive Gaussian blurs of radius 1.5 x 1.4^k
(every blur taken of the previous one), and the residual (the last blur);
the stack rebuilt with a gain per component and written back through the
ringing threshold. The blur is stack_filters.blur (scipy's gaussian_filter
cut and normalised as the program's kernel).

usage: laplacian_pyramid.py DIR CASE...
Each CASE is fields joined by ":":
    NAME:WIDTH:HEIGHT:THRESHOLD:FRAMES:TOP:LEFT:BOTTOM:RIGHT:G0:G1:G2:G3:G4:G5:G6
        reads DIR/NAME.saved.f8 (3 x HEIGHT x WIDTH sums as float64); writes
        NAME.layers.f8 (the 7 components, 7 x 3 x HEIGHT x WIDTH), NAME.x.f8
        (the rebuilt values inside the rectangle, 0 outside) and NAME.out.f8
        (the planes after the write-back of the rectangle, saved outside it)
"""
import os
import sys

import numpy as np

_argv = sys.argv
sys.argv = _argv[:1]  # stack_filters runs the cases named on its command line
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import stack_filters  # noqa: E402

sys.argv = _argv

LAYERS = 6


def decompose(saved):
    comps = []
    prev = saved
    r = 1.5
    for k in range(LAYERS):
        b = stack_filters.blur(prev, r)
        comps.append(prev - b)
        prev = b
        r *= 1.4
    comps.append(prev)
    return np.array(comps)


def run_case(d, case):
    f = case.split(":")
    name = f[0]
    w, h, threshold, frames = int(f[1]), int(f[2]), int(f[3]), float(f[4])
    top, left, bottom, right = (int(v) for v in f[5:9])
    gains = [float(v) for v in f[9:16]]
    base = d + "/" + name
    saved = np.fromfile(base + ".saved.f8").reshape(3, h, w)
    comps = decompose(saved)
    comps.tofile(base + ".layers.f8")
    x = np.zeros_like(saved)
    for k in range(LAYERS + 1):
        x += gains[k] * comps[k]
    xr = x[:, top:bottom, left:right]
    s = saved[:, top:bottom, left:right]
    cp = np.where(xr >= 0, np.minimum(np.trunc(np.where(xr >= 0, xr, 0)), stack_filters.INT32_MAX), 0)
    value = cp.max(axis=0)
    bright = value >= threshold * frames
    result = np.where(bright[None, :, :], cp, np.maximum(cp, s))
    out = saved.copy()
    out[:, top:bottom, left:right] = result
    out.tofile(base + ".out.f8")
    full_x = np.zeros_like(saved)
    full_x[:, top:bottom, left:right] = xr
    full_x.tofile(base + ".x.f8")


for case in sys.argv[2:]:
    run_case(sys.argv[1], case)
