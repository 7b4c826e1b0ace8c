// engine/CalibrationFrames.cpp: the document's calibration data.
#include "engine/CalibrationFrames.h"

#include <algorithm>

#include "platform/core/GWorldWrapper.h"

std::unique_ptr<GWorldWrapper> gDarkFrame;
std::unique_ptr<GWorldWrapper> gFlatFrame;
double gAverageFlatFieldValue = 0.0;
HotPixelMask gHotPixelMask;
int32_t gPreviousHotPixelMaskThreshold = 256;
int32_t gPreviousHotPixelMaskRadius = 0;

void HotPixelMask::Reset(int newWidth, int newHeight)
{
    std::vector<uint8_t> fresh(
        static_cast<std::size_t>(std::max(0, newWidth)) * static_cast<std::size_t>(std::max(0, newHeight)), 0);
    pixels.swap(fresh);
    width = std::max(0, newWidth);
    height = std::max(0, newHeight);
}

void HotPixelMask::Clear()
{
    pixels.clear();
    pixels.shrink_to_fit();
    width = height = 0;
}

bool HotPixelMask::HasAnyHotPixel() const
{
    return std::any_of(pixels.begin(), pixels.end(), [](uint8_t v) { return v != 0; });
}
