// imaging/FFT.cpp: the FFT library's process-wide tables and its
// one-dimensional complex and real transforms.
#include "imaging/FFT.h"

#include <atomic>
#include <cassert>
#include <cmath>
#include <new>
#include <utility>

#include "imaging/FFTInternal.h"

namespace {

// Table slots are published with release stores under the init mutex and read
// with acquire loads by transforms on any thread.
std::atomic<double*> sCosTables[32];     // UtblArray: index M
std::atomic<int16_t*> sBitRevTables[32]; // BRLowArray: index K = M/2

std::atomic<int> sFailNextAllocations{0};
std::atomic<size_t> sAllocationCount{0};

} // namespace

namespace fft_internal {

// cos(2 pi k / N) for 0 < k < N/4, 1.0 at 0 and exactly 0.0 at N/4; a single
// 0.0 when N/4 is 0. Exact end values keep the quadrant lookups symmetric.
void fftCosInit(int32_t M, double* table)
{
    const size_t N = size_t{1} << M;
    const size_t q4 = N / 4;
    if (q4 == 0) {
        table[0] = 0.0;
        return;
    }
    table[0] = 1.0;
    const double step = 2.0 * M_PI / static_cast<double>(N);
    for (size_t k = 1; k < q4; ++k)
        table[k] = std::cos(step * static_cast<double>(k));
    table[q4] = 0.0;
}

// K = M/2; 2^(K-1) entries, entry i being i with its K-1 low bits reversed.
void fftBRInit(int32_t M, int16_t* table)
{
    const int K = M / 2;
    const int bits = K - 1;
    const size_t count = size_t{1} << bits;
    for (size_t i = 0; i < count; ++i) {
        unsigned r = 0;
        for (int j = 0; j < bits; ++j)
            if (i & (size_t{1} << j))
                r |= 1u << (bits - 1 - j);
        table[i] = static_cast<int16_t>(r);
    }
}

} // namespace fft_internal

namespace {

// Builds bit-reversal slot M/2 for size M if missing; false on allocation
// failure.
bool EnsureBitRevTable(int32_t M)
{
    const int K = M / 2;
    if (sBitRevTables[K].load(std::memory_order_acquire))
        return true;
    const size_t count = size_t{1} << (K - 1);
    auto* table = static_cast<int16_t*>(fft_internal::Allocate(count * sizeof(int16_t)));
    if (!table)
        return false;
    fft_internal::fftBRInit(M, table);
    sBitRevTables[K].store(table, std::memory_order_release);
    return true;
}

[[maybe_unused]] bool IsInitialised(int32_t M)
{
    return M >= 0 && M <= kFftMaxLog2 && sCosTables[M].load(std::memory_order_acquire) &&
           (M <= 1 || sBitRevTables[M / 2].load(std::memory_order_acquire)) &&
           (M < 3 || sBitRevTables[(M - 1) / 2].load(std::memory_order_acquire));
}

const double* CosTableFor(int32_t M)
{
    assert(IsInitialised(M) && "transform of a size whose fftInit did not succeed");
    return sCosTables[M].load(std::memory_order_acquire);
}

void RealForwardRow(double* row, int32_t M, const double* U)
{
    if (M == 1) {
        const double a = row[0], b = row[1];
        row[0] = a + b;
        row[1] = a - b;
        return;
    }
    fft_internal::ComplexTransform(row, M - 1, U, 2, false);
    fft_internal::RealForwardFinish(row, size_t{1} << M, U);
}

void RealInverseRow(double* row, int32_t M, const double* U)
{
    if (M == 1) {
        const double a = row[0], b = row[1];
        row[0] = (a + b) * 0.5;
        row[1] = (a - b) * 0.5;
        return;
    }
    fft_internal::RealInverseStart(row, size_t{1} << M, U);
    fft_internal::ComplexTransform(row, M - 1, U, 2, true);
}

// Runs rowTransform(row, M, U) over Rows rows of 2^M real values; a
// one-value row is its own transform.
template <class RowTransform> inline void EachRealRow(double* data, int32_t M, int32_t Rows, RowTransform rowTransform)
{
    if (Rows <= 0)
        return;
    const double* U = CosTableFor(M);
    if (M == 0)
        return;
    const size_t len = size_t{1} << M;
    for (int32_t r = 0; r < Rows; ++r)
        rowTransform(data + r * len, M, U);
}

} // namespace

namespace fft_internal {

std::mutex& InitMutex()
{
    static std::mutex mutex;
    return mutex;
}

void* Allocate(size_t bytes) noexcept
{
    int pending = sFailNextAllocations.load(std::memory_order_relaxed);
    while (pending > 0) {
        if (sFailNextAllocations.compare_exchange_weak(pending, pending - 1))
            return nullptr;
    }
    void* p = ::operator new (bytes, std::align_val_t{64}, std::nothrow);
    if (p)
        sAllocationCount.fetch_add(1, std::memory_order_relaxed);
    return p;
}

int InitLocked(int32_t M)
{
    if (M < 0 || M > kFftMaxLog2)
        return kFftInitSizeOutOfRange;
    bool failed = false;
    if (!sCosTables[M].load(std::memory_order_acquire)) {
        const size_t N = size_t{1} << M;
        auto* table = static_cast<double*>(Allocate((N / 4 + 1) * sizeof(double)));
        if (table) {
            fftCosInit(M, table);
            sCosTables[M].store(table, std::memory_order_release);
        } else {
            failed = true;
        }
    }
    if (M > 1 && !EnsureBitRevTable(M))
        failed = true;
    if (M >= 3 && !EnsureBitRevTable(M - 1))
        failed = true;
    return failed ? kFftInitOutOfMemory : kFftInitOk;
}

void ComplexTransform(double* x, int log2n, const double* U, size_t tableScale, bool inverse)
{
    const size_t n = size_t{1} << log2n;
    if (n < 2)
        return;
    // Bit-reversal permutation, the reversed index kept by a reversed increment.
    for (size_t i = 0, r = 0; i < n; ++i) {
        if (i < r) {
            std::swap(x[2 * i], x[2 * r]);
            std::swap(x[2 * i + 1], x[2 * r + 1]);
        }
        size_t bit = n >> 1;
        while (bit && (r & bit)) {
            r ^= bit;
            bit >>= 1;
        }
        r |= bit;
    }
    const size_t N = n * tableScale;
    const double sign = inverse ? 1.0 : -1.0;
    size_t s = 1;
    if (log2n % 2) { // one radix-2 stage of span 1 (no twiddles)
        for (size_t m = 0; m < n; m += 2) {
            double* p = x + 2 * m;
            const double ar = p[0], ai = p[1], br = p[2], bi = p[3];
            p[0] = ar + br;
            p[1] = ai + bi;
            p[2] = ar - br;
            p[3] = ai - bi;
        }
        s = 2;
    }
    // Decimation in time, two radix-2 stages (spans s and 2s) at a time: each
    // butterfly joins four blocks of s into one of 4s, with w1 = W_4s^j and
    // w2 = w1^2 = W_2s^j (W_m = e^(-+2 pi i / m)).
    for (; s < n; s *= 4) {
        const size_t step = n / (4 * s) * tableScale;
        for (size_t j = 0; j < s; ++j) {
            double w1r = 1.0, w1i = 0.0, w2r = 1.0, w2i = 0.0;
            if (j) {
                double c, sn;
                CosSin(U, N, j * step, c, sn);
                w1r = c;
                w1i = sign * sn;
                CosSin(U, N, 2 * j * step, c, sn);
                w2r = c;
                w2i = sign * sn;
            }
            for (size_t b = j; b < n; b += 4 * s) {
                double* p0 = x + 2 * b;
                double* p1 = x + 2 * (b + s);
                double* p2 = x + 2 * (b + 2 * s);
                double* p3 = x + 2 * (b + 3 * s);
                const double x1r = p1[0] * w2r - p1[1] * w2i, x1i = p1[0] * w2i + p1[1] * w2r;
                const double x3r = p3[0] * w2r - p3[1] * w2i, x3i = p3[0] * w2i + p3[1] * w2r;
                const double a0r = p0[0] + x1r, a0i = p0[1] + x1i, a1r = p0[0] - x1r, a1i = p0[1] - x1i;
                const double a2r = p2[0] + x3r, a2i = p2[1] + x3i, a3r = p2[0] - x3r, a3i = p2[1] - x3i;
                const double t2r = a2r * w1r - a2i * w1i, t2i = a2r * w1i + a2i * w1r;
                const double u3r = a3r * w1r - a3i * w1i, u3i = a3r * w1i + a3i * w1r;
                // a3 w1 W_4: times -i forward, +i inverse.
                const double t3r = inverse ? -u3i : u3i, t3i = inverse ? u3r : -u3r;
                p0[0] = a0r + t2r;
                p0[1] = a0i + t2i;
                p2[0] = a0r - t2r;
                p2[1] = a0i - t2i;
                p1[0] = a1r + t3r;
                p1[1] = a1i + t3i;
                p3[0] = a1r - t3r;
                p3[1] = a1i - t3i;
            }
        }
    }
}

namespace {

// The mirrored pairs of the real-row steps: for k = 1 .. n/4, p is complex
// value k of x and q value n/2 - k (the same value at k = n/4), (er, ei) is
// half of p + conj q, and W = c - i s is the twiddle e^(-2 pi i k / n);
// calls step(p, q, er, ei, c, s).
template <class Step> inline void ForEachMirroredPair(double* x, size_t n, const double* U, Step step)
{
    const size_t h = n / 2;
    for (size_t k = 1; k <= h / 2; ++k) {
        double* p = x + 2 * k;
        double* q = x + 2 * (h - k);
        const double er = 0.5 * (p[0] + q[0]), ei = 0.5 * (p[1] - q[1]);
        double c, s;
        CosSin(U, n, k, c, s);
        step(p, q, er, ei, c, s);
    }
}

} // namespace

void RealForwardFinish(double* x, size_t n, const double* U)
{
    const double z0r = x[0], z0i = x[1];
    x[0] = z0r + z0i;
    x[1] = z0r - z0i;
    ForEachMirroredPair(x, n, U, [](double* p, double* q, double er, double ei, double c, double s) {
        const double orr = 0.5 * (p[1] + q[1]), oi = -0.5 * (p[0] - q[0]);
        // W = e^(-2 pi i k / n) = c - i s.
        const double wor = c * orr + s * oi, woi = c * oi - s * orr;
        // At k = n/4 (p == q) both formulas give the same value.
        p[0] = er + wor;
        p[1] = ei + woi;
        q[0] = er - wor;
        q[1] = woi - ei;
    });
}

void RealInverseStart(double* x, size_t n, const double* U)
{
    const double scale = 1.0 / static_cast<double>(n / 2);
    const double x0 = x[0], xh = x[1];
    x[0] = 0.5 * (x0 + xh) * scale;
    x[1] = 0.5 * (x0 - xh) * scale;
    ForEachMirroredPair(x, n, U, [scale](double* p, double* q, double er, double ei, double c, double s) {
        const double wor = 0.5 * (p[0] - q[0]), woi = 0.5 * (p[1] + q[1]);
        // O = conj(W) * WO with conj(W) = c + i s.
        const double orr = c * wor - s * woi, oi = c * woi + s * wor;
        const double zkr = (er - oi) * scale, zki = (ei + orr) * scale;
        q[0] = (er + oi) * scale;
        q[1] = (orr - ei) * scale;
        p[0] = zkr;
        p[1] = zki;
    });
}

namespace {

// Both slot-zero steps: rows 0 and H/2 trade the second value of the one for
// the first of the other; then, for u = 1 .. H/4 and v = H/2 - u, calls
// step(pu, qu, pv, qv) with the rows u, H - u, v and H - v (pu == pv and
// qu == qv at u = H/4, so a step reads all four before it writes).
template <class Step> inline void SlotZeroPass(double* col, size_t stride, size_t H, Step step)
{
    const size_t h2 = H / 2;
    std::swap(col[1], col[h2 * stride]);
    for (size_t u = 1; u <= H / 4; ++u) {
        const size_t v = h2 - u;
        step(col + u * stride, col + (H - u) * stride, col + v * stride, col + (H - v) * stride);
    }
}

} // namespace

void SlotZeroForwardFinish(double* col, size_t stride, size_t H)
{
    // Z(u) -> Fa(u), Z(H-u) -> Fb(v), Z(v) -> Fa(v), Z(H-v) -> Fb(u).
    SlotZeroPass(col, stride, H, [](double* pu, double* qu, double* pv, double* qv) {
        const double pur = pu[0], pui = pu[1], qur = qu[0], qui = qu[1];
        const double pvr = pv[0], pvi = pv[1], qvr = qv[0], qvi = qv[1];
        pu[0] = 0.5 * (pur + qur);
        pu[1] = 0.5 * (pui - qui);
        qv[0] = 0.5 * (pui + qui);
        qv[1] = -0.5 * (pur - qur);
        pv[0] = 0.5 * (pvr + qvr);
        pv[1] = 0.5 * (pvi - qvi);
        qu[0] = 0.5 * (pvi + qvi);
        qu[1] = -0.5 * (pvr - qvr);
    });
}

void SlotZeroInverseStart(double* col, size_t stride, size_t H)
{
    // Rows u and v hold Fa(u) and Fa(v); row H - v = H/2 + u holds Fb(u) and
    // row H - u = H/2 + v holds Fb(v).
    SlotZeroPass(col, stride, H, [](double* fau, double* fbv, double* fav, double* fbu) {
        const double aur = fau[0], aui = fau[1], bur = fbu[0], bui = fbu[1];
        const double avr = fav[0], avi = fav[1], bvr = fbv[0], bvi = fbv[1];
        // Z(u) = Fa(u) + i Fb(u); Z(H-u) = conj Fa(u) + i conj Fb(u).
        fau[0] = aur - bui;
        fau[1] = aui + bur;
        fbv[0] = aur + bui;
        fbv[1] = bur - aui;
        fav[0] = avr - bvi;
        fav[1] = avi + bvr;
        fbu[0] = avr + bvi;
        fbu[1] = bvr - avi;
    });
}

} // namespace fft_internal

int fftInit(int32_t M)
{
    std::lock_guard<std::mutex> lock(fft_internal::InitMutex());
    return fft_internal::InitLocked(M);
}

void ffts(double* data, int32_t M, int32_t Rows)
{
    if (Rows <= 0)
        return;
    const double* U = CosTableFor(M);
    const size_t len = size_t{2} << M;
    for (int32_t r = 0; r < Rows; ++r)
        fft_internal::ComplexTransform(data + r * len, M, U, 1, false);
}

void iffts(double* data, int32_t M, int32_t Rows)
{
    if (Rows <= 0)
        return;
    const double* U = CosTableFor(M);
    const size_t len = size_t{2} << M;
    const double scale = 1.0 / static_cast<double>(size_t{1} << M);
    for (int32_t r = 0; r < Rows; ++r) {
        double* row = data + r * len;
        fft_internal::ComplexTransform(row, M, U, 1, true);
        if (M > 0)
            for (size_t i = 0; i < len; ++i)
                row[i] *= scale;
    }
}

void rffts(double* data, int32_t M, int32_t Rows)
{
    EachRealRow(data, M, Rows, RealForwardRow);
}

void riffts(double* data, int32_t M, int32_t Rows)
{
    EachRealRow(data, M, Rows, RealInverseRow);
}

const double* FftCosTable(int32_t M)
{
    if (M < 0 || M > kFftMaxLog2)
        return nullptr;
    return sCosTables[M].load(std::memory_order_acquire);
}

const int16_t* FftBitReversalTable(int32_t K)
{
    if (K < 0 || K > kFftMaxLog2)
        return nullptr;
    return sBitRevTables[K].load(std::memory_order_acquire);
}

void FftFailNextAllocationsForTesting(int n)
{
    sFailNextAllocations.store(n, std::memory_order_relaxed);
}

size_t FftAllocationCountForTesting()
{
    return sAllocationCount.load(std::memory_order_relaxed);
}
