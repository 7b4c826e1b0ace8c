// platform/qt/MaskedPicture.cpp: pictures drawn through their own mask.
#include "platform/qt/MaskedPicture.h"

bool PictureMaskBit(const QImage& picture, int x, int y)
{
    if (x < 0 || y < 0 || x >= picture.width() || y >= picture.height())
        return false;
    return (picture.pixel(x, y) & 0xFFFFFFu) != 0xFFFFFFu;
}

void DrawPictureThroughMask(QImage& target, int left, int top, const QImage& picture)
{
    if (picture.isNull())
        return;
    if (target.format() != QImage::Format_RGB32 && target.format() != QImage::Format_ARGB32)
        return;
    for (int y = 0; y < picture.height(); ++y) {
        const int ty = top + y;
        if (ty < 0 || ty >= target.height())
            continue;
        auto* row = reinterpret_cast<QRgb*>(target.scanLine(ty));
        for (int x = 0; x < picture.width(); ++x) {
            const int tx = left + x;
            if (tx >= 0 && tx < target.width() && PictureMaskBit(picture, x, y))
                row[tx] = 0xFF000000u | (picture.pixel(x, y) & 0xFFFFFFu);
        }
    }
}
