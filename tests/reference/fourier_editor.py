"""Reference model of the Fourier-domain editor's planes after brush dabs, in numpy.

Each plane (PW x PH sums) is placed centred in a W x H array of zeros (offsets
(W - PW) // 2, (H - PH) // 2) and transformed with numpy's fft2 (unscaled,
e^(-2 pi i ...)). The spectrum is written in the packed layout of the program's
real transforms (H, W >= 2; "row u, slot v" = elements u*W + 2v, u*W + 2v + 1):
    row 0, slot 0:           F(0, 0), F(H/2, 0)
    row u, slot 0, u < H/2:  Re F(u, 0), Im F(u, 0)
    row H/2, slot 0:         F(0, W/2), F(H/2, W/2)
    row H/2 + u, slot 0:     Re F(u, W/2), Im F(u, W/2)
    row u, slot v, v < W/2:  Re F(u, v), Im F(u, v)
Every dab (row0, column0, radius r) multiplies the packed entries under a disc
by min(1, 0.5 + 0.5 e / (2r)), e = sqrt(dx^2 + (2 dy)^2) <= 2r, dy in -r..r,
dx in -2r..2r, column column0 + dx, row (row0 + dy + H) mod H, reflected into
the array across the column edges (c < 0: -c, c >= W: 2W - 1 - c, the row then
H - row) and then the row edges (row < 0: -row, row >= H: 2H - 1 - row, the
column then W - column); entries still outside are skipped. The packed array
is read back into a half spectrum (conjugate symmetry fills the rows the layout
leaves out), inverted with irfft2 (scaled by 1 / (H W)), cropped, and rounded:
floor(x + 0.5), negatives 0.

usage: fourier_editor.py DIR W H PW PH RADIUS ROW,COL ROW,COL ...
DIR/planes.f64: 3 x PH x PW sums. Writes DIR/result.f64 (3 x PH x PW).
"""
import math
import sys

import numpy as np


def pack(F, H, W):
    P = np.zeros((H, W))
    h, w = H // 2, W // 2
    P[0, 0], P[0, 1] = F[0, 0].real, F[h, 0].real
    P[h, 0], P[h, 1] = F[0, w].real, F[h, w].real
    for u in range(1, h):
        P[u, 0], P[u, 1] = F[u, 0].real, F[u, 0].imag
        P[h + u, 0], P[h + u, 1] = F[u, w].real, F[u, w].imag
    for v in range(1, w):
        P[:, 2 * v] = F[:, v].real
        P[:, 2 * v + 1] = F[:, v].imag
    return P


def unpack(P, H, W):
    h, w = H // 2, W // 2
    A = np.zeros((H, w + 1), dtype=complex)
    for v in range(1, w):
        A[:, v] = P[:, 2 * v] + 1j * P[:, 2 * v + 1]
    A[0, 0], A[h, 0] = P[0, 0], P[0, 1]
    A[0, w], A[h, w] = P[h, 0], P[h, 1]
    for u in range(1, h):
        A[u, 0] = P[u, 0] + 1j * P[u, 1]
        A[H - u, 0] = np.conj(A[u, 0])
        A[u, w] = P[h + u, 0] + 1j * P[h + u, 1]
        A[H - u, w] = np.conj(A[u, w])
    return A


def dab(P, H, W, row0, col0, r):
    for dy in range(-r, r + 1):
        for dx in range(-2 * r, 2 * r + 1):
            e = math.sqrt(dx * dx + 4 * dy * dy)
            if e > 2 * r:
                continue
            k = min(1.0, 0.5 + 0.5 * e / (2 * r))
            c = col0 + dx
            rho = (row0 + dy + H) % H
            if c < 0:
                c, rho = -c, H - rho
            elif c >= W:
                c, rho = 2 * W - 1 - c, H - rho
            if rho < 0:
                rho, c = -rho, W - c
            elif rho >= H:
                rho, c = 2 * H - 1 - rho, W - c
            if 0 <= rho < H and 0 <= c < W:
                P[rho, c] *= k


def main():
    d = sys.argv[1]
    W, H, PW, PH, r = map(int, sys.argv[2:7])
    dabs = [tuple(map(int, a.split(','))) for a in sys.argv[7:]]
    planes = np.fromfile(d + '/planes.f64', dtype='<f8').reshape(3, PH, PW)
    x0, y0 = (W - PW) // 2, (H - PH) // 2
    out = np.zeros((3, PH, PW))
    for c in range(3):
        x = np.zeros((H, W))
        x[y0:y0 + PH, x0:x0 + PW] = planes[c]
        P = pack(np.fft.fft2(x), H, W)
        for row0, col0 in dabs:
            dab(P, H, W, row0, col0, r)
        y = np.fft.irfft2(unpack(P, H, W), s=(H, W))
        out[c] = np.maximum(np.floor(y[y0:y0 + PH, x0:x0 + PW] + 0.5), 0.0)
    out.astype('<f8').tofile(d + '/result.f64')


if __name__ == '__main__':
    main()
