// imaging/StackLevels.cpp: levelling the stack's planes from their saved
// copies, the clipping marks and the automatic black and white points.
#include "imaging/StackLevels.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "imaging/Histogram.h"
#include "imaging/Levels.h"

namespace {

// Full scale of a plane, in display levels.
constexpr double kFullScaleLevels = kLevelsHistogramBins - 1; // 255

// Three int32 colour tables and the double table of the value curve.
constexpr int64_t kTableBytesPerLevel = 3 * sizeof(int32_t) + sizeof(double);

char ClipOf(int32_t value, double black, double white)
{
    if (value < black)
        return kLevelBelowLow;
    if (value > white)
        return kLevelAboveHigh;
    return kLevelInside;
}

// One colour plane from its saved copy with its own levels.
void LevelOnePlane(const int32_t* saved, int32_t* live, std::size_t count, int w, int h, int numLevels,
                   double numFrames, const LevelCutoffs& c, char* map, LevelTable<int32_t>* table)
{
    if (numLevels < 1) {
        std::copy(saved, saved + count, live);
        std::memset(map, kLevelInside, count);
        return;
    }
    if (IsNeutralLevelCutoffs(c, numFrames)) {
        // Exact copy: the neutral curve of a fractional N would move every
        // sum a little, and sums above full scale would be cut.
        for (std::size_t i = 0; i < count; ++i) {
            live[i] = saved[i];
            map[i] = ClipOf(saved[i], c.black, c.white);
        }
        return;
    }
    std::copy(saved, saved + count, live);
    RemapLongImageComponentsFromLevelCutoffs(live, w, h, numLevels, c.black, c.white, c.gammaInverse, map, table);
}

} // namespace

LevelCutoffs NeutralLevelCutoffs(double numFrames)
{
    return LevelCutoffs{0.0, kFullScaleLevels * numFrames, 1.0};
}

bool IsNeutralLevelCutoffs(const LevelCutoffs& c, double numFrames)
{
    return c.black == 0.0 && c.white == kFullScaleLevels * numFrames && c.gammaInverse == 1.0;
}

int StackLevelCount(double numFrames)
{
    const double levels = std::trunc(kLevelsHistogramBins * numFrames);
    if (!(levels >= 1.0)) // NaN too
        return 0;
    if (levels >= static_cast<double>(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    return static_cast<int>(levels);
}

int64_t StackLevelTableBytes(int numLevels, std::size_t pixelCount)
{
    if (numLevels <= 0 || static_cast<std::size_t>(numLevels) > pixelCount)
        return 0; // no tables: the curves are evaluated per pixel
    return int64_t{numLevels} * kTableBytesPerLevel;
}

void LevelStackPlanes(const ConstSumPlanes& saved, const SumPlanes& live, double numFrames,
                      const LevelCutoffs levels[4], LevelPlaneSelection which, const LevelClipMaps& maps,
                      LevelTables* tables)
{
    const int w = live.width, h = live.height;
    const std::size_t count = live.Count();
    const int numLevels = StackLevelCount(numFrames);
    if (which.value && numLevels >= 1 && !IsNeutralLevelCutoffs(levels[kLevelsValue], numFrames)) {
        double low[4], high[4], gamma[4];
        for (int k = 0; k < 4; ++k) {
            low[k] = levels[k].black;
            high[k] = levels[k].white;
            gamma[k] = levels[k].gammaInverse;
        }
        std::copy(saved.red, saved.red + count, live.red);
        std::copy(saved.green, saved.green + count, live.green);
        std::copy(saved.blue, saved.blue + count, live.blue);
        RemapLongImageComponentsFromLevelCutoffs(live.red, live.green, live.blue, w, h, numLevels, low, high, gamma,
                                                 maps.red, maps.green, maps.blue, tables);
        return;
    }
    // With neutral value levels the value curve changes no sum: each colour
    // is levelled on its own, and its clip map says what its own levels cut.
    LevelTable<int32_t>* kept[3] = {};
    if (tables)
        for (int c = 0; c < 3; ++c)
            kept[c] = &tables->channel[c];
    if (which.value || which.red)
        LevelOnePlane(saved.red, live.red, count, w, h, numLevels, numFrames, levels[kLevelsRed], maps.red, kept[0]);
    if (which.value || which.green)
        LevelOnePlane(saved.green, live.green, count, w, h, numLevels, numFrames, levels[kLevelsGreen], maps.green,
                      kept[1]);
    if (which.value || which.blue)
        LevelOnePlane(saved.blue, live.blue, count, w, h, numLevels, numFrames, levels[kLevelsBlue], maps.blue,
                      kept[2]);
}

void MarkLevelClipping(const SumPlanes& live, const LevelClipMaps& maps, bool red, bool green, bool blue,
                       double numFrames)
{
    const double top = std::trunc(numFrames * kFullScaleLevels);
    const int32_t white = top >= std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                          : top > 0.0                                ? static_cast<int32_t>(top)
                                                                     : 0;
    const std::size_t count = live.Count();
    auto mark = [&](int32_t* plane, const char* map) {
        for (std::size_t i = 0; i < count; ++i) {
            if (map[i] == kLevelBelowLow)
                plane[i] = white;
            else if (map[i] == kLevelAboveHigh)
                plane[i] = 0;
        }
    };
    if (red)
        mark(live.red, maps.red);
    if (green)
        mark(live.green, maps.green);
    if (blue)
        mark(live.blue, maps.blue);
}

void AutoLevelCutoffs(const Histogram& histogram, double percentage, double numFrames, double& black, double& white)
{
    const LevelCutoffs neutral = NeutralLevelCutoffs(numFrames);
    black = neutral.black;
    white = neutral.white;
    if (histogram.NumBins() < kLevelsHistogramBins)
        return;
    double total = 0.0;
    for (int b = 0; b < kLevelsHistogramBins; ++b)
        total += histogram.GetBin(b);
    if (!(total > 0.0))
        return; // nothing counted: every bin would pass, crossing the points
    const double p =
        std::clamp(std::isnan(percentage) ? 0.0 : percentage, kAutoLevelsPercentageMin, kAutoLevelsPercentageMax) /
        100.0;
    black = 0.0;
    white = std::trunc(kFullScaleLevels * numFrames);
    double sum = 0.0;
    for (int b = 0; b < kLevelsHistogramBins; ++b) {
        sum += histogram.GetBin(b);
        if (sum > p)
            break;
        black = std::trunc(b * numFrames);
    }
    sum = 0.0;
    for (int b = kLevelsHistogramBins - 1; b >= 0; --b) {
        sum += histogram.GetBin(b);
        if (sum > p)
            break;
        white = std::trunc(b * numFrames);
    }
    if (!(black < white)) {
        // Cannot happen for counts summing to 1 (each end clips less than
        // half); a histogram normalised otherwise must not invert the levels.
        black = neutral.black;
        white = neutral.white;
    }
}
