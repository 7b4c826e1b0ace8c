// tests/unit/BandScoreReference.h: band scores of clips computed by numpy
// (tests/reference/band_scores.py) from the clips' pixels inside a square.
#pragma once

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/core/GWorldWrapper.h"
#include "tests/support/PythonReference.h"

// scores[band][clip] for the square of side n at (top, left) of each image.
inline std::vector<std::vector<double>> NumpyBandScores(const std::vector<const GWorldWrapper*>& images, int top,
                                                        int left, int n, int bins,
                                                        const std::vector<std::pair<int, int>>& bands)
{
    const std::string dir = ReferenceScratchDir();
    std::vector<double> pixels;
    for (const GWorldWrapper* image : images)
        for (int y = top; y < top + n; ++y) {
            const uint8_t* p = image->PixelRow(y) + 4 * left;
            for (int x = 0; x < n; ++x, p += 4)
                pixels.push_back(std::max({p[1], p[2], p[3]}) / 255.0);
        }
    WriteDoubles(dir + "/pixels.f64", pixels);
    std::ofstream setup(dir + "/setup.txt");
    setup << n << " " << bins << " " << images.size() << "\n";
    for (const auto& [low, high] : bands)
        setup << low << " " << high << "\n";
    setup.close();
    std::string out;
    EXPECT_TRUE(RunPythonScript("band_scores.py", {dir}, &out)) << out;
    std::vector<std::vector<double>> scores;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::vector<double> row;
        double v;
        while (fields >> v)
            row.push_back(v);
        scores.push_back(row);
    }
    return scores;
}
