// engine/PowerBandScores.cpp: band scores and the sort dialog's panel layout.
#include "engine/PowerBandScores.h"

#include <algorithm>
#include <cmath>

namespace {

// Panel edges and scales of the dialog; users know the dialog by this layout.
constexpr int kSpectrumLeft = 20, kSpectrumRight = 216;
constexpr int kScoreLeft = 280, kScoreRight = 484;
constexpr int kPanelTop = 30, kPanelBottom = 234;
constexpr int kBinsOrigin = 22;      // h of bin 0
constexpr double kBinsWidth = 192.0; // pixels from bin 0 to bin n - 1
constexpr int kBarBase = 232;        // v of a zero mean or score
constexpr int kBarBottom = 231;
constexpr int kBarHeight = 200;  // pixels of the largest mean or a score of 1
constexpr int kDotsOrigin = 282; // h of the best clip
constexpr int kDotsWidth = 200;

int Trunc(double v)
{
    return static_cast<int>(v);
}

} // namespace

double BandScore(const double* spectrum, int bins, int low, int high)
{
    if (!spectrum)
        return -1.0;
    if (bins <= 0)
        return -1.0;
    low = std::clamp(low, 0, bins - 1);
    high = std::clamp(high, 0, bins - 1);
    double total = 0.0, band = 0.0;
    for (int b = 0; b < bins; ++b) {
        total += spectrum[b];
        if (b >= low && b <= high)
            band += spectrum[b];
    }
    // A black clip has no power to share: it sorts after every measured clip
    // and stays out of the spread, like a clip without a spectrum.
    if (!(total > 0.0) || !std::isfinite(total))
        return -1.0;
    return band / total;
}

std::vector<double> MeanSpectrum(const std::vector<const double*>& spectra, int bins)
{
    std::vector<double> mean(static_cast<std::size_t>(std::max(bins, 0)), 0.0);
    int used = 0;
    for (const double* spectrum : spectra) {
        if (!spectrum)
            continue;
        ++used;
        for (int b = 0; b < bins; ++b)
            mean[static_cast<std::size_t>(b)] += spectrum[b];
    }
    if (used > 0)
        for (double& v : mean)
            v /= used;
    return mean;
}

double LargestMean(const std::vector<double>& mean)
{
    double largest = -1.0;
    for (double v : mean)
        if (v > largest)
            largest = v;
    return largest;
}

std::string ScoreSpreadText(double d)
{
    if (!(d > 0.0))
        return ".000";
    if (d >= 1.0)
        return "1.000";
    std::string text = ".";
    text += static_cast<char>('0' + Trunc(10 * d));
    text += static_cast<char>('0' + Trunc(100 * d) % 10);
    text += static_cast<char>('0' + Trunc(1000 * d) % 10);
    return text;
}

double ScoreSpread(const std::vector<double>& sortedScores)
{
    double first = 0.0, last = 0.0;
    int measured = 0;
    for (double score : sortedScores) {
        if (!(score >= 0.0))
            continue;
        if (measured++ == 0)
            first = score;
        last = score;
    }
    return measured >= 2 ? first - last : 0.0;
}

BandSortPanels LayOutBandSortPanels(const std::vector<double>& mean, double largestMean, int low, int high,
                                    const std::vector<double>& sortedScores, int included)
{
    BandSortPanels p;
    p.spectrumPanel = MakeRect(kPanelTop, kSpectrumLeft, kPanelBottom, kSpectrumRight);
    p.scorePanel = MakeRect(kPanelTop, kScoreLeft, kPanelBottom, kScoreRight);

    // Spectrum: s pixels per bin.
    const int n = static_cast<int>(mean.size());
    const double s = n > 1 ? kBinsWidth / (n - 1) : kBinsWidth;
    p.band = MakeRect(kPanelTop + 1, Trunc(low * s + kBinsOrigin), kPanelBottom - 1, Trunc(high * s + kBinsOrigin));
    if (largestMean > 0.0) {
        for (int b = 0; b < n; ++b) {
            const double v = mean[static_cast<std::size_t>(b)];
            if (v == 0.0)
                continue;
            const int left = Trunc(b * s + kBinsOrigin);
            // The last bin would reach s pixels past the panel's frame.
            const int right = std::min(Trunc((b + 1) * s + kBinsOrigin), kSpectrumRight - 1);
            const int top = std::max(Trunc(kBarBase - kBarHeight * v / largestMean), kPanelTop + 1);
            if (left < right && top < kBarBottom)
                p.bars.push_back(MakeRect(top, left, kBarBottom, right));
        }
    }

    // Scores: m clips, N of them included.
    const int m = static_cast<int>(sortedScores.size());
    if (m == 0)
        return p;
    const int N = std::clamp(included, 1, m);
    const int u = 100 / m;
    if (m == 1) {
        p.included = MakeRect(kPanelTop + 1, kScoreLeft + 1, kPanelBottom - 1, kScoreRight - 1);
    } else {
        const int step = (kDotsWidth * N - kDotsWidth) / (m - 1);
        p.included = MakeRect(kPanelTop + 1, kScoreLeft + 1, kPanelBottom - 1, 283 + step + (N < m ? u : 0));
        if (N < m)
            p.excluded = MakeRect(kPanelTop + 1, kDotsOrigin + step + u, kPanelBottom - 1, kScoreRight - 1);
    }
    const bool big = kDotsWidth / m > 4;
    for (int k = 0; k < m; ++k) {
        const int h = m == 1 ? kDotsOrigin + kDotsWidth / 2 : kDotsOrigin + kDotsWidth * k / (m - 1);
        double score = sortedScores[static_cast<std::size_t>(k)];
        if (!std::isfinite(score))
            score = 0.0;
        // A clip without a spectrum (score -1) sits on the bottom line.
        const double v0 = std::clamp(kBarBase - kBarHeight * score, double(kPanelTop + 1), double(kBarBase));
        const int v = Trunc(v0);
        p.dots.push_back(big ? MakeRect(v - 1, h - 1, v + 2, h + 2) : MakeRect(v, h, v + 1, h + 1));
    }
    return p;
}
