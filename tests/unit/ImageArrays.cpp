// tests/unit/ImageArrays.cpp: images as RGB byte arrays for the reference script.
#include "tests/unit/ImageArrays.h"

#include <cstdio>

#include <gtest/gtest.h>

#include "tests/support/PythonReference.h"

std::vector<unsigned char> RgbBytes(const GWorldWrapper& image)
{
    std::vector<unsigned char> bytes;
    bytes.reserve(static_cast<std::size_t>(image.Width()) * image.Height() * 3);
    for (int y = 0; y < image.Height(); ++y) {
        const uint8_t* p = image.PixelRow(y);
        for (int x = 0; x < image.Width(); ++x, p += 4)
            bytes.insert(bytes.end(), {p[1], p[2], p[3]});
    }
    return bytes;
}

std::string WriteRgb(const GWorldWrapper& image, const std::string& dir, const std::string& name)
{
    const std::string path = dir + "/" + name;
    WriteBytes(path, RgbBytes(image));
    return path;
}

bool RunImagingReference(const std::vector<std::string>& args)
{
    std::string output;
    const bool ok = RunPythonScript("imaging_reference.py", args, &output);
    if (!ok)
        ADD_FAILURE() << "reference script failed: " << output;
    return ok;
}

std::string Arg(int value)
{
    return std::to_string(value);
}

std::string Arg(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}
