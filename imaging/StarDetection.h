// imaging/StarDetection.h: finding the stars of the summed stack. A star
// grows from a seed pixel at or above a brightness threshold through the
// 4-connected pixels at or above a lower spread threshold; it is kept when
// its area lies within a size window. Values are in stack units (a pixel's
// value is the largest of its three sums).
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/SumPlanes.h"
#include "platform/core/Geometry.h"

// One detected star: its inclusive bounding rectangle (top, left, bottom,
// right all inside the star's extent), its centre ((top + bottom) / 2,
// (left + right) / 2, integer division) and a mask of the rectangle's pixels,
// row by row from the top-left, 1 = star pixel.
class Star {
public:
    explicit Star(Rect bounds);

    Rect bounds;
    Point centre;
    std::vector<uint8_t> mask;

    int MaskWidth() const { return bounds.right - bounds.left + 1; }
    int MaskHeight() const { return bounds.bottom - bounds.top + 1; }
    // The mask bit of image pixel (x, y), which must lie in the bounds.
    bool IsStarPixel(int x, int y) const
    {
        return mask[static_cast<std::size_t>(y - bounds.top) * MaskWidth() + (x - bounds.left)] != 0;
    }
};

// Ranges of the settings.
constexpr int kStarMinArea = 1;
constexpr int kStarMaxArea = 4096; // also the most a single fill claims

struct StarFindParams {
    int brightness = 0;         // seed level, stack units
    int spread = 0;             // level of the pixels that belong to a star, stack units
    int minArea = kStarMinArea; // pixels, kStarMinArea .. kStarMaxArea
    int maxArea = kStarMaxArea; // pixels
};

// Classes of the fill's map.
constexpr uint8_t kStarClassNone = 0;
constexpr uint8_t kStarClassSpread = 1;
constexpr uint8_t kStarClassSeed = 2;

// The class map: seed where seedMap is non-zero (null: everywhere) and the
// value is at least brightness; otherwise spread where the value is at least
// spread; otherwise none. classes receives width × height bytes.
void ClassifyStarPixels(const ConstSumPlanes& planes, const uint8_t* seedMap, int brightness, int spread,
                        std::vector<uint8_t>& classes);

// The depth-first 4-neighbour fill from the pixel at bounds' top-left (already
// claimed by the caller, bounds = that pixel, area = 1) over the pixels whose
// class is above none: at each pixel the neighbours left, up, right, down that
// lie in the image are claimed in that order (class set to none, area + 1,
// bounds widened), then visited in the same order. It stops at once when the
// area exceeds kStarMaxArea - 1, leaving area kStarMaxArea and the bounds
// reached; unclaimed pixels keep their classes. Any thread.
void FindStarBoundingRect(std::vector<uint8_t>& classes, int width, int height, Rect& bounds, int& area);

// Marks the star's mask where the pixel's value is at least spread
// (neighbouring bright objects inside the rectangle included).
void MakeStarMask(const ConstSumPlanes& planes, int spread, Star& star);

// Every star of the planes, in the order of their seeds' first pixels (row by
// row): each pixel still classed seed starts a fill; a star is kept when
// minArea <= area <= maxArea (the pixels of a rejected fill are consumed).
// seedMap: width × height bytes, non-zero where seeding is allowed (null:
// everywhere). Throws std::bad_alloc; any thread on its own arrays.
std::vector<Star> FindStars(const ConstSumPlanes& planes, const uint8_t* seedMap, const StarFindParams& params);
