// tests/unit/StackRowSumsTest.cpp: rows summed together into the planes give
// the sums of a plain pixel-by-pixel model, each row over its own columns
// (common, overlapping, disjoint, empty), at widths around the vector
// lengths, for bytes of 255 in as many rows as one call takes and more, in
// every build the processor runs.
#include "imaging/StackRowSums.h"

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// The sums of random rows and columns against the model, in the build in use.
void ExpectThePlainSums()
{
    std::mt19937 random(7);
    for (int width : {1, 15, 16, 17, 40, 641}) {
        for (int n : {1, 3, 16, 300}) {
            SCOPED_TRACE("width " + std::to_string(width) + ", " + std::to_string(n) + " rows");
            std::vector<std::vector<uint8_t>> pixels(static_cast<std::size_t>(n));
            std::vector<const uint8_t*> rows;
            std::vector<int> from, to;
            for (int j = 0; j < n; ++j) {
                auto& row = pixels[static_cast<std::size_t>(j)];
                row.resize(4 * static_cast<std::size_t>(width));
                for (auto& b : row)
                    b = n == 300 ? 255 : static_cast<uint8_t>(random()); // the largest sums in one lane half
                rows.push_back(row.data());
                // Mostly a shared middle, now and then a row of its own columns.
                int a = static_cast<int>(random() % 3), b = width - static_cast<int>(random() % 3);
                if (random() % 4 == 0) {
                    a = static_cast<int>(random() % static_cast<unsigned>(width));
                    b = a + static_cast<int>(random() % static_cast<unsigned>(width - a + 1));
                }
                from.push_back(std::min(a, width));
                to.push_back(std::max(std::min(b, width), std::min(a, width)));
            }
            std::vector<int32_t> planes(3 * static_cast<std::size_t>(width)), model(planes.size());
            for (std::size_t i = 0; i < planes.size(); ++i)
                planes[i] = model[i] = static_cast<int32_t>(random() % 1000) - 500;
            for (int j = 0; j < n; ++j)
                for (int x = from[static_cast<std::size_t>(j)]; x < to[static_cast<std::size_t>(j)]; ++x)
                    for (int c = 0; c < 3; ++c)
                        model[static_cast<std::size_t>(c * width + x)] += rows[static_cast<std::size_t>(j)][4 * x + 1 + c];
            AddRowsAllChannels(rows.data(), from.data(), to.data(), n, planes.data(), planes.data() + width,
                               planes.data() + 2 * width);
            EXPECT_EQ(planes, model);
        }
    }
}

} // namespace

TEST(StackRowSums, RowsTogetherEqualThePlainSums)
{
    for (const auto build : {StackRowSumsBuild::kPlain, StackRowSumsBuild::kAvx2, StackRowSumsBuild::kAvx512}) {
        if (!UseStackRowSumsBuildForTesting(build))
            continue;
        SCOPED_TRACE("build " + std::to_string(static_cast<int>(build)));
        ExpectThePlainSums();
    }
    UseStackRowSumsBuildForTesting(StackRowSumsBuild::kChosen);
}
