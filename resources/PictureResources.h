// resources/PictureResources.h: the application's picture resources, by ID
// (the sliders' artwork). Main thread only.
#pragma once

#include <QImage>

// The triangular slider thumb, 11 wide and 6 high, its point up; white is its
// background (drawn through a mask made from it).
inline constexpr int kSliderThumbPicture = 140;

// The picture with that ID, or a null image for an ID the program lacks.
QImage GetPictureResource(int id);
