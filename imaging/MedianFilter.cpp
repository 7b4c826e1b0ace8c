// imaging/MedianFilter.cpp: the selective median filter. Interior pixels take
// their medians from a comparator network run over a batch of pixels at once
// (no window is sorted); pixels near the borders, whose neighbour count
// varies, use std::nth_element over the neighbours inside. Every median reads
// unfiltered rows kept aside while the image is written row by row.
#include "imaging/MedianFilter.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "platform/core/GWorldWrapper.h"
#include "platform/core/StandardAlerts.h"

namespace {

// Neighbourhood of radius r: dx^2 + dy^2 <= kReachSquared[r], centre excluded.
constexpr std::array<int, kMedianFilterMaxRadius + 1> kReachSquared = {0, 2, 5, 10};
constexpr int kMaxNeighbours = 36;
// Interior pixels go through the network this many at a time.
constexpr int kBatch = 256;

struct Offset {
    int dx, dy;
};

std::vector<Offset> Neighbourhood(int radius)
{
    std::vector<Offset> offsets;
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx)
            if ((dx != 0 || dy != 0) && dx * dx + dy * dy <= kReachSquared[radius])
                offsets.push_back({dx, dy});
    return offsets;
}

// A comparator network that leaves element n / 2 (in ascending order) of n
// values in one slot. It is Batcher's odd-even merge sort for the next power
// of two, with the missing inputs taken as 255 (which cannot move element
// n / 2 of the real values) and folded away, and with every comparator half
// that does not lead to the selected element dropped.
class SelectionNetwork {
public:
    explicit SelectionNetwork(int n) : mCount(n)
    {
        int size = 1;
        while (size < n)
            size *= 2;
        constexpr int kConstant = -1; // a padding input, known to be 255
        std::vector<int> slotAt(static_cast<std::size_t>(size), kConstant);
        for (int i = 0; i < n; ++i)
            slotAt[i] = i;
        std::vector<Op> all;
        const auto compare = [&](int low, int high) { // low receives the minimum
            const int a = slotAt[low], b = slotAt[high];
            if (b == kConstant)
                return; // min(x, 255) = x stays below
            if (a == kConstant) {
                slotAt[low] = b, slotAt[high] = kConstant;
                return;
            }
            all.push_back({kBoth, static_cast<uint8_t>(a), static_cast<uint8_t>(b)});
        };
        for (int p = 1; p < size; p *= 2)
            for (int k = p; k >= 1; k /= 2)
                for (int j = k % p; j + k < size; j += 2 * k)
                    for (int i = 0; i < std::min(k, size - j - k); ++i)
                        if ((i + j) / (2 * p) == (i + j + k) / (2 * p))
                            compare(i + j, i + j + k);
        mResult = slotAt[n / 2];
        // Backwards from the result: keep the halves whose slot is needed later.
        std::vector<bool> live(static_cast<std::size_t>(n), false);
        live[mResult] = true;
        for (auto op = all.rbegin(); op != all.rend(); ++op) {
            const bool needMin = live[op->low], needMax = live[op->high];
            if (!needMin && !needMax)
                continue;
            mOps.push_back({needMin && needMax ? kBoth : (needMin ? kMin : kMax), op->low, op->high});
            live[op->low] = live[op->high] = true;
        }
        std::reverse(mOps.begin(), mOps.end());
    }

    // slots[i] holds value i of kBatch pixels; afterwards Result() does.
    void Run(std::array<uint8_t, kBatch>* slots) const
    {
        for (const Op& op : mOps) {
            uint8_t* a = slots[op.low].data();
            uint8_t* b = slots[op.high].data();
            switch (op.kind) {
            case kBoth:
                MinMax(a, b);
                break;
            case kMin:
                Min(a, b);
                break;
            case kMax:
                Max(a, b);
                break;
            }
        }
    }

    int Count() const { return mCount; }
    int Result() const { return mResult; }

    static const SelectionNetwork& ForRadius(int radius)
    {
        static const SelectionNetwork networks[] = {SelectionNetwork(8), SelectionNetwork(20), SelectionNetwork(36)};
        return networks[radius - 1];
    }

private:
    // Comparator halves over a batch; separate functions so the compiler
    // knows the two slots apart and runs them on vector registers.
    static void MinMax(uint8_t* __restrict a, uint8_t* __restrict b)
    {
        for (int i = 0; i < kBatch; ++i) {
            const uint8_t x = a[i], y = b[i];
            a[i] = x < y ? x : y;
            b[i] = x < y ? y : x;
        }
    }
    static void Min(uint8_t* __restrict a, const uint8_t* __restrict b)
    {
        for (int i = 0; i < kBatch; ++i)
            a[i] = b[i] < a[i] ? b[i] : a[i];
    }
    static void Max(const uint8_t* __restrict a, uint8_t* __restrict b)
    {
        for (int i = 0; i < kBatch; ++i)
            b[i] = a[i] > b[i] ? a[i] : b[i];
    }

    enum Kind : uint8_t { kBoth, kMin, kMax };
    struct Op {
        Kind kind;
        uint8_t low, high; // slots: low receives the minimum, high the maximum
    };
    int mCount;
    int mResult = 0;
    std::vector<Op> mOps;
};

// The filter over one image. The unfiltered rows y - radius ... y + radius are
// kept in a ring (row r in slot r mod ring rows), whole and split by channel,
// so the image itself can be written row by row.
class Medians {
public:
    // Throws std::bad_alloc when its buffers cannot be made.
    Medians(const GWorldWrapper& image, int radius)
        : mWidth(image.Width()), mHeight(image.Height()), mRadius(radius), mOffsets(Neighbourhood(radius)),
          mNetwork(SelectionNetwork::ForRadius(radius)), mRingRows(std::min(2 * radius + 1, image.Height())),
          mRing(32, MakeRect(0, 0, mRingRows, mWidth), -1),
          mPlanes(3 * static_cast<std::size_t>(mRingRows) * static_cast<std::size_t>(mWidth)),
          mSlots(static_cast<std::size_t>(kMaxNeighbours)), mResults(3)
    {
    }

    // Filters row y of image in place; rows come in order 0, 1, 2, ...
    void Row(GWorldWrapper& image, int y, int threshold)
    {
        if (y == 0)
            for (int r = 0; r < mRadius && r < mHeight; ++r)
                LoadRow(image, r);
        if (y + mRadius < mHeight)
            LoadRow(image, y + mRadius);
        uint8_t* out = image.PixelRow(y);
        const uint8_t* in = RingRow(y);
        const bool interiorRow = y >= mRadius && y < mHeight - mRadius;
        if (interiorRow)
            InteriorSpan(y, threshold, out);
        for (int x = 0; x < mWidth; ++x) {
            if (interiorRow && x == mRadius && x < mWidth - mRadius) {
                x = mWidth - mRadius - 1; // InteriorSpan did these
                continue;
            }
            const uint8_t* p = in + 4 * static_cast<std::ptrdiff_t>(x);
            if (std::max({p[1], p[2], p[3]}) < threshold)
                Pixel(x, y, out + 4 * static_cast<std::ptrdiff_t>(x));
        }
    }

private:
    // The medians of pixel (x, y) from its neighbours inside the image.
    void Pixel(int x, int y, uint8_t* target)
    {
        int n = 0;
        for (const Offset& o : mOffsets) {
            const int nx = x + o.dx, ny = y + o.dy;
            if (nx >= 0 && nx < mWidth && ny >= 0 && ny < mHeight) {
                const uint8_t* p = RingRow(ny) + 4 * static_cast<std::ptrdiff_t>(nx);
                mRed[n] = p[1], mGreen[n] = p[2], mBlue[n] = p[3];
                ++n;
            }
        }
        if (n == 0) // a 1x1 image: nothing to take the median of, the pixel stays
            return;
        target[1] = Select(mRed, n);
        target[2] = Select(mGreen, n);
        target[3] = Select(mBlue, n);
    }

    // The pixels of row y with every neighbour inside, columns
    // [radius, width - radius), through the network kBatch at a time.
    void InteriorSpan(int y, int threshold, uint8_t* target)
    {
        const uint8_t* source = RingRow(y);
        for (int x0 = mRadius; x0 < mWidth - mRadius; x0 += kBatch) {
            const int count = std::min(kBatch, mWidth - mRadius - x0);
            for (int c = 0; c < 3; ++c) {
                for (int k = 0; k < mNetwork.Count(); ++k)
                    std::memcpy(mSlots[k].data(), PlaneRow(c, y + mOffsets[k].dy) + x0 + mOffsets[k].dx, count);
                mNetwork.Run(mSlots.data());
                std::memcpy(mResults[c].data(), mSlots[mNetwork.Result()].data(), count);
            }
            for (int i = 0; i < count; ++i) {
                const std::ptrdiff_t at = 4 * static_cast<std::ptrdiff_t>(x0 + i);
                if (std::max({source[at + 1], source[at + 2], source[at + 3]}) < threshold) {
                    target[at + 1] = mResults[0][i];
                    target[at + 2] = mResults[1][i];
                    target[at + 3] = mResults[2][i];
                }
            }
        }
    }

    // Element n / 2 of the n values in ascending order (the upper middle for
    // an even n), found without sorting the window.
    static uint8_t Select(std::array<uint8_t, kMaxNeighbours>& values, int n)
    {
        uint8_t* middle = values.data() + n / 2;
        std::nth_element(values.data(), middle, values.data() + n);
        return *middle;
    }

    const uint8_t* RingRow(int y) const { return mRing.PixelRow(y % mRingRows); }

    uint8_t* PlaneRow(int channel, int y)
    {
        const std::size_t row = static_cast<std::size_t>(channel) * mRingRows + static_cast<std::size_t>(y % mRingRows);
        return mPlanes.data() + row * static_cast<std::size_t>(mWidth);
    }

    // Keeps the unfiltered row y of image, whole and split by channel.
    void LoadRow(const GWorldWrapper& image, int y)
    {
        const uint8_t* p = image.PixelRow(y);
        std::memcpy(mRing.PixelRow(y % mRingRows), p, 4 * static_cast<std::size_t>(mWidth));
        uint8_t* red = PlaneRow(0, y);
        uint8_t* green = PlaneRow(1, y);
        uint8_t* blue = PlaneRow(2, y);
        for (int x = 0; x < mWidth; ++x, p += 4)
            red[x] = p[1], green[x] = p[2], blue[x] = p[3];
    }

    int mWidth, mHeight, mRadius;
    std::vector<Offset> mOffsets;
    const SelectionNetwork& mNetwork;
    int mRingRows;
    GWorldWrapper mRing;          // unfiltered rows, whole
    std::vector<uint8_t> mPlanes; // the same rows by channel: red rows, green rows, blue rows
    std::vector<std::array<uint8_t, kBatch>> mSlots;
    std::vector<std::array<uint8_t, kBatch>> mResults;
    std::array<uint8_t, kMaxNeighbours> mRed{}, mGreen{}, mBlue{};
};

} // namespace

void MedianFilterImage(GWorldWrapper& image, int radius, int threshold)
{
    if (threshold <= 0 || radius <= 0 || image.Width() < 1 || image.Height() < 1)
        return;
    radius = std::min(radius, kMedianFilterMaxRadius);
    std::unique_ptr<Medians> medians;
    try {
        medians = std::make_unique<Medians>(image, radius);
    } catch (const std::bad_alloc&) {
        DoNotEnougMemoryForOperationDialog();
        throw std::bad_alloc(); // nothing written yet
    }
    for (int y = 0; y < image.Height(); ++y)
        medians->Row(image, y, threshold);
}
