// engine/SummedStack.cpp: building the summed stack from the clips, its
// display projection, binning, quarter turns and mirrors.
#include "engine/SummedStack.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <climits>
#include <cmath>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "engine/BandPipeline.h"
#include "engine/BandWorkers.h"
#include "engine/CalibrationFrames.h"
#include "engine/ClipReadAhead.h"
#include "engine/FrameList.h"
#include "engine/StackDisplay.h"
#include "imaging/StackRowSums.h"
#include "imaging/SumProjection.h"
#include "platform/core/CacheSize.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/core/StandardAlerts.h"
#include "platform/core/UserInteraction.h"
#include "shell/Alerts.h"
#include "shell/ImageDim.h"
#include "shell/ShellSettings.h"

std::unique_ptr<int32_t[]> gRedStack;
std::unique_ptr<int32_t[]> gGreenStack;
std::unique_ptr<int32_t[]> gBlueStack;
std::unique_ptr<GWorldWrapper> gFrameStack;
double gNumFramesInStack = 0.0;
Point gFrameStackOffsetRed;
Point gFrameStackOffsetGreen;
Point gFrameStackOffsetBlue;
int gLastStarBrightnessThreshold = -1;

const char* const kInterpolationWarningTitle = "Interpolation Warning";
const char* const kInterpolationWarningMessage =
    "Some frames have been rotationally aligned and you have not specified the highest quality rotation "
    "interpolation method.\n\nAre you sure you want to continue?";

namespace {

const char* const kStackErrorTitle = "Stacking Error";

// Clips a band of the planes takes at a time: their rows are added while
// that band stays in the cache. The sums do not depend on it.
constexpr int kClipsPerPass = 16;
// Clips whose rows are summed among themselves before they reach the
// planes, each running down the whole band: few enough streams at once for
// the processor's prefetchers to follow (sixteen read at half the speed of
// four). The sums do not depend on it.
constexpr int kClipsSummedAtOnce = 4;

// The projection of planes (the stack's size) into gFrameStack, on the given
// threads (null: threads of its own, as many as the rectangle's size calls
// for); draw: show what changed.
// largest: the largest sum in r (from 0) when the caller knows it, else -1.
void ProjectPlanes(const int32_t* const planes[3], bool grow, Rect r, bool draw, BandWorkers* threads,
                   int32_t largest = -1);

// Pixels of a projected rectangle per thread, up to gNumThreads: small
// rectangles (the tools' previews) are projected on the calling thread alone.
constexpr std::size_t kProjectionPixelsPerThread = 1 << 16;

// The largest of row[x0 .. x1), from 0.
int32_t LargestOf(const int32_t* row, int x0, int x1)
{
    int32_t m = 0;
    for (int x = x0; x < x1; ++x)
        m = std::max(m, row[x]);
    return m;
}

// Rows per band of the sums: a band of the three planes (4 bytes a pixel
// each) fills at most half of one core's level-2 cache, the other half left
// to the clips' rows streaming past and the other threads' lines.
int BandRows(int width)
{
    const std::size_t rowBytes = static_cast<std::size_t>(std::max(1, width)) * 4 * 3;
    return static_cast<int>(std::clamp<std::size_t>(Level2CacheBytes() / 2 / rowBytes, 1, 64));
}

std::unique_ptr<int32_t[]> NewPlane(std::size_t n)
{
    std::unique_ptr<int32_t[]> plane(new int32_t[n]); // throws std::bad_alloc
    std::fill_n(plane.get(), n, 0);
    return plane;
}

void ReleaseStackPlanes()
{
    gRedStack.reset();
    gGreenStack.reset();
    gBlueStack.reset();
}

// Half-open range [lo, hi) of destination positions along one axis whose
// sensor position (position - offset) lies in [0, size).
void ValidRange(int size, int offset, int& lo, int& hi)
{
    lo = std::clamp(offset, 0, size);
    hi = std::clamp(size + offset, 0, size);
}

// One included clip while its rows are added.
struct StackSource {
    const GWorldWrapper* image;
    Point offset[3]; // red, green, blue
    // Set by StackBuilder::Count: each channel's valid rows [y0, y1) and
    // columns [x0, x1), whether the three channels share one offset, and
    // the rows and columns where all three are valid (none: empty).
    int y0[3], y1[3], x0[3], x1[3];
    bool sameOffsets;
    int allY0, allY1, allX0, allX1;
};

// Per-channel coverage counts, kept as the clips' valid rectangles (equal
// neighbours merged) and the hot pixels taken out; a row's counts are built
// only when the rescale reaches that row, so no count array as large as the
// stack is needed. int32: a count never exceeds the number of clips.
class CoverageCounts {
public:
    // A column some but not all of the clips covered, and how many did.
    struct Partial {
        int x;
        int32_t clips;
    };
    // What one pass down a band keeps from row to row: the counts of the
    // rectangles alone change only on rows where one of them begins or ends.
    struct RowCache {
        int y = -1;                   // the row counts was built for (-1: none)
        std::vector<int32_t> counts;  // the rectangles' counts of that row
        std::vector<Partial> partial; // its partial columns
        std::vector<Partial> holed;   // those of a row with hot pixels taken out
    };

    void AddRect(int top, int left, int bottom, int right)
    {
        if (top >= bottom || left >= right)
            return;
        const Rect r = MakeRect(top, left, bottom, right);
        if (!mRects.empty() && mRects.back().rect == r)
            ++mRects.back().clips;
        else
            mRects.push_back({r, 1});
    }
    void RemovePixel(int y, int x) { mHoles.push_back(MakePoint(y, x)); }

    // Sorts the hot pixels taken out and notes the rows where a rectangle
    // begins or ends; called once, after the last RemovePixel and before the
    // first PartialColumns.
    void Prepare()
    {
        std::sort(mHoles.begin(), mHoles.end(), [](Point a, Point b) { return a.v != b.v ? a.v < b.v : a.h < b.h; });
        for (const Covered& c : mRects) {
            mEdgeRows.push_back(c.rect.top);
            mEdgeRows.push_back(c.rect.bottom);
        }
        std::sort(mEdgeRows.begin(), mEdgeRows.end());
        mEdgeRows.erase(std::unique(mEdgeRows.begin(), mEdgeRows.end()), mEdgeRows.end());
    }

    // The columns of row y (of width) that more than none and fewer than n
    // clips covered, in column order. Any thread, any order, after Prepare;
    // cache is the caller's own, and the answer lasts until its next call.
    const std::vector<Partial>& PartialColumns(int y, int width, double n, RowCache& cache) const
    {
        const auto edge = std::upper_bound(mEdgeRows.begin(), mEdgeRows.end(), cache.y);
        if (cache.y < 0 || y < cache.y || (edge != mEdgeRows.end() && *edge <= y)) {
            RectangleCounts(y, width, cache.counts);
            Scan(cache.counts, width, n, cache.partial);
        }
        cache.y = y;
        auto hole = std::lower_bound(mHoles.begin(), mHoles.end(), y, [](Point p, int row) { return p.v < row; });
        if (hole == mHoles.end() || hole->v != y)
            return cache.partial;
        std::vector<int32_t> counts(cache.counts);
        for (; hole != mHoles.end() && hole->v == y; ++hole)
            --counts[static_cast<std::size_t>(hole->h)];
        Scan(counts, width, n, cache.holed);
        return cache.holed;
    }

private:
    struct Covered {
        Rect rect;
        int32_t clips;
    };

    // counts[0 .. width) = the rectangles' counts of row y.
    void RectangleCounts(int y, int width, std::vector<int32_t>& counts) const
    {
        counts.assign(static_cast<std::size_t>(width) + 1, 0);
        for (const Covered& c : mRects)
            if (y >= c.rect.top && y < c.rect.bottom) {
                counts[static_cast<std::size_t>(c.rect.left)] += c.clips;
                counts[static_cast<std::size_t>(c.rect.right)] -= c.clips;
            }
        for (int x = 1; x < width; ++x)
            counts[static_cast<std::size_t>(x)] += counts[static_cast<std::size_t>(x) - 1];
    }

    // The partial columns of counts[0 .. width).
    static void Scan(const std::vector<int32_t>& counts, int width, double n, std::vector<Partial>& partial)
    {
        partial.clear();
        for (int x = 0; x < width; ++x) {
            const int32_t k = counts[static_cast<std::size_t>(x)];
            if (k > 0 && static_cast<double>(k) < n)
                partial.push_back({x, k});
        }
    }

    std::vector<Covered> mRects;
    std::vector<Point> mHoles;  // (row, column), one entry per clip that had a hot pixel there
    std::vector<int> mEdgeRows; // the tops and bottoms of the rectangles, sorted, each once
};

// The stack being built: planes, counts and the hot pixels of the mask.
class StackBuilder {
public:
    StackBuilder(int width, int height, int32_t* planes[3]) : mWidth(width), mHeight(height)
    {
        for (int c = 0; c < 3; ++c)
            mPlanes[c] = planes[c];
        // A mask of another size (or none) counts as no hot pixels.
        if (gHotPixelMask.Matches(width, height))
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    if (gHotPixelMask.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                             static_cast<std::size_t>(x)])
                        mHotPixels.push_back(MakePoint(y, x));
    }

    // Counts one source's coverage and the hot pixels it leaves out; main
    // thread, before its pixels are added.
    void Count(StackSource& s)
    {
        s.sameOffsets = s.offset[0] == s.offset[1] && s.offset[1] == s.offset[2];
        for (int c = 0; c < 3; ++c) {
            ValidRange(mHeight, s.offset[c].v, s.y0[c], s.y1[c]);
            ValidRange(mWidth, s.offset[c].h, s.x0[c], s.x1[c]);
            mCounts[c].AddRect(s.y0[c], s.x0[c], s.y1[c], s.x1[c]);
            s.allY0 = c == 0 ? s.y0[c] : std::max(s.allY0, s.y0[c]);
            s.allY1 = c == 0 ? s.y1[c] : std::min(s.allY1, s.y1[c]);
            s.allX0 = c == 0 ? s.x0[c] : std::max(s.allX0, s.x0[c]);
            s.allX1 = c == 0 ? s.x1[c] : std::min(s.allX1, s.x1[c]);
            for (const Point& hot : mHotPixels) {
                const int y = hot.v + s.offset[c].v, x = hot.h + s.offset[c].h;
                if (y >= 0 && y < mHeight && x >= 0 && x < mWidth)
                    mCounts[c].RemovePixel(y, x);
            }
        }
    }

    // Sets the planes' rows [top, bottom) to 0. Any thread, as AddBand.
    void ZeroRows(int top, int bottom)
    {
        for (int32_t* plane : mPlanes)
            std::fill(plane + Offset(top, 0), plane + Offset(bottom, 0), 0);
    }

    // Adds every valid pixel of sources[first, last) (all of the document's
    // size) to the planes' rows [top, bottom), first setting them to 0 when
    // first is 0. Any thread: the calls for bands that do not overlap may
    // run at once.
    void AddBand(const StackSource* sources, int first, int last, int top, int bottom)
    {
        // On the band's own thread, just before its first clips: the zeros
        // are written where they are added to, in parallel, and a fresh
        // plane's pages are first touched there.
        if (first == 0)
            ZeroRows(top, bottom);
        // A few sources at a time down the whole band, their rows summed
        // among themselves before they reach the planes: the band of the
        // planes stays in the cache, and each source is read straight
        // through its part of the band, one stream, as a copy would read it.
        for (int i = first; i < last; i += kClipsSummedAtOnce)
            for (int y = top; y < bottom; ++y)
                AddRows(sources + i, std::min(last - i, kClipsSummedAtOnce), y);
        // Hot pixels were added with everything else; take them out again.
        for (int i = first; i < last; ++i) {
            const StackSource& s = sources[i];
            for (int c = 0; c < 3; ++c) {
                // The hot pixels are in row order: those that land in the band.
                const int v0 = top - s.offset[c].v, v1 = bottom - s.offset[c].v;
                auto hot = std::lower_bound(mHotPixels.begin(), mHotPixels.end(), v0,
                                            [](Point p, int row) { return p.v < row; });
                for (; hot != mHotPixels.end() && hot->v < v1; ++hot) {
                    const int y = hot->v + s.offset[c].v, x = hot->h + s.offset[c].h;
                    if (y < 0 || y >= mHeight || x < 0 || x >= mWidth)
                        continue;
                    mPlanes[c][Offset(y, x)] -= s.image->PixelRow(y)[4 * x + 1 + c];
                }
            }
        }
    }

    // The counts are complete and n clips were summed: main thread, after
    // the last Count and before the first RescaleRows.
    void FinishCounts(double n)
    {
        for (CoverageCounts& counts : mCounts)
            counts.Prepare();
        mClipsSummed = n;
    }

    // Scales the pixels of rows [top, bottom) that fewer clips than n
    // covered: s + (s / k)(n - k), in double, truncated toward zero, for
    // 0 < k < n; each pixel's result depends only on its own sum and count.
    // Returns the largest sum of those rows afterwards (from 0), measured
    // while each row is still in the cache. Any thread, after FinishCounts:
    // calls for rows that do not overlap may run at once.
    int32_t RescaleRows(int top, int bottom) const
    {
        const double n = mClipsSummed;
        int32_t largest = 0;
        for (int c = 0; c < 3; ++c) {
            int32_t* plane = mPlanes[c];
            CoverageCounts::RowCache cache;
            for (int y = top; y < bottom; ++y) {
                int32_t* row = plane + Offset(y, 0);
                for (const CoverageCounts::Partial& column : mCounts[c].PartialColumns(y, mWidth, n, cache)) {
                    const int x = column.x, k = column.clips;
                    const double s = row[x];
                    const double scaled = std::trunc(s + (s / static_cast<double>(k)) * (n - static_cast<double>(k)));
                    row[x] = static_cast<int32_t>(std::clamp(scaled, double(INT32_MIN), double(INT32_MAX)));
                }
                largest = std::max(largest, LargestOf(row, 0, mWidth));
            }
        }
        return largest;
    }

    // Shows rows [top, bottom) of the planes in the same rows of image,
    // divided by the number of clips summed (at least 1): the projection
    // of a stack whose largest sum is at most 255 for every clip. Any
    // thread, after RescaleRows for those rows.
    void ShowRows(int top, int bottom, GWorldWrapper& image) const
    {
        for (int y = top; y < bottom; ++y)
            ProjectSumRow(mPlanes[0] + Offset(y, 0), mPlanes[1] + Offset(y, 0), mPlanes[2] + Offset(y, 0),
                          image.PixelRow(y), mWidth, mClipsSummed);
    }

private:
    std::size_t Offset(int y, int x) const
    {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(mWidth) + static_cast<std::size_t>(x);
    }

    // Row y of sources[0, n), n at most kClipsSummedAtOnce, summed among
    // themselves before they reach the planes. The offsets only say which
    // pixels count: where all three channels of a clip count, its pixels
    // are summed with the others' three channels at once; the few columns
    // or rows where only some do are added channel by channel.
    void AddRows(const StackSource* sources, int n, int y)
    {
        int32_t* const planes[3] = {mPlanes[0] + Offset(y, 0), mPlanes[1] + Offset(y, 0), mPlanes[2] + Offset(y, 0)};
        const uint8_t* rows[kClipsSummedAtOnce];
        int from[kClipsSummedAtOnce], to[kClipsSummedAtOnce];
        int count = 0;
        for (int i = 0; i < n; ++i) {
            const StackSource& s = sources[i];
            const uint8_t* row = s.image->PixelRow(y);
            // The columns where all three channels count on this row (none: an empty range past them all).
            const bool together = y >= s.allY0 && y < s.allY1 && s.allX0 < s.allX1;
            const int x0 = together ? s.allX0 : mWidth, x1 = together ? s.allX1 : mWidth;
            if (together) {
                rows[count] = row;
                from[count] = x0;
                to[count++] = x1;
            }
            if (s.sameOffsets)
                continue;
            for (int c = 0; c < 3; ++c)
                if (y >= s.y0[c] && y < s.y1[c]) {
                    AddRowOneChannel(row, planes[c], 8 * (c + 1), s.x0[c], std::min(s.x1[c], x0));
                    AddRowOneChannel(row, planes[c], 8 * (c + 1), std::max(s.x0[c], x1), s.x1[c]);
                }
        }
        if (count > 0)
            AddRowsAllChannels(rows, from, to, count, planes[0], planes[1], planes[2]);
    }

    int mWidth, mHeight;
    int32_t* mPlanes[3];
    CoverageCounts mCounts[3];
    double mClipsSummed = 0.0;
    std::vector<Point> mHotPixels; // sensor positions (v = row, h = column), in row order
};

bool AnyClipRotated()
{
    for (const auto& frame : gFrames)
        if (frame->GetRotation() != 0)
            return true;
    return false;
}

void StackFailed(const std::string& message)
{
    if (!message.empty())
        DoStandardAlertNoCancel(kAlertStop, kStackErrorTitle, message);
}

// Ends a build that did not complete: no planes, nothing summed.
void AbandonStack(StackDisplay& display)
{
    ReleaseStackPlanes();
    gNumFramesInStack = 0.0;
    display.CloseProgress();
}

const Point* DisplayOffsets()
{
    static Point offsets[3];
    offsets[0] = gFrameStackOffsetRed;
    offsets[1] = gFrameStackOffsetGreen;
    offsets[2] = gFrameStackOffsetBlue;
    return offsets;
}

// Replaces the planes (and, when the size changes, the display image), then
// shows the result; used by binning and the quarter turns.
void AdoptPlanes(std::unique_ptr<int32_t[]> planes[3], int width, int height, bool grow)
{
    if (width != StackWidth() || height != StackHeight()) {
        gFrameStack = std::make_unique<GWorldWrapper>(32, MakeRect(0, 0, height, width), -1);
        GetStackDisplay().ResizeStackWindow(width, height);
    }
    gRedStack = std::move(planes[0]);
    gGreenStack = std::move(planes[1]);
    gBlueStack = std::move(planes[2]);
    ProjectStackIntoFrameStackGWorld(grow);
}

// Included clips whose pixels may wait, pinned, for the threads to add
// them: two batches, so that one is handed in while the other is added.
constexpr int kPinnedClips = 2 * kClipsPerPass;
// The same when no clip is on disk: nothing is swapped during the pass, so
// pinning costs nothing, and a band whose thread the system has set aside
// (a busy machine) holds up the others only after four batches.
constexpr int kPinnedClipsInMemory = 4 * kClipsPerPass;
// Included clips brought back ahead of the one being taken, at most.
constexpr int kReadAheadClips = kPinnedClips + kClipsPerPass;

// Sums every included clip into the builder's planes (whatever they held
// before: each band is zeroed as it starts), the clips taken on
// this thread in order and added band by band on gNumThreads threads while
// the next are taken. Each clip is marked while it is taken, and drawn with
// the progress step once it is added. The rows are rescaled for coverage
// and their largest sum is set in largest; with shown, each band is also
// shown there as the projection of the new stack would (shownAll then
// true, unless no clip was summed). False (alert shown, stack abandoned,
// progress closed) on Cancel or a clip that cannot be had.
bool SumClips(StackBuilder& builder, int width, int height, StackDisplay& display, BandWorkers& workers,
              GWorldWrapper* shown, int32_t& largest, bool& shownAll)
{
    const int clipCount = static_cast<int>(gFrames.size());
    const int bandRows = BandRows(width);
    const int bands = (height + bandRows - 1) / bandRows;
    // Fixed storage: the threads read sources[i] while later ones are filled in.
    std::unique_ptr<StackSource[]> sources;
    std::vector<FrameLease> leases;
    // How many clips are handed in in all, set with the counts complete
    // before the last of them is handed in (-1 before): a band that adds the
    // last rescales its rows and measures its largest sum on the spot, while
    // they are in the cache. Such a call can only begin after the last clip
    // is handed in, so it always sees the number.
    std::atomic<int> handedIn{-1};
    std::vector<int32_t> bandLargest;
    std::vector<char> bandRescaled;
    std::unique_ptr<BandPipeline> threads;
    try {
        sources.reset(new StackSource[static_cast<std::size_t>(clipCount)]);
        leases.resize(static_cast<std::size_t>(clipCount));
        bandLargest.resize(static_cast<std::size_t>(bands), 0);
        bandRescaled.resize(static_cast<std::size_t>(bands), 0);
        threads = std::make_unique<BandPipeline>(bands, workers, kClipsPerPass, [&](int band, int first, int last) {
            const int top = band * bandRows, bottom = std::min(height, top + bandRows);
            builder.AddBand(sources.get(), first, last, top, bottom);
            if (last == handedIn.load(std::memory_order_acquire)) {
                const std::size_t b = static_cast<std::size_t>(band);
                bandLargest[b] = builder.RescaleRows(top, bottom);
                if (shown)
                    builder.ShowRows(top, bottom, *shown);
                bandRescaled[b] = 1;
            }
        });
    } catch (const std::bad_alloc&) {
        DoNotEnougMemoryForOperationDialog();
        ReleaseStackPlanes();
        return false;
    }
    BandPipeline& pipeline = *threads;
    // Clips on disk are read on helpers of their own while the ones before
    // are added, as far ahead as memory allows: a rendered one into a copy
    // (it stays on disk, nothing is written), a dirty one brought back.
    std::unique_ptr<ClipReadAhead> readAhead;
    bool anyOnDisk = false;
    try {
        std::vector<Frame*> order;
        for (const auto& frame : gFrames)
            if (frame->GetSumStackIncluded()) {
                order.push_back(frame.get());
                anyOnDisk = anyOnDisk || !frame->InMemory();
            }
        if (anyOnDisk)
            readAhead = std::make_unique<ClipReadAhead>(std::move(order), ReadAheadHelpers(gNumThreads),
                                                        kReadAheadClips, 2 * static_cast<int64_t>(width) * height * 4,
                                                        ClipReadAhead::CopyRendered{int64_t{width} * height * 4});
    } catch (const std::bad_alloc&) {
        // Without it the clips come back one by one on this thread.
    }
    // Clips in memory and rendered need nothing brought back or rendered
    // while they are added, so pinning them all costs no memory: every clip
    // is handed in at once, and no band waits for another to release clips.
    bool allReady = !anyOnDisk;
    for (const auto& frame : gFrames)
        allReady = allReady && (!frame->GetSumStackIncluded() || !frame->IsDirty());
    const int pinnedClips = allReady ? INT_MAX : anyOnDisk ? kPinnedClips : kPinnedClipsInMemory;
    int lastIncluded = -1;
    for (int i = 0; i < clipCount; ++i)
        if (gFrames[static_cast<std::size_t>(i)]->GetSumStackIncluded())
            lastIncluded = i;
    display.OpenProgress(clipCount - 1);
    gNumFramesInStack = 0.0;
    int published = 0;
    int released = 0;                            // sources whose leases are gone
    std::vector<std::pair<int, int>> unreported; // (clip, sources up to it), in order
    std::size_t reported = 0;
    // Releases the added clips and steps the progress over them; false on Cancel.
    auto report = [&]() -> bool {
        const int done = pipeline.Done();
        for (; released < done; ++released)
            leases[static_cast<std::size_t>(released)].reset();
        if (readAhead)
            readAhead->Finished(released);
        for (; reported < unreported.size() && unreported[reported].second <= done; ++reported) {
            const int index = unreported[reported].first;
            if (gFrames[static_cast<std::size_t>(index)]->GetSumStackIncluded())
                display.DrawClip(index);
            display.SetProgress(index + 1);
            if (display.ProgressCancelled())
                return false;
        }
        return true;
    };
    auto abandon = [&](const std::string& failure) {
        pipeline.Stop();
        leases.clear();
        AbandonStack(display);
        StackFailed(failure);
        return false;
    };
    for (int i = 0; i < clipCount; ++i) {
        Frame& frame = *gFrames[static_cast<std::size_t>(i)];
        if (frame.GetSumStackIncluded()) {
            display.MarkWorkingClip(i);
            gNumFramesInStack += 1.0;
            std::string failure;
            try {
                const GWorldWrapper* image = readAhead ? readAhead->TakeCopy(published) : nullptr;
                FrameLease lease;
                if (!image) {
                    // A clip the helpers have not reached comes back here.
                    lease = frame.GetModified(true);
                    // A helper moving this clip (or making room) makes it wait, never fail.
                    while (!lease && readAhead && readAhead->WaitForMove())
                        lease = frame.GetModified(true);
                    image = lease.get();
                }
                if (!image)
                    failure = "Clip " + std::to_string(i + 1) +
                              " could not be read back from its temporary file, so no stack was made.";
                else if (image->Width() != width || image->Height() != height)
                    failure = "Clip " + std::to_string(i + 1) +
                              " does not have the size of the other clips, so no stack was made.";
                else {
                    StackSource& source = sources[static_cast<std::size_t>(published)];
                    source.image = image;
                    for (int c = 0; c < 3; ++c)
                        source.offset[c] = frame.GetAlignment(c + 1);
                    builder.Count(source);
                    leases[static_cast<std::size_t>(published)] = std::move(lease);
                    if (i == lastIncluded) {
                        builder.FinishCounts(gNumFramesInStack);
                        handedIn.store(published + 1, std::memory_order_release);
                    }
                    pipeline.Publish(++published);
                }
            } catch (const std::bad_alloc&) {
                // The render's step has shown the out-of-memory alert.
                return abandon(std::string());
            }
            if (!failure.empty())
                return abandon(failure);
        }
        unreported.emplace_back(i, published);
        // Cancel is heard while clips are taken (rendered or brought back),
        // not only once they are added. Clips all ready are taken at once,
        // without the screen's first update holding up the bands.
        if (!allReady && display.ProgressCancelled())
            return abandon(std::string());
        // At the limit, only until one batch can go: the rest stay waiting,
        // so the helpers have bands to take while the next batch is handed in.
        if (published - released >= pinnedClips)
            pipeline.WorkUntilDone(published - pinnedClips + kClipsPerPass);
        if (!report())
            return abandon(std::string());
    }
    pipeline.Close();
    // The rest a batch at a time, the progress stepped and Cancel heard between.
    do {
        pipeline.WorkUntilDone(std::min(published, pipeline.Done() + kClipsPerPass));
        if (!report())
            return abandon(std::string());
    } while (pipeline.Done() < published);
    if (published == 0)
        builder.ZeroRows(0, height); // no band was added to
    assert(published == 0 || std::all_of(bandRescaled.begin(), bandRescaled.end(), [](char r) { return r != 0; }));
    largest = bands > 0 ? *std::max_element(bandLargest.begin(), bandLargest.end()) : 0;
    shownAll = shown && published > 0;
    display.CloseProgress();
    return true;
}

} // namespace

int StackWidth()
{
    return gFrameStack ? gFrameStack->Width() : 0;
}

int StackHeight()
{
    return gFrameStack ? gFrameStack->Height() : 0;
}

bool HaveSummedStack()
{
    return gRedStack && gGreenStack && gBlueStack && gFrameStack;
}

bool CreateInitialStack()
{
    StackDisplay& display = GetStackDisplay();
    if (gRotationMethod != 2 && AnyClipRotated() &&
        !DoStandardAlert(kAlertPlain, kInterpolationWarningTitle, kInterpolationWarningMessage, "Continue", "Cancel"))
        return false;
    if (!VerifyImageWidth(nullptr, false))
        return false;

    const int width = gImageDim.Width(), height = gImageDim.Height();
    const std::size_t n = static_cast<std::size_t>(std::max(0, width)) * static_cast<std::size_t>(std::max(0, height));
    // The previous planes and display image go. When they have the new size
    // their memory is taken again and the display image erased: the same
    // result, and the fresh pages of a large stack would cost as much as
    // summing many clips. The planes are zeroed band by band as the sums
    // start (SumClips).
    const bool sameSize = gFrameStack && StackWidth() == width && StackHeight() == height;
    std::unique_ptr<int32_t[]> recycled[3] = {std::move(gRedStack), std::move(gGreenStack), std::move(gBlueStack)};
    std::unique_ptr<GWorldWrapper> oldDisplay = std::move(gFrameStack);
    if (!sameSize) {
        for (auto& plane : recycled)
            plane.reset();
        oldDisplay.reset();
    }
    std::unique_ptr<StackBuilder> builder;
    std::unique_ptr<BandWorkers> workers;
    try {
        std::unique_ptr<int32_t[]>* targets[3] = {&gRedStack, &gGreenStack, &gBlueStack};
        for (int c = 0; c < 3; ++c) {
            if (recycled[c])
                *targets[c] = std::move(recycled[c]);
            else
                targets[c]->reset(new int32_t[n]); // throws std::bad_alloc
        }
        if (oldDisplay) {
            gFrameStack = std::move(oldDisplay);
            gFrameStack->EraseGWorldRect();
        } else {
            gFrameStack = std::make_unique<GWorldWrapper>(32, MakeRect(0, 0, height, width), -1);
        }
        int32_t* planes[3] = {gRedStack.get(), gGreenStack.get(), gBlueStack.get()};
        builder = std::make_unique<StackBuilder>(width, height, planes);
        workers = std::make_unique<BandWorkers>(gNumThreads);
    } catch (const std::bad_alloc&) {
        DoNotEnougMemoryForOperationDialog();
        ReleaseStackPlanes();
        return false;
    }

    const int clipCount = static_cast<int>(gFrames.size());
    int32_t largest = 0;
    bool shownAll = false;
    // The new stack has no display offsets: with every channel on, the
    // bands show themselves as they finish.
    GWorldWrapper* shown = gRedChannelOn && gGreenChannelOn && gBlueChannelOn ? gFrameStack.get() : nullptr;
    if (clipCount == 0) {
        builder->ZeroRows(0, height);
        gNumFramesInStack = 1.0;
    } else if (!SumClips(*builder, width, height, display, *workers, shown, largest, shownAll)) {
        return false;
    }
    builder.reset();
    gFrameStackOffsetRed = gFrameStackOffsetGreen = gFrameStackOffsetBlue = Point{};
    display.ShowStackWindow(width, height);
    // A pixel covered by k of N clips sums at most 255 k, and its rescale
    // 255 N, so the divisor is N as the bands took it; the check keeps the
    // projection right should that ever not hold.
    if (shownAll && largest / 255.0 <= gNumFramesInStack) {
        DrawFrameStackWindow();
    } else {
        const int32_t* planes[3] = {gRedStack.get(), gGreenStack.get(), gBlueStack.get()};
        ProjectPlanes(planes, false, MakeRect(-1, -1, -1, -1), true, workers.get(), largest);
    }
    workers.reset();
    display.StackStateChanged();
    return true;
}

void ProjectStackIntoFrameStackGWorld(bool grow)
{
    ProjectStackIntoFrameStackGWorld(grow, MakeRect(-1, -1, -1, -1));
}

void ProjectStackIntoFrameStackGWorld(bool grow, Rect r)
{
    if (!HaveSummedStack())
        return;
    const int32_t* planes[3] = {gRedStack.get(), gGreenStack.get(), gBlueStack.get()};
    ProjectPlanes(planes, grow, r, true, nullptr);
}

void ProjectPlanesIntoFrameStackGWorld(const int32_t* const planes[3], Rect r)
{
    if (!HaveSummedStack())
        return;
    ProjectPlanes(planes, false, r, false, nullptr);
}

namespace {

void ProjectPlanes(const int32_t* const planes[3], bool grow, Rect r, bool draw, BandWorkers* threads, int32_t largest)
{
    const int W = StackWidth(), H = StackHeight();
    const bool whole = r.left == -1;
    if (whole)
        r = MakeRect(0, 0, H, W);
    // Filter previews pass their own rectangle; only its part on the stack counts.
    const int top = std::max<int>(r.top, 0), left = std::max<int>(r.left, 0);
    const int bottom = std::min<int>(r.bottom, H), right = std::min<int>(r.right, W);
    if (top >= bottom || left >= right)
        return;
    // A large rectangle's rows are shared out over the threads in bands;
    // every band writes its own rows, and the largest sum is the largest of
    // the bands' own.
    constexpr int kRowsPerBand = 16;
    const std::size_t area = static_cast<std::size_t>(bottom - top) * static_cast<std::size_t>(right - left);
    std::unique_ptr<BandWorkers> own;
    if (!threads) {
        own = std::make_unique<BandWorkers>(static_cast<int>(std::clamp<std::size_t>(
            area / kProjectionPixelsPerThread, 1, static_cast<std::size_t>(std::max(1, gNumThreads)))));
        threads = own.get();
    }
    BandWorkers& workers = *threads;
    const int bands = (bottom - top + kRowsPerBand - 1) / kRowsPerBand;
    auto bandRows = [&](int band, int& y0, int& y1) {
        y0 = top + band * kRowsPerBand;
        y1 = std::min(bottom, y0 + kRowsPerBand);
    };

    // The largest sum over the rectangle, from 0.
    if (largest < 0) {
        std::vector<int32_t> bandMax(static_cast<std::size_t>(bands), 0);
        workers.Run(bands, [&](int band) {
            int y0, y1;
            bandRows(band, y0, y1);
            int32_t m = 0;
            for (int c = 0; c < 3; ++c)
                for (int y = y0; y < y1; ++y)
                    m = std::max(m, LargestOf(planes[c] + static_cast<std::size_t>(y) * static_cast<std::size_t>(W),
                                              left, right));
            bandMax[static_cast<std::size_t>(band)] = m;
        });
        largest = *std::max_element(bandMax.begin(), bandMax.end());
    }
    const int32_t m = largest;
    const double q = m / 255.0;
    const double d = std::max(gNumFramesInStack, q);
    if (grow && q > gNumFramesInStack)
        gNumFramesInStack = q;

    const Point* offsets = DisplayOffsets();
    const bool allChannels = gRedChannelOn && gGreenChannelOn && gBlueChannelOn;
    const int shown = gRedChannelOn ? 0 : gGreenChannelOn ? 1 : 2;
    GWorldWrapper& display = *gFrameStack;
    // Without offsets the rows of the three planes go straight into the row
    // of the display image.
    const bool plain =
        allChannels && d > 0.0 && offsets[0] == Point{} && offsets[1] == Point{} && offsets[2] == Point{};
    workers.Run(bands, [&](int band) {
        int y0, y1;
        bandRows(band, y0, y1);
        for (int y = y0; y < y1; ++y) {
            uint8_t* out = display.PixelRow(y);
            if (plain) {
                const std::size_t at =
                    static_cast<std::size_t>(y) * static_cast<std::size_t>(W) + static_cast<std::size_t>(left);
                ProjectSumRow(planes[0] + at, planes[1] + at, planes[2] + at,
                              out + static_cast<std::ptrdiff_t>(left) * 4, right - left, d);
                continue;
            }
            for (int x = left; x < right; ++x) {
                uint8_t value[3] = {0, 0, 0};
                for (int c = 0; c < 3; ++c) {
                    if (!allChannels && c != shown)
                        continue;
                    const int sy = y + offsets[c].v, sx = x + offsets[c].h;
                    if (sy < 0 || sy >= H || sx < 0 || sx >= W || d == 0.0)
                        continue;
                    value[c] = ProjectedSum(planes[c][static_cast<std::size_t>(sy) * static_cast<std::size_t>(W) +
                                                      static_cast<std::size_t>(sx)],
                                            d);
                }
                uint8_t* p = out + static_cast<std::ptrdiff_t>(x) * 4;
                if (allChannels) {
                    p[1] = value[0];
                    p[2] = value[1];
                    p[3] = value[2];
                } else {
                    p[1] = p[2] = p[3] = value[shown];
                }
            }
        }
    });
    if (!draw)
        return;
    if (whole)
        DrawFrameStackWindow();
    else
        GetStackDisplay().DrawStackRect(*gFrameStack, MakeRect(top, left, bottom, right));
}

} // namespace

void ResampleStack(int k)
{
    if (!HaveSummedStack())
        return;
    const int W = StackWidth(), H = StackHeight(), b = k + 1;
    if (k < 1 || W < b || H < b) {
        SysBeep();
        return;
    }
    const int newW = W / b, newH = H / b;
    std::unique_ptr<int32_t[]> planes[3];
    try {
        for (auto& plane : planes)
            plane = NewPlane(static_cast<std::size_t>(newW) * static_cast<std::size_t>(newH));
    } catch (const std::bad_alloc&) {
        DoNotEnougMemoryForOperationDialog();
        return;
    }
    const int32_t* old[3] = {gRedStack.get(), gGreenStack.get(), gBlueStack.get()};
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < newH; ++y)
            for (int x = 0; x < newW; ++x) {
                int64_t sum = 0; // 9 int32 values cannot overflow 64 bits
                for (int dy = 0; dy < b; ++dy)
                    for (int dx = 0; dx < b; ++dx)
                        sum += old[c][static_cast<std::size_t>(b * y + dy) * static_cast<std::size_t>(W) +
                                      static_cast<std::size_t>(b * x + dx)];
                planes[c][static_cast<std::size_t>(y) * static_cast<std::size_t>(newW) + static_cast<std::size_t>(x)] =
                    static_cast<int32_t>(std::clamp<int64_t>(sum, INT32_MIN, INT32_MAX));
            }
    try {
        AdoptPlanes(planes, newW, newH, true);
    } catch (const std::bad_alloc&) {
        DoNotEnougMemoryForOperationDialog();
    }
}

void TransformStack(int k)
{
    if (!HaveSummedStack() || k < 1 || k > 5)
        return;
    const int W = StackWidth(), H = StackHeight();
    const bool quarter = k == 1 || k == 3;
    const int newW = quarter ? H : W, newH = quarter ? W : H;
    std::unique_ptr<int32_t[]> planes[3];
    try {
        for (auto& plane : planes)
            plane.reset(new int32_t[static_cast<std::size_t>(W) * static_cast<std::size_t>(H)]);
    } catch (const std::bad_alloc&) {
        DoNotEnougMemoryForOperationDialog();
        return;
    }
    const int32_t* old[3] = {gRedStack.get(), gGreenStack.get(), gBlueStack.get()};
    auto O = [W](const int32_t* plane, int y, int x) {
        return plane[static_cast<std::size_t>(y) * static_cast<std::size_t>(W) + static_cast<std::size_t>(x)];
    };
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < newH; ++i)
            for (int j = 0; j < newW; ++j) {
                int32_t v = 0;
                switch (k) {
                case 1:
                    v = O(old[c], H - 1 - j, i);
                    break; // 90 degrees clockwise
                case 2:
                    v = O(old[c], H - 1 - i, W - 1 - j);
                    break; // flat index W H - 1 - t
                case 3:
                    v = O(old[c], j, W - 1 - i);
                    break; // 90 degrees counter-clockwise
                case 4:
                    v = O(old[c], i, W - 1 - j);
                    break; // mirror left-right
                case 5:
                    v = O(old[c], H - 1 - i, j);
                    break; // mirror top-bottom
                }
                planes[c][static_cast<std::size_t>(i) * static_cast<std::size_t>(newW) + static_cast<std::size_t>(j)] =
                    v;
            }
    try {
        AdoptPlanes(planes, newW, newH, false);
    } catch (const std::bad_alloc&) {
        DoNotEnougMemoryForOperationDialog();
    }
}

void DeleteFrameStack()
{
    ReleaseStackPlanes();
    gFrameStack.reset();
    gFrameStackOffsetRed = gFrameStackOffsetGreen = gFrameStackOffsetBlue = Point{};
    gLastStarBrightnessThreshold = -1;
    StackDisplay& display = GetStackDisplay();
    display.HideStackWindows();
    display.StackStateChanged();
}

void DrawFrameStackWindow()
{
    if (gFrameStack)
        GetStackDisplay().DrawStackImage(*gFrameStack);
}
