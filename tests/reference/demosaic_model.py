# tests/reference/demosaic_model.py: an independent model of the program's
# three demosaicing methods, written as plain loops over the mosaic, with
# numpy's reflect padding for the mirrored border.
#
# Usage: demosaic_model.py DIR
# DIR/cases.txt holds one case per line: "name width height pattern method pad".
# DIR/name.raw holds height x width mosaic bytes; the model writes DIR/name.rgb
# (height x width x 3 bytes, red, green, blue). pad 1 runs the methods over the
# mosaic padded by 4 with mode "reflect" and crops the result; pad 0 runs them
# over the bare mosaic (pixels a method does not compute come out 0).
import sys

import numpy as np

GR, R, B, GB = range(4)
# (row parity, column parity) of each kind of site, per pattern.
SITES = {
    0: {GR: (0, 0), R: (0, 1), B: (1, 0), GB: (1, 1)},  # G R / B G
    1: {R: (0, 0), GR: (0, 1), GB: (1, 0), B: (1, 1)},  # R G / G B
    2: {B: (0, 0), GB: (0, 1), GR: (1, 0), R: (1, 1)},  # B G / G R
    3: {GB: (0, 0), B: (0, 1), R: (1, 0), GR: (1, 1)},  # G B / R G
}


def clamp(v):
    s = ((v + 32768) % 65536) - 32768
    return 0 if s < 0 else (255 if s > 255 else s)


def sites(pattern, kind, row_min, col_min, row_end, col_end):
    pr, pc = SITES[pattern][kind]
    y = row_min + ((pr - row_min) % 2)
    while y < row_end:
        x = col_min + ((pc - col_min) % 2)
        while x < col_end:
            yield y, x
            x += 2
        y += 2


def nearest(raw, pattern, out):
    H, W = raw.shape
    r = lambda y, x: int(raw[y, x])
    for kind in (GR, R, B, GB):
        for y, x in sites(pattern, kind, 1, 1, H, W):
            own, left, up, upleft = r(y, x), r(y, x - 1), r(y - 1, x), r(y - 1, x - 1)
            out[y, x] = {GR: (left, own, up), R: (own, left, upleft),
                         B: (upleft, left, own), GB: (up, own, left)}[kind]


def bilinear(raw, pattern, out):
    H, W = raw.shape
    r = lambda y, x: int(raw[y, x])
    for kind in (GR, R, B, GB):
        for y, x in sites(pattern, kind, 1, 1, H - 1, W - 1):
            own = r(y, x)
            h = r(y, x - 1) + r(y, x + 1)
            v = r(y - 1, x) + r(y + 1, x)
            d = r(y - 1, x - 1) + r(y - 1, x + 1) + r(y + 1, x - 1) + r(y + 1, x + 1)
            out[y, x] = {GR: (h >> 1, own, v >> 1), R: (own, (h + v) >> 2, d >> 2),
                         B: (d >> 2, (h + v) >> 2, own), GB: (v >> 1, own, h >> 1)}[kind]


def laplacian(raw, pattern, out):
    H, W = raw.shape
    r = lambda y, x: int(raw[y, x])
    G = lambda y, x: int(out[y, x, 1])
    kind_at = {SITES[pattern][k]: k for k in SITES[pattern]}
    # 1. own colour
    for y in range(H):
        for x in range(W):
            k = kind_at[(y % 2, x % 2)]
            out[y, x, {GR: 1, GB: 1, R: 0, B: 2}[k]] = r(y, x)
    # 2. green at red and blue sites
    for y in range(2, H - 2):
        for kind in (R, B):
            pr, pc = SITES[pattern][kind]
            if y % 2 != pr:
                continue
            x = 2 + ((pc - 2) % 2)
            while x < W - 2:
                c = r(y, x)
                LH = 2 * c - r(y, x - 2) - r(y, x + 2)
                LV = 2 * c - r(y - 2, x) - r(y + 2, x)
                dH = abs(r(y, x - 1) - r(y, x + 1)) + abs(LH)
                dV = abs(r(y - 1, x) - r(y + 1, x)) + abs(LV)
                if dV < dH:
                    g = ((r(y - 1, x) + r(y + 1, x)) >> 1) + (LV >> 2)
                elif dH < dV:
                    g = ((r(y, x - 1) + r(y, x + 1)) >> 1) + (LH >> 2)
                else:
                    g = ((r(y, x - 1) + r(y, x + 1) + r(y - 1, x) + r(y + 1, x)) >> 2) + ((LH + LV) >> 3)
                out[y, x, 1] = clamp(g)
                x += 2

    def horizontal(y, x):
        return clamp(((r(y, x - 1) + r(y, x + 1)) >> 1) + ((2 * r(y, x) - G(y, x - 1) - G(y, x + 1)) >> 2))

    def vertical(y, x):
        return clamp(((r(y - 1, x) + r(y + 1, x)) >> 1) + ((2 * r(y, x) - G(y - 1, x) - G(y + 1, x)) >> 2))

    def diagonal(y, x):
        g = G(y, x)
        L1 = 2 * g - G(y - 1, x - 1) - G(y + 1, x + 1)
        L2 = 2 * g - G(y - 1, x + 1) - G(y + 1, x - 1)
        D1 = abs(r(y - 1, x - 1) - r(y + 1, x + 1)) + abs(L1)
        D2 = abs(r(y - 1, x + 1) - r(y + 1, x - 1)) + abs(L2)
        if D1 < D2:
            v = ((r(y - 1, x - 1) + r(y + 1, x + 1)) >> 1) + (L1 >> 1)
        elif D2 < D1:
            v = ((r(y - 1, x + 1) + r(y + 1, x - 1)) >> 1) + (L2 >> 1)
        else:
            v = ((r(y - 1, x - 1) + r(y + 1, x + 1) + r(y - 1, x + 1) + r(y + 1, x - 1)) >> 2) + ((L1 + L2) >> 2)
        return clamp(v)

    steps = [(GR, 0, horizontal), (GB, 0, vertical), (GB, 2, horizontal), (GR, 2, vertical),
             (B, 0, diagonal), (R, 2, diagonal)]
    for kind, channel, f in steps:
        for y, x in sites(pattern, kind, 2, 2, H - 1, W - 1):
            out[y, x, channel] = f(y, x)


def main():
    folder = sys.argv[1]
    for line in open(folder + "/cases.txt"):
        if not line.strip():
            continue
        name, w, h, pattern, method, pad = line.split()
        w, h, pattern, method, pad = int(w), int(h), int(pattern), int(method), int(pad)
        raw = np.fromfile(folder + "/" + name + ".raw", dtype=np.uint8).reshape(h, w).astype(np.int64)
        work = np.pad(raw, 4, mode="reflect") if pad else raw
        out = np.zeros(work.shape + (3,), dtype=np.int64)
        [nearest, bilinear, laplacian][method](work, pattern, out)
        if pad:
            out = out[4:4 + h, 4:4 + w]
        out.astype(np.uint8).tofile(folder + "/" + name + ".rgb")


main()
