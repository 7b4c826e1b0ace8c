// tests/unit/ImageArrays.h: images as plain RGB byte arrays, for handing test
// images to the numpy/scipy reference script and reading its answers back.
#pragma once

#include <string>
#include <vector>

#include "platform/core/GWorldWrapper.h"

// Red, green, blue of every pixel, row-major, 3 bytes a pixel (numpy shape
// (height, width, 3)).
std::vector<unsigned char> RgbBytes(const GWorldWrapper& image);

// Writes RgbBytes(image) to a fresh file in dir and returns its path.
std::string WriteRgb(const GWorldWrapper& image, const std::string& dir, const std::string& name);

// Runs tests/reference/imaging_reference.py with args; fails the calling test
// (ADD_FAILURE) with the script's output when it does not succeed.
bool RunImagingReference(const std::vector<std::string>& args);

// Text of an int, for script arguments.
std::string Arg(int value);
std::string Arg(double value);
