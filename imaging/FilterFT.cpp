// imaging/FilterFT.cpp: building the steerable pyramid's filter spectra and the bounded cache of them.
#include "imaging/FilterFT.h"

#include <algorithm>
#include <cstdint>
#include <new>

#include "imaging/FFTConvolution.h"

namespace {

struct CacheEntry {
    std::unique_ptr<FilterFT> record;
    std::uint64_t lastUse = 0;
};

// Records in order of creation (eviction keeps the order of the rest).
std::vector<CacheEntry> sgFiltersFTs;
std::uint64_t sUseClock = 0;
std::size_t sBudgetBytes = kFilterFTCacheBudgetBytes;

// Places the d x d filter into spectrum (lw x lh) with its centre tap at (0, 0): first at rows and
// columns starting (lh - d) / 2 + 1 and (lw - d) / 2 + 1 of the zeroed placed array, which puts the
// centre tap at (lh / 2, lw / 2), then rotated circularly by half the size, so that multiplying by
// the spectrum is a circular convolution with the filter. Then transforms spectrum in place.
void PlaceAndTransform(const double* filter, int d, int lw, int lh, std::vector<double>& placed, double* spectrum)
{
    const std::size_t n = static_cast<std::size_t>(lw) * static_cast<std::size_t>(lh);
    std::fill(placed.begin(), placed.begin() + static_cast<std::ptrdiff_t>(n), 0.0);
    const int top = (lh - d) / 2 + 1;
    const int left = (lw - d) / 2 + 1;
    for (int i = 0; i < d; ++i)
        for (int j = 0; j < d; ++j)
            placed[static_cast<std::size_t>(top + i) * lw + static_cast<std::size_t>(left + j)] = filter[i * d + j];
    for (int r = 0; r < lh; ++r) {
        const std::size_t sourceRow = static_cast<std::size_t>((lh / 2 + r) % lh) * lw;
        for (int x = 0; x < lw; ++x)
            spectrum[static_cast<std::size_t>(r) * lw + x] =
                placed[sourceRow + static_cast<std::size_t>((lw / 2 + x) % lw)];
    }
    // The only failure is an FFT that could not be prepared, which callers treat as exhausted memory.
    if (!doFourierAnalysis(spectrum, spectrum, lw, lh))
        throw std::bad_alloc();
}

} // namespace

int FilterFT::FilterLevels(int f, int levels)
{
    // The high-pass and the initial low-pass act on the input alone.
    const bool firstLevelOnly = f == kPyramidHighpassFilter || f == kPyramidInitialLowpassFilter;
    return firstLevelOnly ? (levels > 0 ? 1 : 0) : levels;
}

void FilterFT::resize(int w, int h)
{
    width = w;
    height = h;
    init();
}

void FilterFT::init()
{
    const int levels = PyramidNumLevels(width, height);
    for (int f = 0; f < kNumPyramidFilters; ++f) {
        filterFT[f].clear();
        invFilterFT[f].clear();
        for (int L = 0; L < FilterLevels(f, levels); ++L) {
            const std::size_t n = static_cast<std::size_t>(width >> L) * static_cast<std::size_t>(height >> L);
            filterFT[f].emplace_back(n, 0.0);
            invFilterFT[f].emplace_back(n, 0.0);
        }
    }
}

void FilterFT::ComputeSpectra()
{
    LoadPyramidFilters();
    std::vector<double> placed(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int f = 0; f < kNumPyramidFilters; ++f) {
        const int d = PyramidFilterDim(f);
        for (int L = 0; L < static_cast<int>(filterFT[f].size()); ++L) {
            const int lw = width >> L;
            const int lh = height >> L;
            PlaceAndTransform(PyramidAnalysisFilter(f), d, lw, lh, placed, filterFT[f][L].data());
            PlaceAndTransform(PyramidSynthesisFilter(f), d, lw, lh, placed, invFilterFT[f][L].data());
        }
    }
}

std::size_t FilterFT::Bytes() const
{
    std::size_t bytes = 0;
    for (int f = 0; f < kNumPyramidFilters; ++f) {
        for (const auto& spectrum : filterFT[f])
            bytes += spectrum.size() * sizeof(double);
        for (const auto& spectrum : invFilterFT[f])
            bytes += spectrum.size() * sizeof(double);
    }
    return bytes;
}

std::ptrdiff_t FilterFTCacheFind(int w, int h)
{
    for (std::size_t i = 0; i < sgFiltersFTs.size(); ++i) {
        if (sgFiltersFTs[i].record->width == w && sgFiltersFTs[i].record->height == h) {
            sgFiltersFTs[i].lastUse = ++sUseClock;
            return static_cast<std::ptrdiff_t>(i);
        }
    }
    return -1;
}

std::size_t FilterFTCacheInsert(std::unique_ptr<FilterFT> record)
{
    const std::size_t added = record->Bytes();
    std::size_t total = FilterFTCacheBytes();
    while (!sgFiltersFTs.empty() && total + added > sBudgetBytes) {
        const auto oldest =
            std::min_element(sgFiltersFTs.begin(), sgFiltersFTs.end(),
                             [](const CacheEntry& a, const CacheEntry& b) { return a.lastUse < b.lastUse; });
        total -= oldest->record->Bytes();
        sgFiltersFTs.erase(oldest);
    }
    sgFiltersFTs.push_back(CacheEntry{std::move(record), ++sUseClock});
    return sgFiltersFTs.size() - 1;
}

FilterFT& FilterFTCacheRecord(std::size_t index)
{
    return *sgFiltersFTs[index].record;
}

std::size_t FilterFTCacheCount()
{
    return sgFiltersFTs.size();
}

std::size_t FilterFTCacheBytes()
{
    std::size_t bytes = 0;
    for (const CacheEntry& entry : sgFiltersFTs)
        bytes += entry.record->Bytes();
    return bytes;
}

void FilterFTCacheClear()
{
    std::vector<CacheEntry>().swap(sgFiltersFTs);
}

void SetFilterFTCacheBudgetForTesting(std::size_t bytes)
{
    sBudgetBytes = bytes == 0 ? kFilterFTCacheBudgetBytes : bytes;
}
