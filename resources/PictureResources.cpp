// resources/PictureResources.cpp: the pictures, drawn from character art.
#include "resources/PictureResources.h"

#include <cstring>

namespace {

// '#' black outline, '+' grey body, '.' white background.
const char* const kThumbArt[] = {
    ".....#.....", "....#+#....", "...#+++#...", "..#+++++#..", ".#+++++++#.", "###########",
};

QImage FromArt(const char* const* rows, int height)
{
    const int width = static_cast<int>(std::strlen(rows[0]));
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const char c = rows[y][x];
            image.setPixel(x, y, c == '#' ? qRgb(0, 0, 0) : c == '+' ? qRgb(0x80, 0x80, 0x80) : qRgb(255, 255, 255));
        }
    return image;
}

} // namespace

QImage GetPictureResource(int id)
{
    switch (id) {
    case kSliderThumbPicture:
        return FromArt(kThumbArt, 6);
    default:
        return QImage();
    }
}
