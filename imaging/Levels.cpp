// imaging/Levels.cpp: level lookup tables and the remap of the stack planes.
#include "imaging/Levels.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <vector>

namespace {

// One entry of a level table before rounding:
//   range = (H - L) + N / 256 (integer division; a range <= 0 counts as 1)
//   v = (((i - L) / range) ^ g) * N   for L < i < H (the curve)
//   v = (i - L) * N / range           elsewhere (the straight line)
// then clamped below at 0. Users compare levels against earlier sessions by
// eye, so the formula and its order of operations stay exactly as they are.
double LevelValue(int i, int numLevels, double low, double high, double gamma, double range)
{
    double v;
    if (low < i && i < high)
        v = std::pow((i - low) / range, gamma) * numLevels;
    else
        v = (i - low) * numLevels / range;
    return v >= 0.0 ? v : 0.0; // also maps a NaN from absurd parameters to 0
}

double LevelRange(int numLevels, double low, double high)
{
    const double range = (high - low) + numLevels / 256;
    return range > 0.0 ? range : 1.0;
}

// The program's round-up: trunc(v), plus 1 when the first decimal digit of v
// is 5 or more and the result stays below 255 * N. (Not std::round: entries
// whose digits past the first decide differ.)
int64_t RoundLevel(double v, int numLevels)
{
    const int64_t t = static_cast<int64_t>(v);
    const double firstDecimal = std::fmod(std::trunc(v * 10.0), 10.0);
    if (firstDecimal >= 5.0 && t < int64_t{255} * numLevels)
        return t + 1;
    return t;
}

// Table of a colour channel: entries clamped to N - 1 after the round-up,
// so every entry indexes the master table.
std::vector<int32_t> ChannelTable(int numLevels, double low, double high, double gamma)
{
    std::vector<int32_t> table(static_cast<std::size_t>(numLevels));
    const double range = LevelRange(numLevels, low, high);
    const double top = numLevels - 1;
    for (int i = 0; i < numLevels; ++i) {
        double v = LevelValue(i, numLevels, low, high, gamma, range);
        if (v >= numLevels)
            v = top;
        table[static_cast<std::size_t>(i)] =
            static_cast<int32_t>(std::min<int64_t>(RoundLevel(v, numLevels), numLevels - 1));
    }
    return table;
}

// Table of the master curve: not clamped above, since it only scales the
// channels. Entries are capped at N * N, which is never observable: from
// N * (N - 1) on, every non-zero channel already ends at N - 1.
std::vector<double> MasterTable(int numLevels, double low, double high, double gamma)
{
    std::vector<double> table(static_cast<std::size_t>(numLevels));
    const double range = LevelRange(numLevels, low, high);
    const double ceiling = static_cast<double>(numLevels) * numLevels;
    for (int i = 0; i < numLevels; ++i) {
        const double v = std::min(LevelValue(i, numLevels, low, high, gamma, range), ceiling);
        table[static_cast<std::size_t>(i)] = static_cast<double>(RoundLevel(v, numLevels));
    }
    return table;
}

std::size_t PixelCount(int w, int h)
{
    return w > 0 && h > 0 ? static_cast<std::size_t>(w) * static_cast<std::size_t>(h) : 0;
}

char MaskFor(int32_t value, double low, double high)
{
    if (value < low)
        return kLevelBelowLow;
    if (value > high)
        return kLevelAboveHigh;
    return kLevelInside;
}

// Plane values outside 0 ... N - 1 (FITS and raw imports, the enhancement
// tools) are clamped before they index a table.
int32_t TableIndex(int32_t value, int numLevels)
{
    return std::clamp<int32_t>(value, 0, numLevels - 1);
}

} // namespace

void RemapLongImageComponentsFromLevelCutoffs(int32_t* red, int32_t* green, int32_t* blue, int w, int h, int numLevels,
                                              const double* low, const double* high, const double* gamma, char* redMask,
                                              char* greenMask, char* blueMask)
{
    const std::size_t count = PixelCount(w, h);
    if (numLevels < 1) {
        // No clip included: nothing to remap.
        std::memset(redMask, kLevelInside, count);
        std::memset(greenMask, kLevelInside, count);
        std::memset(blueMask, kLevelInside, count);
        return;
    }
    // Tables first, so running out of memory leaves planes and masks as they were.
    const bool masterIsIdentity = low[0] == 0.0 && high[0] == numLevels - 1 && gamma[0] == 1.0;
    const std::vector<int32_t> redTable = ChannelTable(numLevels, low[1], high[1], gamma[1]);
    const std::vector<int32_t> greenTable = ChannelTable(numLevels, low[2], high[2], gamma[2]);
    const std::vector<int32_t> blueTable = ChannelTable(numLevels, low[3], high[3], gamma[3]);
    const std::vector<double> masterTable =
        masterIsIdentity ? std::vector<double>() : MasterTable(numLevels, low[0], high[0], gamma[0]);

    int32_t* planes[3] = {red, green, blue};
    char* masks[3] = {redMask, greenMask, blueMask};
    const std::vector<int32_t>* tables[3] = {&redTable, &greenTable, &blueTable};
    for (std::size_t i = 0; i < count; ++i) {
        for (int c = 0; c < 3; ++c) {
            const int32_t value = planes[c][i];
            masks[c][i] = MaskFor(value, low[c + 1], high[c + 1]);
            planes[c][i] = (*tables[c])[static_cast<std::size_t>(TableIndex(value, numLevels))];
        }
        if (masterIsIdentity)
            continue;
        const int32_t v = std::max({red[i], green[i], blue[i]});
        if (v < low[0])
            redMask[i] = greenMask[i] = blueMask[i] = kLevelBelowLow;
        else if (v > high[0])
            redMask[i] = greenMask[i] = blueMask[i] = kLevelAboveHigh;
        // The master scales all three channels alike, which keeps the hue;
        // the ratio is taken in double so it is not floored.
        const double f = masterTable[static_cast<std::size_t>(v)] / (v == 0 ? 1 : v);
        for (int c = 0; c < 3; ++c) {
            const double scaled = std::trunc(planes[c][i] * f);
            planes[c][i] = scaled >= numLevels ? numLevels - 1 : static_cast<int32_t>(scaled);
        }
    }
}

void RemapLongImageComponentsFromLevelCutoffs(int32_t* plane, int w, int h, int numLevels, double low, double high,
                                              double gamma, char* mask)
{
    const std::size_t count = PixelCount(w, h);
    if (numLevels < 1) {
        std::memset(mask, kLevelInside, count);
        return;
    }
    const std::vector<int32_t> table = ChannelTable(numLevels, low, high, gamma);
    for (std::size_t i = 0; i < count; ++i) {
        const int32_t value = plane[i];
        mask[i] = MaskFor(value, low, high);
        plane[i] = table[static_cast<std::size_t>(TableIndex(value, numLevels))];
    }
}
