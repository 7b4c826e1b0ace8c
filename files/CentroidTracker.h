// files/CentroidTracker.h: following a bright target from movie frame to
// movie frame by its brightness centroid.
#pragma once

#include "platform/core/Geometry.h"

class GWorldWrapper;

// Where the target of rect moved to in image: rect is the crop rectangle as
// placed by the user, firstCentroid the target's centroid measured in it on
// the first frame (CalculateValueCentroid, threshold 0), offset the result
// for the previous frame ((0, 0) at first). The rectangle, moved by offset,
// is moved onto the centroid up to 20 times; it is kept inside the image
// (a rectangle larger than the image keeps its top-left at 0 on that axis),
// and every measurement reads only the part of it inside the image. Returns
// the rectangle's new top-left minus rect's top-left as (v, h). Any thread;
// touches only image's pixels, read.
Point DetermineAlignmentByCentroid(const GWorldWrapper& image, Rect rect, Point firstCentroid, Point offset);
