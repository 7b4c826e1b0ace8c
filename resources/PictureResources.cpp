// resources/PictureResources.cpp: the pictures, drawn from character art.
#include "resources/PictureResources.h"

#include <cstring>

namespace {

// '#' black outline, '+' grey body, '.' white background; the levels
// thumbs' bodies: 'w' near white (pure white would be masked out), 'r', 'g', 'b'.
const char* const kThumbArt[] = {
    ".....#.....", "....#+#....", "...#+++#...", "..#+++++#..", ".#+++++++#.", "###########",
};
const char* const kWhiteThumbArt[4][6] = {
    {".....#.....", "....#w#....", "...#www#...", "..#wwwww#..", ".#wwwwwww#.", "###########"},
    {".....#.....", "....#r#....", "...#rrr#...", "..#rrrrr#..", ".#rrrrrrr#.", "###########"},
    {".....#.....", "....#g#....", "...#ggg#...", "..#ggggg#..", ".#ggggggg#.", "###########"},
    {".....#.....", "....#b#....", "...#bbb#...", "..#bbbbb#..", ".#bbbbbbb#.", "###########"},
};
const char* const kGammaThumbArt[] = {
    ".....#", "....##", "...#+#", "..#++#", ".#+++#", "#++++#", ".#+++#", "..#++#", "...#+#", "....##", ".....#",
};

QRgb ArtColour(char c)
{
    switch (c) {
    case '#':
        return qRgb(0, 0, 0);
    case '+':
        return qRgb(0x80, 0x80, 0x80);
    case 'w':
        return qRgb(0xF0, 0xF0, 0xF0);
    case 'r':
        return qRgb(0xE0, 0, 0);
    case 'g':
        return qRgb(0, 0xC0, 0);
    case 'b':
        return qRgb(0, 0, 0xE0);
    default:
        return qRgb(255, 255, 255);
    }
}

QImage FromArt(const char* const* rows, int height)
{
    const int width = static_cast<int>(std::strlen(rows[0]));
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, ArtColour(rows[y][x]));
        }
    return image;
}

} // namespace

QImage GetPictureResource(int id)
{
    switch (id) {
    case kSliderThumbPicture:
        return FromArt(kThumbArt, 6);
    case kLevelsValueWhiteThumbPicture:
    case kLevelsRedWhiteThumbPicture:
    case kLevelsGreenWhiteThumbPicture:
    case kLevelsBlueWhiteThumbPicture:
        return FromArt(kWhiteThumbArt[id - kLevelsValueWhiteThumbPicture], 6);
    case kLevelsGammaThumbPicture:
        return FromArt(kGammaThumbArt, 11);
    default:
        return QImage();
    }
}
