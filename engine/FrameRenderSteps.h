// engine/FrameRenderSteps.h: the image operations a clip's render calls, held
// in a table so that tests can watch or replace each step.
#pragma once

#include <functional>

#include "imaging/Demosaic.h"
#include "platform/core/Geometry.h"

class GWorldWrapper;

// Rect arrays are red, green, blue. Each entry behaves as the image library's
// operation of the same role (and may throw std::bad_alloc the same way).
struct FrameRenderSteps {
    std::function<void(GWorldWrapper& image, BayerPattern, DebayerMethod)> debayer;
    std::function<void(GWorldWrapper& image, const GWorldWrapper& dark, bool lockDark, const Rect imageRects[3],
                       const Rect darkRects[3])>
        subtractDark;
    std::function<void(GWorldWrapper& image, const GWorldWrapper& flat, bool lockFlat, double factor,
                       const Rect imageRects[3], const Rect flatRects[3])>
        divideFlat;
    std::function<void(GWorldWrapper& image)> deinterlace;
    std::function<bool(GWorldWrapper& image, double angle)> rotateNearest;
    std::function<bool(GWorldWrapper& image, double angle)> rotateBilinear;
    std::function<void(GWorldWrapper& image, Point red, Point green, Point blue)> translate;
    std::function<void(GWorldWrapper& image, double factor)> multiply;
    std::function<void(GWorldWrapper& image, int radius, int threshold)> median;
};

// The image library's operations.
const FrameRenderSteps& DefaultFrameRenderSteps();

// The table renders use now.
const FrameRenderSteps& CurrentFrameRenderSteps();

// Test hook: renders use *steps (not owned; must outlive its use) until
// called with null. Set only while no render runs.
void SetFrameRenderStepsForTesting(const FrameRenderSteps* steps);
