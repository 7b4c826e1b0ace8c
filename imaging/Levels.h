// imaging/Levels.h: levels remapping of the summed stack's integer planes.
#pragma once

#include <cstdint>
#include <vector>

// Clip mask values, one byte per pixel and channel.
constexpr char kLevelInside = 0;
constexpr char kLevelBelowLow = 1;
constexpr char kLevelAboveHigh = 2;

// A curve's table kept by its caller, with the curve it holds (numLevels 0:
// none yet).
template <class T> struct LevelTable {
    int numLevels = 0;
    double low = 0.0, high = 0.0, gamma = 0.0;
    std::vector<T> entries;
};
// The tables of the three colour curves and the master curve.
struct LevelTables {
    LevelTable<int32_t> channel[3];
    LevelTable<double> master;
};

// Three-channel remap with a master curve, in place. Planes hold w * h values
// meant to lie in 0 ... numLevels - 1 (values outside are clamped before they
// index a table). low, high and gamma are arrays of four, in level units:
// index 0 the master (applied to the pixel value), 1 red, 2 green, 3 blue.
// Each mask receives w * h bytes: kLevelBelowLow / kLevelAboveHigh where the
// input value of that channel lies below low / above high, and all three
// overwritten by the master's test on the remapped pixel value.
// numLevels < 1 zeroes the masks and changes nothing else. Each curve is
// looked up in a table of numLevels entries built first, or, when that is
// more entries than the planes have pixels, evaluated for every pixel (the
// same values). tables (may be null) keeps the tables from call to call: one
// whose curve is unchanged is not built again. When a table cannot be
// allocated std::bad_alloc is thrown with planes and masks untouched.
// Main thread in the program; touches only its arguments.
void RemapLongImageComponentsFromLevelCutoffs(int32_t* red, int32_t* green, int32_t* blue, int w, int h, int numLevels,
                                              const double* low, const double* high, const double* gamma, char* redMask,
                                              char* greenMask, char* blueMask, LevelTables* tables = nullptr);

// One plane, in place, with its own mask (same rules, no master).
void RemapLongImageComponentsFromLevelCutoffs(int32_t* plane, int w, int h, int numLevels, double low, double high,
                                              double gamma, char* mask, LevelTable<int32_t>* table = nullptr);
