// engine/ClipsWindowLayout.cpp: grid geometry of the clips window.
#include "engine/ClipsWindowLayout.h"

#include <algorithm>
#include <cmath>

#include "engine/Frame.h"
#include "shell/ImageDim.h"

Point gClipDim;
int gClipWindowFirstClip = 0;
int gNumClipsPerClipWindowPage = 0;

namespace {

ClipsGrid sGrid; // sClipWindowDimInClips and sClipsWindowDim as last laid out

// The thumbnails' larger side.
constexpr int kMaxClipDimSide = 128;

// Whole part of a / b, plus one when its first decimal is 5 or more.
int DivideRoundingAtFirstDecimal(int a, int b, bool allowRoundUp)
{
    int whole = a / b;
    const double quotient = double(a) / double(b);
    const int firstDecimal = static_cast<int>(std::trunc(quotient * 10.0)) % 10;
    if (allowRoundUp && firstDecimal >= 5)
        ++whole;
    return whole;
}

} // namespace

Point ScaledClipSize(int width, int height, int side)
{
    if (width <= 0 || height <= 0 || side <= 0)
        return Point{};
    const double s = std::max(double(width) / side, double(height) / side);
    const int w = std::max(1, static_cast<int>(std::trunc(width / s)));
    const int h = std::max(1, static_cast<int>(std::trunc(height / s)));
    return MakePoint(h, w);
}

void SetMaxClipDim(Rect image)
{
    if (gImageDim.IsEmpty() || image.IsEmpty())
        return;
    const Point size = ScaledClipSize(image.Width(), image.Height(), kMaxClipDimSide);
    gMaxClipDim = MakeRect(0, 0, size.v, size.h);
}

ClipsLayout ComputeClipsLayout(const ClipsLayoutInput& in)
{
    ClipsLayout out;
    out.clipDim = ScaledClipSize(in.imageWidth, in.imageHeight, in.maxClipSide);
    const int slotW = std::max<int>(1, out.clipDim.h), slotH = std::max<int>(1, out.clipDim.v);
    const int hMax = std::max(slotH, in.maxContentHeight);

    int width = in.contentWidth, height = in.contentHeight;
    if (width == 1 && height == 1) { // never laid out
        width = in.preferredWidth;
        height = hMax;
    }
    width = std::max(1, width);
    height = std::max(1, height);

    int columns = std::max(1, DivideRoundingAtFirstDecimal(width, slotW, true));
    int rows = height / slotH;
    rows = std::max(1, DivideRoundingAtFirstDecimal(height, slotH, rows * slotH < hMax));
    int page = columns * rows;

    const int n = std::max(1, in.numClips);
    while (page >= n + columns)
        page -= columns;
    while (page > columns && (page / columns) * slotH > hMax)
        page -= columns;
    if (page > n && page / columns == 1) {
        columns = n;
        page = n;
    }
    out.columns = columns;
    out.rows = page / columns;
    out.page = page;
    out.contentWidth = columns * slotW;
    out.contentHeight = out.rows * slotH;
    return out;
}

const ClipsGrid& CurrentClipsGrid()
{
    return sGrid;
}

void SetCurrentClipsGrid(const ClipsGrid& grid)
{
    sGrid = grid;
}

Rect ClipRectForIndex(int clip, int contentWidth)
{
    const int slotW = gClipDim.h, slotH = gClipDim.v;
    if (slotW < 1 || slotH < 1 || contentWidth < slotW)
        return kNoClipRect;
    if (clip < gClipWindowFirstClip || clip >= gClipWindowFirstClip + gNumClipsPerClipWindowPage)
        return kNoClipRect;
    const int q = contentWidth / slotW;
    const int k = clip - gClipWindowFirstClip;
    const int left = (k % q) * slotW, top = (k / q) * slotH;
    return MakeRect(top, left, top + slotH, left + slotW);
}

int ClipIndexAtPoint(Point p, int contentWidth, int contentHeight, int numClips)
{
    const int slotW = gClipDim.h, slotH = gClipDim.v;
    if (slotW < 1 || slotH < 1 || p.h < 0 || p.v < 0 || p.h >= contentWidth || p.v >= contentHeight)
        return -1;
    const int q = contentWidth / slotW;
    const int column = p.h / slotW;
    if (column >= q)
        return -1;
    const int clip = (p.v / slotH) * q + column + gClipWindowFirstClip;
    if (clip >= gClipWindowFirstClip + gNumClipsPerClipWindowPage || clip >= numClips)
        return -1;
    return clip;
}

bool markMoreClipsBehind(int clip)
{
    return clip == gClipWindowFirstClip && clip != 0;
}

bool markMoreClipsAhead(int clip, int numClips)
{
    return clip == gClipWindowFirstClip + gNumClipsPerClipWindowPage - 1 && clip != numClips - 1;
}
