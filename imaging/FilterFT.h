// imaging/FilterFT.h: the spectra of the steerable pyramid's filters for one image size, and the
// process-wide cache of them that the pyramid's Fourier path reads.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <vector>

#include "imaging/SteerablePyramidFilters.h"

// The packed two-dimensional spectra (the FFT library's layout) of the seven analysis filters and
// of the seven synthesis filters, zero-padded with their centre tap at (0, 0) to every level size of
// a width x height image where the pyramid uses them there: the high-pass and the initial low-pass
// at level 0 only, the others at every level. Sides must be powers of two. Copies are deep.
class FilterFT {
public:
    FilterFT() = default;

    // Stores w and h, then init().
    void resize(int w, int h);
    // Gives each of the fourteen sequences one entry per level it is used at (FilterLevels), entry L
    // an array of lw x lh zeros (lw = width / 2^L, lh = height / 2^L). Throws std::bad_alloc.
    void init();
    // Fills every entry with its filter's spectrum: the filter placed with its centre tap at
    // (lh / 2, lw / 2), rotated circularly by half the size in both directions (centre tap to
    // (0, 0), the taps left of and above it wrapped to the far side), then transformed. Throws
    // std::bad_alloc when memory is exhausted or the FFT cannot be prepared for a level size.
    void ComputeSpectra();

    int NumLevels() const { return static_cast<int>(filterFT[kPyramidLowpassFilter].size()); }
    // How many levels of a pyramid of levels levels filter f has a spectrum for.
    static int FilterLevels(int f, int levels);
    // Bytes held by the spectra.
    std::size_t Bytes() const;

    int width = 0;
    int height = 0;
    // filterFT[f][L]: spectrum of analysis filter f at level L; invFilterFT[f][L]: of synthesis filter f.
    std::array<std::vector<std::vector<double>>, kNumPyramidFilters> filterFT;
    std::array<std::vector<std::vector<double>>, kNumPyramidFilters> invFilterFT;
};

// The cache: at most one record per (width, height), in order of creation. It is bounded: inserting
// a record first drops the least recently used others while the total would exceed the budget, and
// the last pyramid to be destroyed empties it. A record depends only on its size, so dropping one
// changes no result. Shared state without a lock: the pyramid's Fourier path, its only user, runs on
// one thread at a time.
constexpr std::size_t kFilterFTCacheBudgetBytes = std::size_t{256} << 20; // 256 MiB

// Index of the record for w x h, or -1 when there is none; a hit marks the record as just used.
std::ptrdiff_t FilterFTCacheFind(int w, int h);
// Adds a completely built record (none of its size present) and returns its index. Evicts least
// recently used records, never this one, while the cache would exceed its budget.
std::size_t FilterFTCacheInsert(std::unique_ptr<FilterFT> record);
// The record at index (valid until the next insert or clear).
FilterFT& FilterFTCacheRecord(std::size_t index);
std::size_t FilterFTCacheCount();
std::size_t FilterFTCacheBytes();
void FilterFTCacheClear();
// Test hook: a different budget in bytes; 0 restores kFilterFTCacheBudgetBytes.
void SetFilterFTCacheBudgetForTesting(std::size_t bytes);
