// engine/FrameRenderSteps.cpp: the render's steps bound to the image library.
#include "engine/FrameRenderSteps.h"

#include <atomic>

#include "imaging/Calibration.h"
#include "imaging/MedianFilter.h"
#include "imaging/Rotation.h"
#include "imaging/Transforms.h"
#include "platform/core/GWorldWrapper.h"

namespace {

std::atomic<const FrameRenderSteps*> sStepsForTesting{nullptr};

FrameRenderSteps MakeDefaultSteps()
{
    FrameRenderSteps steps;
    steps.debayer = [](GWorldWrapper& image, BayerPattern pattern, DebayerMethod method) {
        DebayerizeImageFromGreenChannel(image, pattern, method);
    };
    // The clip image belongs to the rendering thread, so it is always "locked"
    // by the operation itself.
    steps.subtractDark = [](GWorldWrapper& image, const GWorldWrapper& dark, bool lockDark, const Rect i[3],
                            const Rect d[3]) {
        SubtractImage(image, dark, true, lockDark, i[0], i[1], i[2], d[0], d[1], d[2]);
    };
    steps.divideFlat = [](GWorldWrapper& image, const GWorldWrapper& flat, bool lockFlat, double factor,
                          const Rect i[3], const Rect f[3]) {
        DivideMultiplyFlatFrame(image, flat, true, lockFlat, factor, i[0], i[1], i[2], f[0], f[1], f[2]);
    };
    steps.deinterlace = [](GWorldWrapper& image) { InterpolateInterlaceImage(image); };
    steps.rotateNearest = [](GWorldWrapper& image, double angle) { return RotateImageNearestNeighbor(image, angle); };
    steps.rotateBilinear = [](GWorldWrapper& image, double angle) { return RotateImageBilinear(image, angle); };
    steps.translate = [](GWorldWrapper& image, Point r, Point g, Point b) { TranslateImage(image, r, g, b); };
    steps.multiply = [](GWorldWrapper& image, double factor) { MultiplyImage(image, factor); };
    steps.median = [](GWorldWrapper& image, int radius, int threshold) { MedianFilterImage(image, radius, threshold); };
    return steps;
}

} // namespace

const FrameRenderSteps& DefaultFrameRenderSteps()
{
    static const FrameRenderSteps steps = MakeDefaultSteps();
    return steps;
}

const FrameRenderSteps& CurrentFrameRenderSteps()
{
    const FrameRenderSteps* steps = sStepsForTesting.load();
    return steps ? *steps : DefaultFrameRenderSteps();
}

void SetFrameRenderStepsForTesting(const FrameRenderSteps* steps)
{
    sStepsForTesting = steps;
}
