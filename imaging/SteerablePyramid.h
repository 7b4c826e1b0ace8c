// imaging/SteerablePyramid.h: the steerable pyramid: one image of doubles decomposed into a high-pass
// residual, four oriented band-pass images and a low-pass image per level, soft thresholding of the
// coefficients, and the rebuild. Each level filters either by spatial correlation with wrap-around
// borders or by products of spectra (sides that are powers of two only).
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <vector>

#include "imaging/SteerablePyramidFilters.h"

// Progress of an analysis or synthesis: called on the calling thread after each level with the
// running step number (see DoFullWaveletAnalysis and DoFullWaveletSynthesis). An empty function
// reports nothing. The caller decides what a step does (move a bar, repaint, let updates through);
// the pyramid neither cancels nor reads any event.
using PyramidProgress = std::function<void(int step)>;

// Threads: the scratch arrays, the filters and the filter-spectrum cache are shared by every pyramid
// and the two-dimensional FFT keeps one scratch per size, so analyses and syntheses of all pyramids
// run on one thread at a time (callers keep one worker while they run). Thresholding and copying
// touch only their own pyramids.
class SteerablePyramid {
public:
    // An empty pyramid: size 0 x 0, no levels, offset and range 0.0, spatial path. Loads the filters
    // on first use. Throws std::bad_alloc when memory is exhausted.
    SteerablePyramid();
    // A deep copy of src, offset and range included.
    SteerablePyramid(const SteerablePyramid& src);
    // Copies src's coefficients and path; offset and range stay this pyramid's own (the wavelet tool
    // copies between pyramids analysed from the same image). Reshapes this pyramid only when the size
    // differs; at the same size every buffer is reused. Throws std::bad_alloc (then this pyramid may be
    // left empty, never half-shaped).
    SteerablePyramid& operator=(const SteerablePyramid& src);
    // The last pyramid to go also empties the filter-spectrum cache.
    ~SteerablePyramid();

    // Shapes the pyramid for a w x h image: at the same size it returns at once, keeping the
    // coefficients; otherwise it releases the old arrays and allocates new, uninitialised ones. A
    // negative side or an absurd size throws std::bad_alloc, as does exhausted memory; the pyramid is
    // then empty (size 0 x 0), so a later Init of any size starts afresh.
    void Init(int w, int h);

    // Number of levels of a w x h pyramid: how many times the smaller side can be halved (integer
    // division) while it is larger than the largest filter (17). 17 gives 0 levels, 18 gives 1,
    // 512 gives 5.
    static int DetermineNumLevels(int w, int h);

    int NumLevels() const { return numLevels; }
    int Width() const { return width; }
    int Height() const { return height; }
    bool UsesFT() const { return useFT; }
    double Offset() const { return offset; }
    double Range() const { return range; }

    // Decomposes the w x h image (row-major, w values per row; not changed). The image is first
    // normalised to 0 ... 1: offset = -min, range = max - min (1.0 when they are equal). useFT selects
    // the spectrum path, which needs sides that are powers of two; for other sizes the spatial path
    // runs and UsesFT() then reports false (debug builds stop at an assertion: callers pad to powers
    // of two). After level L, progress receives progressBase + L + 1.
    // A pyramid with no levels (smaller side 17 or less) keeps the normalised image itself, so the
    // rebuild gives back the input and thresholds change nothing.
    // Throws std::bad_alloc when memory is exhausted or the FFT cannot be prepared.
    void DoFullWaveletAnalysis(const double* image, int w, int h, bool useFT, int progressBase,
                               const PyramidProgress& progress = {});

    // Rebuilds into out (Width() x Height() doubles). The normalised rebuild is clamped to 0 ... 1
    // before it is scaled back, so out stays within the analysed image's min ... max. After level L
    // (coarsest first), progress receives progressBase + NumLevels() - L. The pyramid is not changed.
    // Throws std::bad_alloc like the analysis.
    void DoFullWaveletSynthesis(double* out, int progressBase, const PyramidProgress& progress = {}) const;

    // SoftThreshold(t) followed by DoFullWaveletSynthesis, bit for bit, the pyramid left thresholded
    // as well; on the Fourier path each coefficient image is thresholded a few rows at a time just
    // before its transform reads them, which saves a pass over memory.
    void ThresholdAndSynthesise(const std::vector<double>& t, double* out, int progressBase,
                                const PyramidProgress& progress = {});

    // Soft thresholding: t[0] acts on the high-pass residual when it is > 0; t[L + 1] acts on the four
    // bands of level L unless it is exactly 0. A coefficient c becomes 0 when |c| < t, else c - t
    // (c > 0) or c + t (c < 0). Entries missing from t count as 0; extra entries are ignored. The
    // low-pass images never change.
    void SoftThreshold(std::vector<double> t);

    // Periodic correlation (the filter is not flipped): with c = d / 2,
    //   out(y, x) (+)= sum over i, j < d of filter[i * d + j] * in((y + i - c) mod h, (x + j - c) mod w)
    // in and out w x h, row-major, row r at r * w; filter d x d, row-major. clearFirst sets out to the
    // sum; otherwise the sum is added to out. Any d and any size (the indices wrap as often as needed).
    // in and out must not overlap. Any thread.
    static void ConvolveImage(const double* in, int w, int h, const double* filter, int d, double* out,
                              bool clearFirst);

    // One level of the spatial path. The analysis step takes the level's lw x lh image in image (at
    // level 0 the normalised input) and leaves the level's low-passed image there; the synthesis step
    // takes the rebuilt low-pass of level L + 1 in image (ignored at the coarsest level) and leaves
    // level L's rebuild there; scratch holds at least lw x lh doubles.
    void DoOneStepWaveletAnalysis(double* image, int L);
    void DoOneStepWaveletSynthesis(int L, double* image, double* scratch) const;
    // One level of the Fourier path, which passes the low-pass chain from level to level as spectra
    // (cutting an image to its even rows and columns folds its spectrum, zero-stuffing tiles it).
    // The analysis step takes the spectrum of level L's source in spectrum (lw x lh; at level 0 that
    // of the input's initial low-pass), fills the level's bands and lowpass[L], and writes the
    // spectrum of lowpass[L] to next ((lw / 2) x (lh / 2)). The synthesis step takes the spectrum of
    // level L + 1's rebuild (at the coarsest level that of lowpass[L]) in low ((lw / 2) x (lh / 2))
    // and writes the spectrum of level L's rebuild to out (lw x lh), at level 0 the rebuilt image
    // itself; scratch and second hold at least lw x lh doubles each. Arrays distinct, except that
    // second may hold low (read before second is written).
    void DoOneStepWaveletAnalysisUsingFT(const double* spectrum, int L, double* next);
    void DoOneStepWaveletSynthesisUsingFT(int L, const double* low, double* out, double* scratch,
                                          double* second) const;

    // Index in the filter-spectrum cache of the record for this pyramid's size, built on first use
    // (evicting the least recently used records when the cache would outgrow its budget). Valid
    // until the next call. Throws std::bad_alloc when memory is exhausted or the FFT cannot be
    // prepared; the cache then holds no record for this size.
    std::size_t getFilterFTIndex() const;

    // Level geometry: lw = width / 2^L, lh = height / 2^L (truncated).
    int LevelWidth(int L) const { return width >> L; }
    int LevelHeight(int L) const { return height >> L; }

    // Coefficients, for inspection: the high-pass residual (width x height), band b (1 ... 4) of level L
    // (lw x lh) and the low-pass of level L ((lw / 2) x (lh / 2)).
    const std::vector<double>& HighpassResidual() const { return highpassResidual; }
    const std::vector<double>& Band(int b, int L) const { return bands[b - 1][L]; }
    const std::vector<double>& Lowpass(int L) const { return lowpass[L]; }

    // Loads the filters (first call only).
    static void InitFilters();

    // Number of pyramids alive; when it falls to 0 the filter-spectrum cache is emptied.
    static int LivePyramidCount();

    // Test hook: thresholding and the spectrum products take their portable kernels even where
    // AVX2 is available (false restores the choice). Not for use by the program.
    static void ForcePortableKernelsForTesting(bool force);

private:
    // Counts live pyramids; a member so that every constructor, the copy included, counts.
    class LifetimeToken {
    public:
        LifetimeToken();
        LifetimeToken(const LifetimeToken&);
        LifetimeToken& operator=(const LifetimeToken&) { return *this; }
        ~LifetimeToken();
    };

    // Grows the shared scratch arrays to at least n doubles; contents are not kept.
    static void CreateScratch(std::size_t n);
    // Level L's image (lw x lh) to its even rows and columns ((lw / 2) x (lh / 2)).
    static void Decimate(const double* image, int lw, int lh, double* low);
    // The reverse: low at the even rows and columns times 4 (keeping the gain), zeros elsewhere.
    static void ZeroStuff(const double* low, int lw, int lh, double* image);
    // Every level of the Fourier path: the analysis from the normalised input (which must be one of
    // the shared scratch arrays and is overwritten), the synthesis into out.
    void DoFourierAnalysisLevels(double* normalized, const PyramidProgress& progress, int progressBase);
    void DoFourierSynthesisLevels(double* out, const PyramidProgress& progress, int progressBase,
                                  const std::vector<double>* thresholds) const;
    // DoOneStepWaveletSynthesisUsingFT; with thresholds (only from ThresholdAndSynthesise, on a
    // pyramid held as non-const) each coefficient image is first soft-thresholded in place by its
    // entry, as SoftThreshold does, a few rows at a time as its transform reads it.
    void SynthesisStepUsingFT(int L, const double* low, double* out, double* scratch, double* second,
                              const std::vector<double>* thresholds) const;
    // DoFullWaveletSynthesis, on the Fourier path with thresholds as SynthesisStepUsingFT.
    void Rebuild(double* out, const std::vector<double>* thresholds, int progressBase,
                 const PyramidProgress& progress) const;
    // Releases every array and empties the pyramid (size 0 x 0, no levels).
    void Destroy();
    std::size_t PixelCount() const { return static_cast<std::size_t>(width) * static_cast<std::size_t>(height); }

    LifetimeToken lifetime;
    std::vector<double> highpassResidual;                                 // width x height
    std::array<std::vector<std::vector<double>>, kNumPyramidBands> bands; // band1 ... band4, per level
    std::vector<std::vector<double>> lowpass;                             // per level
    std::vector<double> unfilteredInput; // the normalised input, kept only when there are no levels
    int width = 0;
    int height = 0;
    int numLevels = 0;
    double offset = 0.0; // minus the minimum of the analysed image
    double range = 0.0;  // maximum minus minimum, 1.0 when they are equal
    bool useFT = false;

    // Shared by every pyramid (see the class comment): grown to the largest image analysed, never
    // shrunk. A holds the working image of the analysis; on the Fourier path A and B take turns
    // holding the spectra of the low-pass chain, and in synthesis A holds the rebuilt spectra of
    // the coarser levels and B each coefficient image's transform.
    static std::vector<double> scratch_2D_A_;
    static std::vector<double> scratch_2D_B_;
    static std::size_t scratchSize_;
};
