// platform/qt/MaskedPicture.h: drawing a small picture through a one-bit mask
// made from the picture itself, so that its white background leaves what lies
// beneath showing (slider thumbs and other artwork). Main thread only.
#pragma once

#include <QImage>

// The mask of picture: true where a pixel is not pure white.
bool PictureMaskBit(const QImage& picture, int x, int y);

// Copies the pixels of picture whose mask bit is set into target with the
// picture's top-left at (left, top); the rest of target is untouched. Clipped
// to target. target must be Format_RGB32 or Format_ARGB32; a null picture
// draws nothing.
void DrawPictureThroughMask(QImage& target, int left, int top, const QImage& picture);
