// imaging/FourierBrush.cpp: pointer mapping, stroke steps and dabs.
#include "imaging/FourierBrush.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

SpectrumPoint MapDisplayToSpectrum(int x, int y, int displayWidth, int displayHeight, int d)
{
    SpectrumPoint p;
    if (displayWidth <= 0 || displayHeight <= 0)
        return p;
    x = std::clamp(x, 0, displayWidth - 1);
    y = std::clamp(y, 0, displayHeight - 1);
    const int halfW = displayWidth / 2, halfH = displayHeight / 2;
    if (x < halfW) {
        // The left half shows the mirrored frequencies; the packed half
        // spectrum holds them as the conjugates of (-row, -column).
        p.column = 2 * (halfW - x);
        if (y < halfH) {
            p.row = halfH - y;
            p.tag = 0;
        } else {
            p.row = (displayHeight + halfH - y) % displayHeight;
            p.tag = 1;
        }
    } else {
        p.column = 2 * (x - halfW);
        p.row = ((y + halfH) % displayHeight + displayHeight) % displayHeight;
        p.tag = p.row < halfH ? 2 : 3;
    }
    // The picture's first column (the Nyquist frequency) has its conjugate
    // at column W, past the packed array, where a dab's reflection would
    // send it to another frequency: it takes the last frequency inside.
    p.column = std::min(p.column * d, std::max(0, displayWidth * d - 2));
    p.row *= d;
    return p;
}

std::vector<SpectrumPoint> StrokeDabs(const SpectrumPoint& last, const SpectrumPoint& now, int radius)
{
    const double dRow = last.row - now.row, dColumn = last.column - now.column;
    const int distance = static_cast<int>(std::sqrt(dRow * dRow + dColumn * dColumn));
    int n = std::max(1, distance * 4 / std::max(1, radius));
    if (last.tag != now.tag)
        n = 0;
    std::vector<SpectrumPoint> dabs;
    if (n == 0) {
        dabs.push_back(now);
        return dabs;
    }
    for (int i = 0; i <= n; ++i) {
        const double t = static_cast<double>(i) / n;
        SpectrumPoint p = now;
        p.row = static_cast<int>(std::trunc(now.row + dRow * t));
        p.column = static_cast<int>(std::trunc(now.column + dColumn * t));
        dabs.push_back(p);
    }
    return dabs;
}

void ApplySpectrumDab(double* red, double* green, double* blue, int width, int height, int row0, int column0,
                      int radius)
{
    const int r = std::max(1, radius);
    const int W = width, H = height;
    for (int dy = -r; dy <= r; ++dy)
        for (int dx = -2 * r; dx <= 2 * r; ++dx) {
            const double e = std::sqrt(double(dx) * dx + 4.0 * dy * dy);
            if (e > 2 * r)
                continue;
            const double f = std::min(1.0, 0.5 + 0.5 * e / (2 * r));
            int c = column0 + dx;
            int rho = (row0 + dy + H) % H;
            if (c < 0) {
                c = -c;
                rho = H - rho;
            } else if (c >= W) {
                c = 2 * W - 1 - c;
                rho = H - rho;
            }
            if (rho < 0) {
                rho = -rho;
                c = W - c;
            } else if (rho >= H) {
                rho = 2 * H - 1 - rho;
                c = W - c;
            }
            if (rho < 0 || rho >= H || c < 0 || c >= W)
                continue;
            const std::size_t i = static_cast<std::size_t>(rho) * W + c;
            red[i] *= f;
            green[i] *= f;
            blue[i] *= f;
        }
}
