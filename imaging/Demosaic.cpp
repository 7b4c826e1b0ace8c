// imaging/Demosaic.cpp: nearest-neighbour, bilinear and Laplacian-corrected
// demosaicing. The mosaic is first copied into the calling thread's buffer
// with a mirrored border of kPad pixels, so every pixel of the image is
// computed by the same integer formulas and none reads outside the mosaic.
#include "imaging/Demosaic.h"

#include <array>
#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "platform/core/GWorldWrapper.h"
#include "platform/core/StandardAlerts.h"

namespace {

// Border width of the mirrored mosaic. The Laplacian method reads two samples
// away from the green values it computes one pixel outside the image; an even
// width keeps every site's colour.
constexpr int kPad = 4;
constexpr int kGreenByte = 2;

enum Kind { kGreenRed = 0, kRed = 1, kBlue = 2, kGreenBlue = 3 };

// Row and column parity of each kind of site, per pattern. A green-red site
// is a green on a row with red samples.
struct Parity {
    int row, col;
};
constexpr std::array<std::array<Parity, 4>, 4> kSites = {{
    // green-red, red, blue, green-blue
    {{{0, 0}, {0, 1}, {1, 0}, {1, 1}}}, // G R / B G
    {{{0, 1}, {0, 0}, {1, 1}, {1, 0}}}, // R G / G B
    {{{1, 0}, {1, 1}, {0, 0}, {0, 1}}}, // B G / G R
    {{{1, 1}, {1, 0}, {0, 1}, {0, 0}}}, // G B / R G
}};

// Results go through their low 16 bits as a signed number, then 0 ... 255.
inline uint8_t Clamp(int v)
{
    const int s = static_cast<int16_t>(v);
    return static_cast<uint8_t>(s < 0 ? 0 : (s > 255 ? 255 : s));
}

// Index into a side of n samples, mirrored about its first and last sample
// (..., 2, 1, 0, 1, 2, ..., n - 2, n - 1, n - 2, ...); a side of one sample
// repeats it.
int Mirror(int i, int n)
{
    if (n == 1)
        return 0;
    const int period = 2 * (n - 1);
    i %= period;
    if (i < 0)
        i += period;
    return i < n ? i : period - i;
}

// The calling thread's buffer: the padded mosaic and a plane of computed green.
thread_local std::vector<uint8_t> tBuffer;
std::atomic<bool> sFailNextBufferForTesting{false};

// Returns the buffer with at least bytes bytes. When it cannot grow, raises the
// out-of-memory alert and throws std::bad_alloc.
uint8_t* GrowBuffer(std::size_t bytes)
{
    const bool fail = sFailNextBufferForTesting.exchange(false);
    if (fail || tBuffer.size() < bytes) {
        try {
            if (fail)
                throw std::bad_alloc();
            std::vector<uint8_t> bigger(bytes);
            tBuffer.swap(bigger);
        } catch (const std::bad_alloc&) {
            DoNotEnougMemoryForOperationDialog();
            throw std::bad_alloc();
        }
    }
    return tBuffer.data();
}

// The mosaic with its mirrored border, in padded coordinates: image pixel
// (y, x) is (y + kPad, x + kPad).
class Mosaic {
public:
    Mosaic(const uint8_t* src, int width, int height, std::ptrdiff_t rowBytes, bool withGreen)
        : mWidth(width), mHeight(height), mStride(width + 2 * kPad)
    {
        const std::size_t plane = static_cast<std::size_t>(mStride) * static_cast<std::size_t>(height + 2 * kPad);
        uint8_t* base = GrowBuffer(withGreen ? 2 * plane : plane);
        mRaw = base;
        mGreen = withGreen ? base + plane : nullptr;
        for (int py = 0; py < height + 2 * kPad; ++py) {
            const uint8_t* row = src + static_cast<std::ptrdiff_t>(Mirror(py - kPad, height)) * rowBytes;
            uint8_t* out = mRaw + static_cast<std::ptrdiff_t>(py) * mStride;
            const uint8_t* green = row + kGreenByte;
            for (int x = 0; x < width; ++x)
                out[kPad + x] = green[4 * x];
            for (int x = -kPad; x < 0; ++x) {
                out[kPad + x] = green[4 * Mirror(x, width)];
                out[kPad + width - 1 - x] = green[4 * Mirror(width - 1 - x, width)];
            }
        }
    }

    std::ptrdiff_t Stride() const { return mStride; }
    const uint8_t* Raw(int py, int px) const { return mRaw + py * mStride + px; }
    uint8_t* Green(int py, int px) const { return mGreen + py * mStride + px; }

    // Calls f(py, px) for every site of kind in padded rows [y0, y1) and
    // columns [x0, x1), row by row.
    template <class F> static void ForEachSite(BayerPattern pattern, Kind kind, int y0, int y1, int x0, int x1, F&& f)
    {
        const Parity p = kSites[pattern][kind];
        for (int py = y0 + ((p.row - y0) & 1); py < y1; py += 2)
            for (int px = x0 + ((p.col - x0) & 1); px < x1; px += 2)
                f(py, px);
    }

    // Calls, row by row, the kind's f(py, px, out) for every image pixel, out
    // pointing at the pixel in dst; each row holds two kinds of site.
    template <class GreenRed, class Red, class Blue, class GreenBlue>
    void ForEachImagePixel(BayerPattern pattern, uint8_t* dst, std::ptrdiff_t rowBytes, GreenRed&& greenRed, Red&& red,
                           Blue&& blue, GreenBlue&& greenBlue) const
    {
        for (int py = kPad; py < mHeight + kPad; ++py) {
            uint8_t* row = dst + static_cast<std::ptrdiff_t>(py - kPad) * rowBytes;
            const auto run = [&](Kind kind, auto&& f) {
                const Parity p = kSites[pattern][kind];
                if ((py & 1) != p.row)
                    return;
                for (int px = kPad + p.col; px < mWidth + kPad; px += 2) // kPad is even
                    f(py, px, row + 4 * (px - kPad));
            };
            run(kGreenRed, greenRed);
            run(kRed, red);
            run(kBlue, blue);
            run(kGreenBlue, greenBlue);
        }
    }

private:
    int mWidth, mHeight;
    std::ptrdiff_t mStride;
    uint8_t* mRaw;
    uint8_t* mGreen;
};

inline void Put(uint8_t* out, int r, int g, int b)
{
    out[1] = static_cast<uint8_t>(r);
    out[2] = static_cast<uint8_t>(g);
    out[3] = static_cast<uint8_t>(b);
}

bool ValidArguments(const unsigned char* src, unsigned char* dst, int width, int height, std::ptrdiff_t rowBytes,
                    BayerPattern pattern)
{
    return src && dst && width > 0 && height > 0 && rowBytes >= 4 * static_cast<std::ptrdiff_t>(width) &&
           pattern >= 0 && pattern < 4;
}

// The horizontal (step 1) or vertical (step = stride) colour difference
// estimate at a green site: neighbours' mean plus a quarter of the green
// Laplacian.
inline uint8_t AlongLine(const uint8_t* raw, const uint8_t* green, std::ptrdiff_t step)
{
    const int mean = (raw[-step] + raw[step]) >> 1;
    return Clamp(mean + ((2 * raw[0] - green[-step] - green[step]) >> 2));
}

// Red at a blue site or blue at a red site, along the smoother diagonal.
inline uint8_t Diagonal(const uint8_t* raw, const uint8_t* green, std::ptrdiff_t stride)
{
    const std::ptrdiff_t d1 = stride + 1, d2 = stride - 1; // down-right, down-left
    const int g = green[0];
    const int l1 = 2 * g - green[-d1] - green[d1];
    const int l2 = 2 * g - green[-d2] - green[d2];
    const int grad1 = std::abs(raw[-d1] - raw[d1]) + std::abs(l1);
    const int grad2 = std::abs(raw[-d2] - raw[d2]) + std::abs(l2);
    // All three candidates, then a selection: noisy frames make the choice
    // unpredictable, and selecting avoids the mispredicted branches.
    const int along1 = ((raw[-d1] + raw[d1]) >> 1) + (l1 >> 1);
    const int along2 = ((raw[-d2] + raw[d2]) >> 1) + (l2 >> 1);
    const int both = ((raw[-d1] + raw[d1] + raw[-d2] + raw[d2]) >> 2) + ((l1 + l2) >> 2);
    return Clamp(grad1 < grad2 ? along1 : (grad2 < grad1 ? along2 : both));
}

// Green at a red or blue site, along the direction of the smaller gradient.
inline uint8_t GreenAt(const uint8_t* raw, std::ptrdiff_t stride)
{
    const int c = raw[0];
    const int lh = 2 * c - raw[-2] - raw[2];
    const int lv = 2 * c - raw[-2 * stride] - raw[2 * stride];
    const int dh = std::abs(raw[-1] - raw[1]) + std::abs(lh);
    const int dv = std::abs(raw[-stride] - raw[stride]) + std::abs(lv);
    const int vertical = ((raw[-stride] + raw[stride]) >> 1) + (lv >> 2);
    const int horizontal = ((raw[-1] + raw[1]) >> 1) + (lh >> 2);
    const int both = ((raw[-1] + raw[1] + raw[-stride] + raw[stride]) >> 2) + ((lh + lv) >> 3);
    return Clamp(dv < dh ? vertical : (dh < dv ? horizontal : both));
}

} // namespace

void DebayerizeNearestNeighbor(const unsigned char* src, unsigned char* dst, int width, int height,
                               std::ptrdiff_t rowBytes, BayerPattern pattern)
{
    if (!ValidArguments(src, dst, width, height, rowBytes, pattern))
        return;
    const Mosaic m(src, width, height, rowBytes, false);
    const std::ptrdiff_t s = m.Stride();
    // Sources: own sample, left, up and up-left. Sites: green-red, red, blue,
    // green-blue.
    m.ForEachImagePixel(
        pattern, dst, rowBytes,
        [&](int py, int px, uint8_t* out) {
            const uint8_t* r = m.Raw(py, px);
            Put(out, r[-1], r[0], r[-s]);
        },
        [&](int py, int px, uint8_t* out) {
            const uint8_t* r = m.Raw(py, px);
            Put(out, r[0], r[-1], r[-s - 1]);
        },
        [&](int py, int px, uint8_t* out) {
            const uint8_t* r = m.Raw(py, px);
            Put(out, r[-s - 1], r[-1], r[0]);
        },
        [&](int py, int px, uint8_t* out) {
            const uint8_t* r = m.Raw(py, px);
            Put(out, r[-s], r[0], r[-1]);
        });
}

void DebayerizeBilinear(const unsigned char* src, unsigned char* dst, int width, int height, std::ptrdiff_t rowBytes,
                        BayerPattern pattern)
{
    if (!ValidArguments(src, dst, width, height, rowBytes, pattern))
        return;
    const Mosaic m(src, width, height, rowBytes, false);
    const std::ptrdiff_t s = m.Stride();
    // h: left + right, v: up + down, d: the four diagonals. Sites: green-red,
    // red, blue, green-blue.
    m.ForEachImagePixel(
        pattern, dst, rowBytes,
        [&](int py, int px, uint8_t* out) {
            const uint8_t* r = m.Raw(py, px);
            Put(out, (r[-1] + r[1]) >> 1, r[0], (r[-s] + r[s]) >> 1);
        },
        [&](int py, int px, uint8_t* out) {
            const uint8_t* r = m.Raw(py, px);
            Put(out, r[0], (r[-1] + r[1] + r[-s] + r[s]) >> 2, (r[-s - 1] + r[-s + 1] + r[s - 1] + r[s + 1]) >> 2);
        },
        [&](int py, int px, uint8_t* out) {
            const uint8_t* r = m.Raw(py, px);
            Put(out, (r[-s - 1] + r[-s + 1] + r[s - 1] + r[s + 1]) >> 2, (r[-1] + r[1] + r[-s] + r[s]) >> 2, r[0]);
        },
        [&](int py, int px, uint8_t* out) {
            const uint8_t* r = m.Raw(py, px);
            Put(out, (r[-s] + r[s]) >> 1, r[0], (r[-1] + r[1]) >> 1);
        });
}

void DebayerizeLinearInterpolationLaplacianSecondOrder(const unsigned char* src, unsigned char* dst, int width,
                                                       int height, std::ptrdiff_t rowBytes, BayerPattern pattern)
{
    if (!ValidArguments(src, dst, width, height, rowBytes, pattern))
        return;
    const Mosaic m(src, width, height, rowBytes, true);
    const std::ptrdiff_t s = m.Stride();
    // Green at every red and blue site of the image and of a one-pixel ring
    // around it: the red and blue formulas read those values.
    for (Kind kind : {kRed, kBlue})
        Mosaic::ForEachSite(pattern, kind, kPad - 1, height + kPad + 1, kPad - 1, width + kPad + 1,
                            [&](int py, int px) { *m.Green(py, px) = GreenAt(m.Raw(py, px), s); });
    // Red and blue from the raw samples and the green computed above; each
    // site reads only those, so the kinds may go in any order. Sites:
    // green-red, red, blue, green-blue.
    m.ForEachImagePixel(
        pattern, dst, rowBytes,
        [&](int py, int px, uint8_t* out) {
            const uint8_t* r = m.Raw(py, px);
            const uint8_t* g = m.Green(py, px);
            Put(out, AlongLine(r, g, 1), r[0], AlongLine(r, g, s));
        },
        [&](int py, int px, uint8_t* out) {
            const uint8_t* r = m.Raw(py, px);
            const uint8_t* g = m.Green(py, px);
            Put(out, r[0], g[0], Diagonal(r, g, s));
        },
        [&](int py, int px, uint8_t* out) {
            const uint8_t* r = m.Raw(py, px);
            const uint8_t* g = m.Green(py, px);
            Put(out, Diagonal(r, g, s), g[0], r[0]);
        },
        [&](int py, int px, uint8_t* out) {
            const uint8_t* r = m.Raw(py, px);
            const uint8_t* g = m.Green(py, px);
            Put(out, AlongLine(r, g, s), r[0], AlongLine(r, g, 1));
        });
}

void Debayerize(const unsigned char* src, unsigned char* dst, int width, int height, std::ptrdiff_t rowBytes,
                BayerPattern pattern, DebayerMethod method)
{
    switch (method) {
    case kDebayerNearestNeighbor:
        DebayerizeNearestNeighbor(src, dst, width, height, rowBytes, pattern);
        break;
    case kDebayerBilinear:
        DebayerizeBilinear(src, dst, width, height, rowBytes, pattern);
        break;
    case kDebayerLaplacian:
        DebayerizeLinearInterpolationLaplacianSecondOrder(src, dst, width, height, rowBytes, pattern);
        break;
    default:
        break; // unknown methods compute nothing
    }
}

void DebayerizeImageFromGreenChannel(GWorldWrapper& image, BayerPattern pattern, DebayerMethod method)
{
    Debayerize(image.GetPixBaseAddr(), image.GetPixBaseAddr(), image.Width(), image.Height(), image.GetSrcRowBytes(),
               pattern, method);
}

void ScribbleOnDemosaicBufferForTesting(int width, int height, uint32_t seed)
{
    const std::size_t bytes =
        2 * static_cast<std::size_t>(width + 2 * kPad) * static_cast<std::size_t>(height + 2 * kPad);
    uint8_t* p = GrowBuffer(bytes);
    uint32_t state = seed | 1u;
    for (std::size_t i = 0; i < tBuffer.size(); ++i) {
        state ^= state << 13, state ^= state >> 17, state ^= state << 5;
        p[i] = static_cast<uint8_t>(state >> 24);
    }
}

void FailNextDemosaicBufferForTesting()
{
    sFailNextBufferForTesting = true;
}
