// tests/unit/SteerablePyramidFiltersTest.cpp: the compiled steerable-pyramid filter set against its data
// file, its quoted taps and sums, its symmetries and its frequency responses (direct DTFT in the test).
#include "imaging/SteerablePyramidFilters.h"

#include <cmath>
#include <complex>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Quoted taps are printed to 10 or more significant digits; sums to 9 or 10.
constexpr double kTapTolerance = 1e-10;
constexpr double kSumTolerance = 1e-9;
// Responses are quoted to two digits.
constexpr double kResponseTolerance = 0.02;

struct Filter {
    int d = 0;
    std::vector<double> v; // row-major, row = y downward
    double at(int row, int col) const { return v[static_cast<std::size_t>(row) * d + col]; }
};

// Parses the data file: '#' lines, then blocks "filter I D" followed by D rows of D values.
std::vector<Filter> ReadDataFile(std::string* error)
{
    std::ifstream in(VELMORA_PYRAMID_FILTER_FILE);
    std::vector<Filter> filters;
    if (!in) {
        *error = "cannot open " VELMORA_PYRAMID_FILTER_FILE;
        return filters;
    }
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream header(line);
        std::string word;
        int index = -1;
        Filter f;
        header >> word >> index >> f.d;
        if (word != "filter" || index != static_cast<int>(filters.size())) {
            *error = "unexpected line: " + line;
            return {};
        }
        for (int r = 0; r < f.d; ++r) {
            std::getline(in, line);
            std::istringstream row(line);
            std::string token;
            int count = 0;
            while (row >> token) {
                // strtod gives the correctly rounded double, as the compiler does for the table's literals.
                f.v.push_back(std::strtod(token.c_str(), nullptr));
                ++count;
            }
            if (count != f.d) {
                *error = "row of " + std::to_string(count) + " values in filter " + std::to_string(index);
                return {};
            }
        }
        filters.push_back(f);
    }
    return filters;
}

Filter Compiled(int i)
{
    Filter f;
    f.d = skgFilterDims[i];
    f.v.assign(skgFilters[i], skgFilters[i] + f.d * f.d);
    return f;
}

Filter Loaded(int i, bool synthesis)
{
    Filter f;
    f.d = PyramidFilterDim(i);
    const double* p = synthesis ? PyramidSynthesisFilter(i) : PyramidAnalysisFilter(i);
    f.v.assign(p, p + f.d * f.d);
    return f;
}

double Sum(const Filter& f)
{
    double s = 0.0;
    for (double x : f.v)
        s += x;
    return s;
}

// |H(fx, fy)| with the filter's centre tap at the origin; fx along columns (x to the right), fy along rows.
double Response(const Filter& f, double fx, double fy)
{
    const int c = f.d / 2;
    std::complex<double> h = 0.0;
    for (int i = 0; i < f.d; ++i)
        for (int j = 0; j < f.d; ++j)
            h += f.at(i, j) * std::polar(1.0, -2.0 * M_PI * (fx * (j - c) + fy * (i - c)));
    return std::abs(h);
}

} // namespace

TEST(SteerablePyramidFilters, CompiledTableEqualsDataFileExactly)
{
    std::string error;
    const std::vector<Filter> file = ReadDataFile(&error);
    ASSERT_EQ(file.size(), 7u) << error;
    const int dims[7] = {15, 9, 17, 9, 9, 9, 9};
    for (int i = 0; i < kNumPyramidFilters; ++i) {
        ASSERT_EQ(skgFilterDims[i], dims[i]);
        ASSERT_EQ(file[i].d, dims[i]);
        for (int k = 0; k < dims[i] * dims[i]; ++k)
            ASSERT_EQ(skgFilters[i][k], file[i].v[k]) << "filter " << i << " element " << k;
        for (int k = dims[i] * dims[i]; k < kPyramidFilterSlotSize; ++k)
            ASSERT_EQ(skgFilters[i][k], 0.0) << "slot " << i << " padding " << k;
    }
}

TEST(SteerablePyramidFilters, QuotedTapsAndSums)
{
    const Filter f0 = Compiled(0), f1 = Compiled(1), f2 = Compiled(2), f3 = Compiled(3), f4 = Compiled(4);
    const double row0[8] = {0.0020898699295, 0.0019755100366,  -0.00083368999185, -0.0051014497876,
                            0.0073032598011, -0.0093812197447, -0.1554141641,     0.7303866148};
    for (int j = 0; j < 8; ++j) {
        EXPECT_NEAR(f0.at(7, j), row0[j], kTapTolerance) << j;
        EXPECT_NEAR(f0.at(7, 14 - j), row0[j], kTapTolerance) << j;
        EXPECT_NEAR(f0.at(j, 7), row0[j], kTapTolerance) << j; // the centre column, by symmetry
    }
    EXPECT_NEAR(Sum(f0), 1.36e-7, kSumTolerance);

    const double row1[5] = {0.0025240099058, 0.0011076199589, -0.032971370965, 0.181160301, 0.4376249909};
    for (int j = 0; j < 5; ++j) {
        EXPECT_NEAR(f1.at(4, j), row1[j], kTapTolerance) << j;
        EXPECT_NEAR(f1.at(4, 8 - j), row1[j], kTapTolerance) << j;
        EXPECT_NEAR(f1.at(j, 4), row1[j], kTapTolerance) << j;
        EXPECT_NEAR(f1.at(8 - j, 4), row1[j], kTapTolerance) << j;
    }
    EXPECT_NEAR(Sum(f1), 1.0000000149, kSumTolerance);

    EXPECT_NEAR(f2.at(8, 8), 0.2120374441, kTapTolerance);
    EXPECT_NEAR(Sum(f2), 1.999999762, kSumTolerance);

    const double column3[4] = {0.01417945046, 0.0085267601535, 0.053605638444, -0.1768419296};
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(f3.at(i, 4), column3[i], kTapTolerance) << i;
        EXPECT_NEAR(f3.at(8 - i, 4), -column3[i], kTapTolerance) << i;
    }
    for (int j = 0; j < 9; ++j)
        EXPECT_EQ(f3.at(4, j), 0.0) << j;

    const double row4[4] = {-0.0046670897864, 0.002086560009, 0.024427289143, 0.1510555595};
    for (int j = 0; j < 4; ++j) {
        EXPECT_NEAR(f4.at(4, j), row4[j], kTapTolerance) << j;
        EXPECT_NEAR(f4.at(4, 8 - j), -row4[j], kTapTolerance) << j;
        EXPECT_NEAR(f4.at(j, 4), -row4[j], kTapTolerance) << j; // f(i, j) = -f(j, i)
    }
    for (int k = 0; k < 9; ++k)
        EXPECT_EQ(f4.at(k, k), 0.0) << k;
    for (int i = 3; i < 7; ++i)
        EXPECT_NEAR(Sum(Compiled(i)), 0.0, kSumTolerance) << i;
}

TEST(SteerablePyramidFilters, SymmetriesHoldExactly)
{
    for (int i = 0; i < 3; ++i) {
        const Filter f = Compiled(i);
        const int n = f.d - 1;
        for (int r = 0; r < f.d; ++r)
            for (int c = 0; c < f.d; ++c) {
                ASSERT_EQ(f.at(r, c), f.at(r, n - c)) << "left-right, filter " << i;
                ASSERT_EQ(f.at(r, c), f.at(n - r, c)) << "up-down, filter " << i;
                ASSERT_EQ(f.at(r, c), f.at(c, r)) << "transposition, filter " << i;
            }
    }
    const Filter f3 = Compiled(3), f4 = Compiled(4), f5 = Compiled(5), f6 = Compiled(6);
    for (int r = 0; r < 9; ++r)
        for (int c = 0; c < 9; ++c) {
            ASSERT_EQ(f3.at(r, c), f3.at(r, 8 - c)) << "filter 3 left-right";
            ASSERT_EQ(f3.at(r, c), -f3.at(8 - r, c)) << "filter 3 up-down";
            ASSERT_EQ(f4.at(r, c), -f4.at(c, r)) << "filter 4 antisymmetric under transposition";
            // A column-major reading of the band set would transpose filters 3 to 5; these catch it.
            ASSERT_EQ(f5.at(r, c), -f3.at(c, r)) << "filter 5 = -transpose of filter 3";
            ASSERT_EQ(f6.at(r, c), f4.at(8 - r, c)) << "filter 6 = filter 4 upside down";
            ASSERT_EQ(f6.at(r, c), f6.at(c, r)) << "filter 6 transposition";
            for (int i = 3; i < 7; ++i)
                ASSERT_EQ(Compiled(i).at(r, c), -Compiled(i).at(8 - r, 8 - c)) << "band " << i << " odd";
        }
}

TEST(SteerablePyramidFilters, LoadedFiltersHalveTheLowpassAndTurnForSynthesis)
{
    for (int i = 0; i < kNumPyramidFilters; ++i) {
        const Filter compiled = Compiled(i), analysis = Loaded(i, false), synthesis = Loaded(i, true);
        ASSERT_EQ(analysis.d, compiled.d);
        const int n = compiled.d * compiled.d;
        for (int k = 0; k < n; ++k) {
            ASSERT_EQ(analysis.v[k], i == kPyramidLowpassFilter ? 0.5 * compiled.v[k] : compiled.v[k]) << i;
            ASSERT_EQ(synthesis.v[k], analysis.v[n - 1 - k]) << i;
        }
    }
    // Half of the stored 1.999999762, quoted to 8 decimals.
    EXPECT_NEAR(Sum(Loaded(kPyramidLowpassFilter, false)), 0.99999988, 5e-9);
}

TEST(SteerablePyramidFilters, FrequencyResponses)
{
    const Filter hi = Loaded(0, false), lo0 = Loaded(1, false), lo = Loaded(2, false);
    EXPECT_NEAR(Response(hi, 0.25, 0.0), 0.28, kResponseTolerance);
    EXPECT_NEAR(Response(hi, 0.5, 0.0), 0.996, kResponseTolerance);
    EXPECT_NEAR(Response(lo0, 0.0, 0.0), 1.0, kResponseTolerance);
    EXPECT_NEAR(Response(lo0, 0.375, 0.0), 0.51, kResponseTolerance);
    EXPECT_NEAR(Response(lo0, 0.5, 0.0), 0.022, kResponseTolerance);
    double worstStop = 0.0;
    for (int u = -64; u <= 64; ++u)
        for (int v = -64; v <= 64; ++v) {
            const double fx = u / 128.0, fy = v / 128.0;
            if (std::hypot(fx, fy) >= 0.25)
                worstStop = std::max(worstStop, Response(lo, fx, fy));
        }
    EXPECT_LE(worstStop, 0.019);

    // Each band peaks near a quarter of the sampling frequency along its direction and is blind across it.
    const double directions[4][2] = {{0, 1}, {1, -1}, {1, 0}, {1, 1}}; // (fx, fy)
    for (int b = 0; b < 4; ++b) {
        const Filter band = Loaded(kPyramidFirstBandFilter + b, false);
        const double n = std::hypot(directions[b][0], directions[b][1]);
        const double fx = 0.25 * directions[b][0] / n, fy = 0.25 * directions[b][1] / n;
        EXPECT_NEAR(Response(band, fx, fy), 0.90, kResponseTolerance) << "band " << b;
        EXPECT_NEAR(Response(band, -fy, fx), 0.0, 1e-12) << "band " << b;
    }
}

TEST(SteerablePyramidFilters, NearPerfectReconstructionOverTheFrequencyPlane)
{
    // |H0|^2 + |L0|^2 (|L|^2 + sum |Bk|^2): the gain of one analysis and synthesis level with the
    // recursion replaced by the low-pass itself; the set keeps it within 3% of 1 everywhere.
    const Filter hi = Loaded(0, false), lo0 = Loaded(1, false), lo = Loaded(2, false);
    double least = 1e9, most = 0.0;
    for (int u = 0; u < 64; ++u)
        for (int v = 0; v < 64; ++v) {
            const double fx = u / 64.0 - 0.5, fy = v / 64.0 - 0.5;
            double bands = 0.0;
            for (int b = 0; b < 4; ++b)
                bands += std::pow(Response(Loaded(kPyramidFirstBandFilter + b, false), fx, fy), 2);
            const double gain = std::pow(Response(hi, fx, fy), 2) +
                                std::pow(Response(lo0, fx, fy), 2) * (std::pow(Response(lo, fx, fy), 2) + bands);
            least = std::min(least, gain);
            most = std::max(most, gain);
        }
    EXPECT_GE(least, 0.97);
    EXPECT_LE(most, 1.03);
}

TEST(SteerablePyramidFilters, LevelCount)
{
    EXPECT_EQ(PyramidNumLevels(512, 300), 5);
    EXPECT_EQ(PyramidNumLevels(17, 1000), 0);
    EXPECT_EQ(PyramidNumLevels(18, 18), 1);
    EXPECT_EQ(PyramidNumLevels(0, 0), 0);
}
