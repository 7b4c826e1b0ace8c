// imaging/Rotation.cpp: nearest-neighbour and weighted rotation.
#include "imaging/Rotation.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "imaging/ProcessorFeatures.h"
#include "imaging/SpareImage.h"
#include "platform/core/StandardAlerts.h"

namespace {

constexpr double kSqrt2 = 1.4142135623730951;

std::atomic<bool> sForcePortable{false};

// The source point of every destination pixel, set up once per call: with
// dx = x - cx and dy = y - cy, sx = cx + (dx cos a + dy sin a) and
// sy = cy + (dy cos a - dx sin a). This is the point at radius r and angle
// theta - a of the polar description, without a square root, arc tangent,
// sine and cosine per pixel; only exact rounding ties can come out otherwise.
// The vector loops read the same per-column products and add in the same
// order, so every lane has the scalar coordinates to the last bit.
class SourceMap {
public:
    SourceMap(int width, double cx, double cy, double angle)
        : mCx(cx), mCy(cy), mCos(std::cos(angle)), mSin(std::sin(angle)), mColumnCos(static_cast<std::size_t>(width)),
          mColumnSin(static_cast<std::size_t>(width))
    {
        for (int x = 0; x < width; ++x) {
            const double dx = x - cx;
            mColumnCos[static_cast<std::size_t>(x)] = dx * mCos;
            mColumnSin[static_cast<std::size_t>(x)] = dx * mSin;
        }
    }

    void SetRow(int y)
    {
        const double dy = y - mCy;
        mRowSin = dy * mSin;
        mRowCos = dy * mCos;
    }
    double X(int x) const { return mCx + (mColumnCos[static_cast<std::size_t>(x)] + mRowSin); }
    double Y(int x) const { return mCy + (mRowCos - mColumnSin[static_cast<std::size_t>(x)]); }

    double Cx() const { return mCx; }
    double Cy() const { return mCy; }
    double RowSin() const { return mRowSin; }
    double RowCos() const { return mRowCos; }
    const double* ColumnCos() const { return mColumnCos.data(); }
    const double* ColumnSin() const { return mColumnSin.data(); }

private:
    double mCx, mCy, mCos, mSin;
    std::vector<double> mColumnCos, mColumnSin;
    double mRowSin = 0.0, mRowCos = 0.0;
};

// Nearest integer, halves away from zero: the same result as std::lround and
// std::round, inline. Coordinates and means stay far inside the int range,
// and v - trunc(v) is exact in double, so the comparison with 0.5 decides
// exactly as the library does.
int RoundHalfAway(double v)
{
    const int t = static_cast<int>(v);
    const double fraction = v - t;
    if (fraction >= 0.5)
        return t + 1;
    if (fraction <= -0.5)
        return t - 1;
    return t;
}

// Source coordinates beyond this are outside any image (sides are at most
// 32767); checking first keeps the integer conversion defined.
constexpr double kFarOutside = 1 << 20;

void SetBlack(uint8_t* p)
{
    p[1] = p[2] = p[3] = 0;
}

// The source image as the pixel loops read it.
struct SourcePixels {
    const uint8_t* base;
    std::ptrdiff_t rowBytes;
    int width, height;
    const uint8_t* At(int y, int x) const { return base + y * rowBytes + std::ptrdiff_t{x} * 4; }
};

// The row loops write columns [left, right) of one destination row: d points
// at column left, a at the same column of the row whose alpha bytes the
// result keeps (d itself, or the source's row when d is a new image).

// Nearest-neighbour rotation of one row.
void NearestRow(const SourceMap& map, const SourcePixels& source, int left, int right, uint8_t* d, const uint8_t* a)
{
    for (int x = left; x < right; ++x, d += 4, a += 4) {
        d[0] = a[0];
        const double fx = map.X(x), fy = map.Y(x);
        if (!(std::abs(fx) < kFarOutside && std::abs(fy) < kFarOutside)) {
            SetBlack(d);
            continue;
        }
        const int sx = RoundHalfAway(fx), sy = RoundHalfAway(fy);
        if (sx < 0 || sx >= source.width || sy < 0 || sy >= source.height) {
            SetBlack(d);
            continue;
        }
        const uint8_t* s = source.At(sy, sx);
        d[1] = s[1];
        d[2] = s[2];
        d[3] = s[3];
    }
}

// Weighted rotation of one row.
void WeightedRow(const SourceMap& map, const SourcePixels& source, int left, int right, uint8_t* d, const uint8_t* a)
{
    for (int x = left; x < right; ++x, d += 4, a += 4) {
        d[0] = a[0];
        const double sx = map.X(x), sy = map.Y(x);
        if (sx < 0.0 || sx >= source.width - 1 || sy < 0.0 || sy >= source.height - 1) {
            SetBlack(d);
            continue;
        }
        const int ix = static_cast<int>(sx), iy = static_cast<int>(sy);
        const double fx = sx - ix, fy = sy - iy;
        const double w00 = kSqrt2 - std::sqrt(fx * fx + fy * fy);
        const double w01 = kSqrt2 - std::sqrt((1 - fx) * (1 - fx) + fy * fy);
        const double w10 = kSqrt2 - std::sqrt(fx * fx + (1 - fy) * (1 - fy));
        const double w11 = kSqrt2 - std::sqrt((1 - fx) * (1 - fx) + (1 - fy) * (1 - fy));
        const double total = w00 + w01 + w10 + w11;
        const uint8_t* s0 = source.At(iy, ix);
        const uint8_t* s1 = s0 + source.rowBytes;
        for (int c = 1; c <= 3; ++c) {
            const double mean = (w00 * s0[c] + w01 * s0[4 + c] + w10 * s1[c] + w11 * s1[4 + c]) / total;
            d[c] = static_cast<uint8_t>(std::clamp(RoundHalfAway(mean), 0, 255));
        }
    }
}

#if defined(__x86_64__)
#define VELMORA_ROTATION_AVX2 1

// The AVX2 loops below take four pixels a step with the scalar loops'
// arithmetic lane by lane (the same operations in the same order, no fused
// multiply-add), so their pixels equal the scalar ones bit for bit; the last
// width % 4 pixels of a row go through the scalar loop.

// RoundHalfAway in every lane: t = trunc(v) plus trunc(2 (v - t)), which is
// 1 where the exact fraction v - t reaches a half, -1 where it reaches minus
// a half and 0 otherwise (doubling is exact). Beyond the int range the
// conversion that follows gives INT_MIN, which every bounds test rejects.
__attribute__((target("avx2"))) inline __m256d RoundHalfAwayAvx2(__m256d v)
{
    constexpr int kTrunc = _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC;
    const __m256d t = _mm256_round_pd(v, kTrunc);
    const __m256d fraction = _mm256_sub_pd(v, t);
    return _mm256_add_pd(t, _mm256_round_pd(_mm256_add_pd(fraction, fraction), kTrunc));
}

// Byte offsets iy * rowBytes + 4 ix of four pixels, 0 in the lanes that keep
// (64-bit lanes of all ones or zeros) leaves out.
__attribute__((target("avx2"))) inline __m256i PixelOffsetsAvx2(__m128i ix, __m128i iy, __m256i keep,
                                                                 __m256i rowBytes)
{
    const __m256i y = _mm256_cvtepi32_epi64(iy), x = _mm256_cvtepi32_epi64(ix);
    return _mm256_and_si256(_mm256_add_epi64(_mm256_mul_epi32(y, rowBytes), _mm256_slli_epi64(x, 2)), keep);
}

__attribute__((target("avx2"))) int NearestRowAvx2(const SourceMap& map, const SourcePixels& source, int left,
                                                   int right, uint8_t* d, const uint8_t* a)
{
    const __m256d cx = _mm256_set1_pd(map.Cx()), cy = _mm256_set1_pd(map.Cy());
    const __m256d rowSin = _mm256_set1_pd(map.RowSin()), rowCos = _mm256_set1_pd(map.RowCos());
    const __m128i minusOne = _mm_set1_epi32(-1);
    const __m128i width = _mm_set1_epi32(source.width), height = _mm_set1_epi32(source.height);
    const __m256i rowBytes = _mm256_set1_epi64x(source.rowBytes);
    const __m128i alpha = _mm_set1_epi32(0xFF);
    const int* base = reinterpret_cast<const int*>(source.base);
    int x = left;
    for (; x + 4 <= right; x += 4, d += 16, a += 16) {
        const __m256d fx = _mm256_add_pd(cx, _mm256_add_pd(_mm256_loadu_pd(map.ColumnCos() + x), rowSin));
        const __m256d fy = _mm256_add_pd(cy, _mm256_sub_pd(rowCos, _mm256_loadu_pd(map.ColumnSin() + x)));
        // Far outside, the conversion gives INT_MIN or lands beyond the image:
        // outside, as the scalar loop's early test decides.
        const __m128i sx = _mm256_cvttpd_epi32(RoundHalfAwayAvx2(fx));
        const __m128i sy = _mm256_cvttpd_epi32(RoundHalfAwayAvx2(fy));
        const __m128i inside =
            _mm_and_si128(_mm_and_si128(_mm_cmpgt_epi32(sx, minusOne), _mm_cmpgt_epi32(width, sx)),
                          _mm_and_si128(_mm_cmpgt_epi32(sy, minusOne), _mm_cmpgt_epi32(height, sy)));
        const __m128i kept = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a)), alpha);
        __m128i colour = _mm_setzero_si128();
        if (_mm_movemask_epi8(inside) != 0)
            colour = _mm_andnot_si128(alpha, _mm_and_si128(_mm256_i64gather_epi32(
                                                               base, PixelOffsetsAvx2(sx, sy, _mm256_cvtepi32_epi64(inside), rowBytes), 1),
                                                           inside));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_or_si128(kept, colour));
    }
    return x;
}

// Channel c of the left (right) pixel of each 8-byte pair, as doubles: the
// byte is moved to the bottom of its 64-bit lane under the exponent of 2^52,
// and 2^52 is taken off again (exact).
__attribute__((target("avx2"))) inline __m256d ByteLanesAvx2(__m256i pairs, __m256i select)
{
    const __m256i magic = _mm256_set1_epi64x(0x4330000000000000);
    return _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(_mm256_shuffle_epi8(pairs, select), magic)),
                         _mm256_castsi256_pd(magic));
}

__attribute__((target("avx2"))) __m256i ByteSelectAvx2(int byte)
{
    const char z = static_cast<char>(0x80), b = static_cast<char>(byte), b8 = static_cast<char>(byte + 8);
    return _mm256_setr_epi8(b, z, z, z, z, z, z, z, b8, z, z, z, z, z, z, z, b, z, z, z, z, z, z, z, b8, z, z, z, z,
                            z, z, z);
}

__attribute__((target("avx2"))) int WeightedRowAvx2(const SourceMap& map, const SourcePixels& source, int left,
                                                    int right, uint8_t* d, const uint8_t* a)
{
    const __m256d cx = _mm256_set1_pd(map.Cx()), cy = _mm256_set1_pd(map.Cy());
    const __m256d rowSin = _mm256_set1_pd(map.RowSin()), rowCos = _mm256_set1_pd(map.RowCos());
    const __m256d zero = _mm256_setzero_pd(), one = _mm256_set1_pd(1.0), sqrt2 = _mm256_set1_pd(kSqrt2);
    const __m256d xEnd = _mm256_set1_pd(source.width - 1), yEnd = _mm256_set1_pd(source.height - 1);
    const __m256i rowBytes = _mm256_set1_epi64x(source.rowBytes);
    const __m128i alpha = _mm_set1_epi32(0xFF);
    const long long* top = reinterpret_cast<const long long*>(source.base);
    const long long* bottom = reinterpret_cast<const long long*>(source.base + source.rowBytes);
    const __m256i leftByte[3] = {ByteSelectAvx2(1), ByteSelectAvx2(2), ByteSelectAvx2(3)};
    const __m256i rightByte[3] = {ByteSelectAvx2(5), ByteSelectAvx2(6), ByteSelectAvx2(7)};
    int x = left;
    for (; x + 4 <= right; x += 4, d += 16, a += 16) {
        const __m256d sx = _mm256_add_pd(cx, _mm256_add_pd(_mm256_loadu_pd(map.ColumnCos() + x), rowSin));
        const __m256d sy = _mm256_add_pd(cy, _mm256_sub_pd(rowCos, _mm256_loadu_pd(map.ColumnSin() + x)));
        const __m256d inside =
            _mm256_and_pd(_mm256_and_pd(_mm256_cmp_pd(sx, zero, _CMP_GE_OQ), _mm256_cmp_pd(sx, xEnd, _CMP_LT_OQ)),
                          _mm256_and_pd(_mm256_cmp_pd(sy, zero, _CMP_GE_OQ), _mm256_cmp_pd(sy, yEnd, _CMP_LT_OQ)));
        const __m128i kept = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a)), alpha);
        if (_mm256_movemask_pd(inside) == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d), kept);
            continue;
        }
        const __m128i ix = _mm256_cvttpd_epi32(sx), iy = _mm256_cvttpd_epi32(sy);
        const __m256d fx = _mm256_sub_pd(sx, _mm256_cvtepi32_pd(ix)), fy = _mm256_sub_pd(sy, _mm256_cvtepi32_pd(iy));
        const __m256d gx = _mm256_sub_pd(one, fx), gy = _mm256_sub_pd(one, fy);
        const __m256d fx2 = _mm256_mul_pd(fx, fx), fy2 = _mm256_mul_pd(fy, fy);
        const __m256d gx2 = _mm256_mul_pd(gx, gx), gy2 = _mm256_mul_pd(gy, gy);
        const __m256d w00 = _mm256_sub_pd(sqrt2, _mm256_sqrt_pd(_mm256_add_pd(fx2, fy2)));
        const __m256d w01 = _mm256_sub_pd(sqrt2, _mm256_sqrt_pd(_mm256_add_pd(gx2, fy2)));
        const __m256d w10 = _mm256_sub_pd(sqrt2, _mm256_sqrt_pd(_mm256_add_pd(fx2, gy2)));
        const __m256d w11 = _mm256_sub_pd(sqrt2, _mm256_sqrt_pd(_mm256_add_pd(gx2, gy2)));
        const __m256d total = _mm256_add_pd(_mm256_add_pd(_mm256_add_pd(w00, w01), w10), w11);
        // The pixel pairs (ix, ix + 1) of rows iy and iy + 1; lanes outside
        // read pixels (0, 0) and (1, 0) of both rows, which exist whenever a
        // lane is inside.
        const __m256i offsets = PixelOffsetsAvx2(ix, iy, _mm256_castpd_si256(inside), rowBytes);
        const __m256i upper = _mm256_i64gather_epi64(top, offsets, 1);
        const __m256i lower = _mm256_i64gather_epi64(bottom, offsets, 1);
        __m128i colour = _mm_setzero_si128();
        for (int c = 0; c < 3; ++c) {
            const __m256d sum = _mm256_add_pd(
                _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(w00, ByteLanesAvx2(upper, leftByte[c])),
                                            _mm256_mul_pd(w01, ByteLanesAvx2(upper, rightByte[c]))),
                              _mm256_mul_pd(w10, ByteLanesAvx2(lower, leftByte[c]))),
                _mm256_mul_pd(w11, ByteLanesAvx2(lower, rightByte[c])));
            const __m256d mean = RoundHalfAwayAvx2(_mm256_div_pd(sum, total));
            // No clamp: the weights are at least 0 (a distance is at most the
            // rounded sqrt 2), so a mean lies in [0, 255] up to a few units in
            // the last place and rounds into the byte range, as the scalar
            // loop's clamp then leaves it.
            const __m256d level = _mm256_and_pd(mean, inside);
            colour = _mm_or_si128(colour, _mm_slli_epi32(_mm256_cvttpd_epi32(level), 8 * (c + 1)));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_or_si128(kept, colour));
    }
    return x;
}

bool UseAvx2()
{
    return ProcessorHasAvx2() && !sForcePortable.load(std::memory_order_relaxed);
}
#endif

// One row's pixels [left, right) of a pass, d and a at column left; the
// vector form does whole groups from left on and returns the column where it
// stopped.
using RowPass = void (*)(const SourceMap&, const SourcePixels&, int left, int right, uint8_t* d, const uint8_t* a);
using VectorRowPass = int (*)(const SourceMap&, const SourcePixels&, int left, int right, uint8_t* d,
                              const uint8_t* a);

// The pixels a pass writes: rows [top, bottom) and columns [left, right) of
// dest (clipped to the image), each keeping the alpha of the same pixel of
// alphas (dest itself, or the source when dest is a new image).
struct RotationTarget {
    GWorldWrapper& dest;
    const GWorldWrapper& alphas;
    int top, left, bottom, right;
};

// Runs a pass over the target's pixels.
void RotateRows(const GWorldWrapper& source, const RotationTarget& target, SourceMap& map, RowPass row,
                VectorRowPass vectorRow)
{
    const SourcePixels pixels{source.PixelRow(0), source.GetSrcRowBytes(), source.Width(), source.Height()};
    for (int y = target.top; y < target.bottom; ++y) {
        map.SetRow(y);
        uint8_t* d = target.dest.PixelRow(y);
        const uint8_t* a = target.alphas.PixelRow(y);
        const std::ptrdiff_t left = std::ptrdiff_t{target.left} * 4;
        const int x = vectorRow ? vectorRow(map, pixels, target.left, target.right, d + left, a + left) : target.left;
        row(map, pixels, x, target.right, d + std::ptrdiff_t{x} * 4, a + std::ptrdiff_t{x} * 4);
    }
}

// Nearest-neighbour rotation of source into the target's pixels.
void RotateNearest(const GWorldWrapper& source, const RotationTarget& target, double angle)
{
    SourceMap map(source.Width(), source.Width() * 0.5, source.Height() * 0.5, angle);
    VectorRowPass vectorRow = nullptr;
#if defined(VELMORA_ROTATION_AVX2)
    if (UseAvx2())
        vectorRow = NearestRowAvx2;
#endif
    RotateRows(source, target, map, NearestRow, vectorRow);
}

void RotateWeighted(const GWorldWrapper& source, const RotationTarget& target, double angle)
{
    SourceMap map(source.Width(), source.Width() * 0.5 - 0.5, source.Height() * 0.5 - 0.5, angle);
    VectorRowPass vectorRow = nullptr;
#if defined(VELMORA_ROTATION_AVX2)
    if (UseAvx2())
        vectorRow = WeightedRowAvx2;
#endif
    RotateRows(source, target, map, WeightedRow, vectorRow);
}

// Runs a rotation pass; its per-column tables are made before any pixel is
// written, so running out of memory there leaves the image as it was.
template <typename Pass> bool WithMemoryAlert(Pass pass)
{
    try {
        pass();
        return true;
    } catch (const std::bad_alloc&) {
        DoNotEnougMemoryForOperationDialog();
        return false;
    }
}

// Rotates the whole image by pass: every pixel of a new image of its size
// (the thread's spare image where it has one) is written from the image,
// which then takes the new pixels; its old ones become the spare. Nothing is
// copied, and repeated rotations of one size touch no fresh memory.
using WholePass = void (*)(const GWorldWrapper& source, const RotationTarget& target, double angle);
bool RotateWhole(GWorldWrapper& image, double angle, WholePass pass)
{
    if (angle == 0.0)
        return true;
    if (!std::isfinite(angle))
        return false;
    std::unique_ptr<GWorldWrapper> rotated = TakeSpareImage(image);
    if (!rotated)
        return false;
    const RotationTarget target{*rotated, image, 0, 0, image.Height(), image.Width()};
    const bool done = WithMemoryAlert([&] { pass(image, target, angle); });
    if (done)
        image.SwapWith(*rotated);
    KeepSpareImage(std::move(rotated));
    return done;
}

} // namespace

bool RotateImageNearestNeighbor(GWorldWrapper& image, double angle)
{
    return RotateWhole(image, angle, RotateNearest);
}

bool RotateImageBilinear(GWorldWrapper& image, double angle)
{
    return RotateWhole(image, angle, RotateWeighted);
}

bool RotateImageNearestNeighborInRect(const GWorldWrapper& source, GWorldWrapper& dest, double angle, Rect rect)
{
    if (&source == &dest || source.Width() != dest.Width() || source.Height() != dest.Height() || !std::isfinite(angle))
        return false;
    const int top = std::max<int>(rect.top, 0), bottom = std::min<int>(rect.bottom, dest.Height());
    const int left = std::max<int>(rect.left, 0), right = std::min<int>(rect.right, dest.Width());
    if (top >= bottom || left >= right)
        return true;
    if (angle == 0.0) {
        // Turning by 0 leaves the copy as it is.
        for (int y = top; y < bottom; ++y) {
            const uint8_t* s = source.PixelRow(y) + std::ptrdiff_t{left} * 4;
            uint8_t* d = dest.PixelRow(y) + std::ptrdiff_t{left} * 4;
            for (int x = left; x < right; ++x, s += 4, d += 4) {
                d[1] = s[1];
                d[2] = s[2];
                d[3] = s[3];
            }
        }
        return true;
    }
    return WithMemoryAlert([&] { RotateNearest(source, RotationTarget{dest, dest, top, left, bottom, right}, angle); });
}

void ForcePortableRotationForTesting(bool force)
{
    sForcePortable.store(force, std::memory_order_relaxed);
}
