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

// Entry i of a colour channel's curve: clamped to N - 1 after the round-up,
// so every entry indexes the master curve.
int32_t ChannelEntry(int i, int numLevels, double low, double high, double gamma, double range)
{
    double v = LevelValue(i, numLevels, low, high, gamma, range);
    if (v >= numLevels)
        v = numLevels - 1;
    return static_cast<int32_t>(std::min<int64_t>(RoundLevel(v, numLevels), numLevels - 1));
}

// Entry i of the master curve: not clamped above, since it only scales the
// channels. Entries are capped at N * N, which is never observable: from
// N * (N - 1) on, every non-zero channel already ends at N - 1.
double MasterEntry(int i, int numLevels, double low, double high, double gamma, double range)
{
    const double ceiling = static_cast<double>(numLevels) * numLevels;
    return static_cast<double>(RoundLevel(std::min(LevelValue(i, numLevels, low, high, gamma, range), ceiling), numLevels));
}

std::size_t PixelCount(int w, int h)
{
    return w > 0 && h > 0 ? static_cast<std::size_t>(w) * static_cast<std::size_t>(h) : 0;
}

// Plane values outside 0 ... N - 1 (FITS and raw imports, the enhancement
// tools) are clamped before they index a table.
int32_t TableIndex(int32_t value, int numLevels)
{
    return std::clamp<int32_t>(value, 0, numLevels - 1);
}

// A curve looked up in a table, or, when the table would hold more entries
// than there are pixels (the levels of a 32-bit FITS stack), evaluated for
// each pixel: the same entries either way. A table of the caller's is used
// as it is when it holds this curve, else built into it.
template <class T, T (*Entry)(int, int, double, double, double, double)> class Curve {
public:
    Curve(int numLevels, double low, double high, double gamma, std::size_t pixels, LevelTable<T>* kept)
        : mNumLevels(numLevels), mLow(low), mHigh(high), mGamma(gamma), mRange(LevelRange(numLevels, low, high))
    {
        if (static_cast<std::size_t>(numLevels) > pixels)
            return;
        LevelTable<T>& t = kept ? *kept : mOwn;
        if (t.numLevels == numLevels && t.low == low && t.high == high && t.gamma == gamma) {
            mTable = &t.entries;
            return;
        }
        t.numLevels = 0; // not this curve until it is built
        t.entries.resize(static_cast<std::size_t>(numLevels));
        for (int i = 0; i < numLevels; ++i)
            t.entries[static_cast<std::size_t>(i)] = Entry(i, numLevels, low, high, gamma, mRange);
        t.numLevels = numLevels;
        t.low = low;
        t.high = high;
        t.gamma = gamma;
        mTable = &t.entries;
    }
    Curve(const Curve&) = delete; // may point into its own table
    Curve& operator=(const Curve&) = delete;
    // The entry for a plane value (clamped into the levels first).
    T operator()(int32_t value) const
    {
        const int32_t i = TableIndex(value, mNumLevels);
        return mTable ? (*mTable)[static_cast<std::size_t>(i)] : Entry(i, mNumLevels, mLow, mHigh, mGamma, mRange);
    }

private:
    int mNumLevels;
    double mLow, mHigh, mGamma, mRange;
    LevelTable<T> mOwn;
    const std::vector<T>* mTable = nullptr;
};
using ChannelCurve = Curve<int32_t, ChannelEntry>;
using MasterCurve = Curve<double, MasterEntry>;

char MaskFor(int32_t value, double low, double high)
{
    if (value < low)
        return kLevelBelowLow;
    if (value > high)
        return kLevelAboveHigh;
    return kLevelInside;
}

} // namespace

void RemapLongImageComponentsFromLevelCutoffs(int32_t* red, int32_t* green, int32_t* blue, int w, int h, int numLevels,
                                              const double* low, const double* high, const double* gamma, char* redMask,
                                              char* greenMask, char* blueMask, LevelTables* tables)
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
    const ChannelCurve redCurve(numLevels, low[1], high[1], gamma[1], count, tables ? &tables->channel[0] : nullptr);
    const ChannelCurve greenCurve(numLevels, low[2], high[2], gamma[2], count, tables ? &tables->channel[1] : nullptr);
    const ChannelCurve blueCurve(numLevels, low[3], high[3], gamma[3], count, tables ? &tables->channel[2] : nullptr);
    // The master's table is not needed when it is the identity.
    const MasterCurve master(numLevels, low[0], high[0], gamma[0], masterIsIdentity ? 0 : count,
                             tables ? &tables->master : nullptr);

    int32_t* planes[3] = {red, green, blue};
    char* masks[3] = {redMask, greenMask, blueMask};
    const ChannelCurve* curves[3] = {&redCurve, &greenCurve, &blueCurve};
    for (std::size_t i = 0; i < count; ++i) {
        for (int c = 0; c < 3; ++c) {
            const int32_t value = planes[c][i];
            masks[c][i] = MaskFor(value, low[c + 1], high[c + 1]);
            planes[c][i] = (*curves[c])(value);
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
        const double f = master(v) / (v == 0 ? 1 : v);
        for (int c = 0; c < 3; ++c) {
            const double scaled = std::trunc(planes[c][i] * f);
            planes[c][i] = scaled >= numLevels ? numLevels - 1 : static_cast<int32_t>(scaled);
        }
    }
}

void RemapLongImageComponentsFromLevelCutoffs(int32_t* plane, int w, int h, int numLevels, double low, double high,
                                              double gamma, char* mask, LevelTable<int32_t>* table)
{
    const std::size_t count = PixelCount(w, h);
    if (numLevels < 1) {
        std::memset(mask, kLevelInside, count);
        return;
    }
    const ChannelCurve curve(numLevels, low, high, gamma, count, table);
    for (std::size_t i = 0; i < count; ++i) {
        const int32_t value = plane[i];
        mask[i] = MaskFor(value, low, high);
        plane[i] = curve(value);
    }
}
