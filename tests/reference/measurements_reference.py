# Reference values for the image measurements, computed with numpy from the
# images and cases a test writes. Usage: measurements_reference.py MODE DIR
# Images are raw RGB bytes (height x width x 3) with their sizes in the case
# file; each case is one line of integers; one result line per case.
import sys
import numpy as np

mode, d = sys.argv[1], sys.argv[2]


def image(name, w, h):
    return np.fromfile(f"{d}/{name}", dtype=np.uint8).reshape(h, w, 3).astype(np.int64)


cases = [list(map(int, line.split())) for line in open(f"{d}/cases.txt") if line.strip()]
w, h = cases[0][0], cases[0][1]
cases = cases[1:]
a = image("a.rgb", w, h)
out = []
if mode == "difference":
    b = image("b.rgb", w, h)
    for top_a, left_a, top_b, left_b, rw, rh, channel, threshold in cases:
        pa = a[top_a:top_a + rh, left_a:left_a + rw]
        pb = b[top_b:top_b + rh, left_b:left_b + rw]
        if channel == 0:
            mask = pa.max(axis=2) >= threshold
            total = (np.abs(pa - pb).sum(axis=2) * mask).sum()
            out.append(total / (rw * rh * 765.0))
        else:
            c = channel - 1
            mask = pa[:, :, c] >= threshold
            total = (np.abs(pa[:, :, c] - pb[:, :, c]) * mask).sum()
            out.append(total / (rw * rh * 255.0))
    print("\n".join(repr(float(x)) for x in out))
elif mode == "centroid":
    for top, left, rw, rh, threshold in cases:
        block = a[top:top + rh, left:left + rw]
        ys, xs = np.mgrid[0:rh, 0:rw]
        results = []
        planes = [(block.max(axis=2), rw // 2, rh // 2)]
        planes += [(block[:, :, c], (rw + 1) // 2, (rh + 1) // 2) for c in range(3)]
        for plane, cx, cy in planes:
            v = np.where(plane >= threshold, plane, 0).astype(np.int64)
            s = v.sum()
            if s == 0:
                results += [top + cy, left + cx]
            else:
                sx = int(((xs - cx) * v).sum())
                sy = int(((ys - cy) * v).sum())
                # Truncation toward zero (np.fix), done exactly on the integer sums.
                s = int(s)
                fix = lambda q: abs(q) // s * (1 if q >= 0 else -1)
                results += [top + cy + fix(sy), left + cx + fix(sx)]
        out.append(" ".join(str(int(x)) for x in results))
    print("\n".join(out))
elif mode == "values":
    for top, left, rw, rh in cases:
        block = a[top:top + rh, left:left + rw]
        value = block.max(axis=2)
        out.append(" ".join(repr(float(x)) for x in (
            value.sum() / (rw * rh * 255.0),
            (value.max() - value.min() + 1) / 256.0,
            block.sum() / (3.0 * rw * rh))))
    print("\n".join(out))
elif mode == "spectrum":
    for top, left, n_side, n in cases:
        block = a[top:top + n_side, left:left + n_side].max(axis=2) / 255.0
        F = np.abs(np.fft.fft2(block))
        bins = np.zeros(n)
        for u in range(n_side):
            for v in range(n_side // 2):
                k = int(np.hypot(min(u, n_side - u), v))
                if k < n:
                    bins[k] += F[u, v]
        out.append(" ".join(repr(float(x)) for x in bins))
    print("\n".join(out))
