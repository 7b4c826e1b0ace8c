// engine/AlignmentThreshold.cpp: the alignment brightness threshold and its preview.
#include "engine/AlignmentThreshold.h"

#include <algorithm>
#include <cstdint>

#include "platform/core/GWorldWrapper.h"

int gAlignmentBrightnessThreshold = 0;

void MakeAlignmentThresholdMask(const GWorldWrapper& source, int threshold, GWorldWrapper& mask)
{
    const int width = std::min(source.Width(), mask.Width());
    const int height = std::min(source.Height(), mask.Height());
    for (int y = 0; y < height; ++y) {
        const uint8_t* in = source.PixelRow(y);
        uint8_t* out = mask.PixelRow(y);
        for (int x = 0; x < width; ++x, in += 4, out += 4) {
            // Bytes alpha, red, green, blue: the same test alignment makes of
            // a reference pixel (its pixel value, the largest component).
            const bool kept = in[1] >= threshold || in[2] >= threshold || in[3] >= threshold;
            out[1] = kept ? in[1] : 0;
            out[2] = kept ? in[2] : 0;
            out[3] = kept ? in[3] : 0;
        }
    }
}
