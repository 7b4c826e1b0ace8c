// resources/PictureResources.h: the application's picture resources, by ID
// (the sliders' artwork). Main thread only.
#pragma once

#include <QImage>

// The triangular slider thumb, 11 wide and 6 high, its point up; white is its
// background (drawn through a mask made from it).
inline constexpr int kSliderThumbPicture = 140;
// The levels slider's white-point thumbs (same shape) for the pixel value,
// red, green and blue, and its gamma thumb, 6 wide and 11 high, its point left.
inline constexpr int kLevelsValueWhiteThumbPicture = 141;
inline constexpr int kLevelsRedWhiteThumbPicture = 142;
inline constexpr int kLevelsGreenWhiteThumbPicture = 143;
inline constexpr int kLevelsBlueWhiteThumbPicture = 144;
inline constexpr int kLevelsGammaThumbPicture = 145;

// The picture with that ID, or a null image for an ID the program lacks.
QImage GetPictureResource(int id);
