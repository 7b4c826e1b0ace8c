#!/usr/bin/python3
"""Independent numpy/scipy answers for the imaging unit tests.

Images travel as raw RGB bytes, shape (height, width, 3); results are written
as raw bytes (images) or little-endian float64 (normalised values, histograms).
Usage: imaging_reference.py <operation> <arguments...> (see each function).
"""
import sys

import numpy as np
from scipy import ndimage


def load(path, h, w):
    return np.fromfile(path, dtype=np.uint8).reshape(int(h), int(w), 3)


def save(path, array):
    np.ascontiguousarray(array).tofile(path)


def padded_window(img, top, left, bottom, right):
    """Inclusive window [top..bottom] x [left..right], zeros outside the image."""
    h, w = img.shape[:2]
    out = np.zeros((bottom - top + 1, right - left + 1, 3), dtype=np.int64)
    y0, y1 = max(top, 0), min(bottom + 1, h)
    x0, x1 = max(left, 0), min(right + 1, w)
    if y0 < y1 and x0 < x1:
        out[y0 - top:y1 - top, x0 - left:x1 - left] = img[y0:y1, x0:x1]
    return out


def norm(path, h, w, top, left, bottom, right, out):
    img = load(path, h, w)
    win = padded_window(img, int(top), int(left), int(bottom), int(right)).astype(np.float64)
    modes = [win.max(axis=2) / 255.0, win[..., 0] / 255.0, win[..., 1] / 255.0, win[..., 2] / 255.0]
    save(out, np.stack(modes).astype('<f8'))


def hist(path, h, w, top, left, bottom, right, out):
    img = load(path, h, w)[int(top):int(bottom), int(left):int(right)].reshape(-1, 3)
    n = img.shape[0]
    rows = [np.bincount(img.max(axis=1), minlength=256)] + [np.bincount(img[:, c], minlength=256) for c in range(3)]
    save(out, (np.stack(rows).astype(np.float64) / n).astype('<f8'))


def calibrate(kind, a_path, h, w, b_path, hb, wb, factor, pairs, out):
    """pairs: per channel image top, left, calibration top, left, height, width (all inside)."""
    a = load(a_path, h, w).copy()
    b = load(b_path, hb, wb)
    p = [int(v) for v in pairs]
    for c in range(3):
        it, il, ct, cl, hh, ww = p[6 * c:6 * c + 6]
        x = a[it:it + hh, il:il + ww, c].astype(np.float64)
        y = b[ct:ct + hh, cl:cl + ww, c].astype(np.float64)
        if kind == 'subtract':
            r = np.where(x >= y, x - y, 0)
        else:
            with np.errstate(divide='ignore', invalid='ignore'):
                v = x / y * float(factor)
            v = np.where(np.isnan(v), 0.0, v)
            r = np.floor(np.clip(v, 0, 255))
        a[it:it + hh, il:il + ww, c] = r.astype(np.uint8)
    save(out, a)


def translate(path, h, w, offsets, out):
    img = load(path, h, w)
    h, w = img.shape[:2]
    res = np.zeros_like(img)
    for c in range(3):
        v, dh = int(offsets[2 * c]), int(offsets[2 * c + 1])
        ys, xs = slice(max(v, 0), min(h + v, h)), slice(max(dh, 0), min(w + dh, w))
        ysrc, xsrc = slice(max(-v, 0), min(h - v, h)), slice(max(-dh, 0), min(w - dh, w))
        if ys.start < ys.stop and xs.start < xs.stop:
            res[ys, xs, c] = img[ysrc, xsrc, c]
    save(out, res)


def smooth(path, h, w, shape, out):
    img = load(path, h, w).astype(np.int64)
    if shape == 'plus':
        fp = np.array([[0, 1, 0], [1, 1, 1], [0, 1, 0]])
    else:
        fp = np.ones((3, 3), dtype=np.int64)
    ones = np.ones(img.shape[:2], dtype=np.int64)
    count = ndimage.correlate(ones, fp, mode='constant')
    res = np.empty_like(img)
    for c in range(3):
        res[..., c] = ndimage.correlate(img[..., c], fp, mode='constant') // count
    save(out, res.astype(np.uint8))


def stretch(path, h, w, nh, nw, out):
    img = load(path, h, w)
    h, w, nh, nw = int(h), int(w), int(nh), int(nw)
    rows = (np.arange(nh, dtype=np.int64) * h) // nh
    cols = (np.arange(nw, dtype=np.int64) * w) // nw
    save(out, img[rows][:, cols])


def binning(path, h, w, out):
    img = load(path, h, w).astype(np.int64)
    h2, w2 = img.shape[0] // 2, img.shape[1] // 2
    s = img[:2 * h2, :2 * w2].reshape(h2, 2, w2, 2, 3).sum((1, 3)).clip(max=255)
    save(out, s.astype(np.uint8))


def main(argv):
    op, args = argv[1], argv[2:]
    if op == 'norm':
        norm(*args)
    elif op == 'hist':
        hist(*args)
    elif op in ('subtract', 'divide'):
        calibrate(op, args[0], args[1], args[2], args[3], args[4], args[5], args[6], args[7:25], args[25])
    elif op == 'translate':
        translate(args[0], args[1], args[2], args[3:9], args[9])
    elif op == 'smooth':
        smooth(*args)
    elif op == 'stretch':
        stretch(*args)
    elif op == 'bin':
        binning(*args)
    else:
        sys.exit('unknown operation ' + op)


if __name__ == '__main__':
    main(sys.argv)
