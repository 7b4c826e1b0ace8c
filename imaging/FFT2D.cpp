// imaging/FFT2D.cpp: two-dimensional real transforms of images of doubles and
// the product of packed spectra.
#include "imaging/FFT2D.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <mutex>

#include "imaging/FFTInternal.h"
#include "imaging/FFTLanes.h"

namespace {

// Array2d: the scratch shared by every 2-D transform whose lane length
// max(H, W/2) is 2^K, indexed by K. Filled under the init mutex, never freed.
std::atomic<double*> sScratch[32];

std::atomic<bool> sForcePortable{false};

// Column groups are transformed four at a time where there are that many:
// each visit to a row then reads and writes four adjacent cache lines, which
// measured fastest from 256 x 256 to 4096 x 4096.
constexpr size_t kColumnGroupsPerPass = 4;

// Lane elements in a scratch of lane length n = max(H, W/2): room for the
// columns of four groups, and for a row.
size_t LaneElements(size_t n)
{
    return kColumnGroupsPerPass * n;
}

// Scratch of lane length n, in doubles: the lanes (8 per element), twiddles
// of the column and row lengths (2n each), the real-row twiddles (n + 2) and
// the two bit-reversal tables (n uint32 each).
size_t ScratchDoubles(size_t n)
{
    return 8 * LaneElements(n) + 6 * n + 16;
}

// The lanes hold a column (H elements) and, where rows go through the vector
// kernels (H >= 4, W >= 8), a row's W/2 complex points.
int ScratchLog2(int32_t M2, int32_t M)
{
    return M2 >= 2 && M >= 3 && M - 1 > M2 ? M - 1 : M2;
}

[[maybe_unused]] bool IsPrepared(int32_t M2, int32_t M)
{
    return FftCosTable(M2) && FftCosTable(M) &&
           (M2 == 0 || M == 0 || sScratch[ScratchLog2(M2, M)].load(std::memory_order_acquire));
}

const fft_lanes::Kernels& LaneKernels()
{
#if defined(VELMORA_FFT_AVX2)
    static const bool hasAvx2 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    }();
    if (hasAvx2 && !sForcePortable.load(std::memory_order_relaxed))
        return fft_lanes::avx2::GetKernels();
#endif
    return fft_lanes::portable::GetKernels();
}

// Radix-4 stage twiddles of an n-point complex transform: for each stage of
// quarter span L = n/4, n/16, ... >= 1 and each j < L, W^j, W^2j, W^3j with
// W = e^(-2 pi i / 4L), read from the cosine table of n * tableScale points.
void FillStageTwiddles(double* out, size_t n, const double* U, size_t tableScale)
{
    const size_t N = n * tableScale;
    for (size_t L = n / 4; L >= 1; L /= 4) {
        const size_t step = n / (4 * L) * tableScale;
        for (size_t j = 0; j < L; ++j, out += 6) {
            for (size_t m = 1; m <= 3; ++m) {
                double c = 1.0, s = 0.0;
                if (j)
                    fft_internal::CosSin(U, N, m * j * step, c, s);
                // Stored in the order W^j, W^2j, W^3j.
                out[2 * (m - 1)] = c;
                out[2 * (m - 1) + 1] = -s;
            }
        }
    }
}

void FillBitReversal(uint32_t* out, size_t n)
{
    for (size_t i = 0, r = 0; i < n; ++i) {
        out[i] = static_cast<uint32_t>(r);
        size_t bit = n >> 1;
        while (bit && (r & bit)) {
            r ^= bit;
            bit >>= 1;
        }
        r |= bit;
    }
}

fft_lanes::Plan MakePlan(int32_t M2, int32_t M)
{
    fft_lanes::Plan plan;
    plan.H = size_t{1} << M2;
    plan.W = size_t{1} << M;
    const size_t n = size_t{1} << ScratchLog2(M2, M);
    double* s = sScratch[ScratchLog2(M2, M)].load(std::memory_order_acquire);
    plan.lanes = s;
    double* colTw = s + 8 * LaneElements(n);
    double* rowTw = colTw + 2 * n;
    double* realTw = rowTw + 2 * n;
    auto* colRev = reinterpret_cast<uint32_t*>(realTw + n + 2);
    uint32_t* rowRev = colRev + n;
    if (plan.W >= 8 && plan.H >= 4) {
        const size_t h = plan.W / 2;
        const double* UW = FftCosTable(M);
        FillStageTwiddles(rowTw, h, UW, 2);
        FillBitReversal(rowRev, h);
        for (size_t k = 0; k <= plan.W / 4; ++k) {
            double c = 1.0, sn = 0.0;
            if (k)
                fft_internal::CosSin(UW, plan.W, k, c, sn);
            realTw[2 * k] = c;
            realTw[2 * k + 1] = sn;
        }
    }
    FillStageTwiddles(colTw, plan.H, FftCosTable(M2), 1);
    FillBitReversal(colRev, plan.H);
    plan.colTwiddles = colTw;
    plan.colReverse = colRev;
    plan.rowTwiddles = rowTw;
    plan.rowReverse = rowRev;
    plan.realTwiddles = realTw;
    plan.columnGroups = std::min(kColumnGroupsPerPass, plan.W / 8);
    return plan;
}

// Complex column of slot v gathered into scratch, transformed, put back: the
// path for W = 2 and W = 4, where there are fewer than four slots.
void NarrowColumns(double* data, int32_t M2, int32_t M, double* scratch, bool inverse)
{
    const size_t H = size_t{1} << M2, W = size_t{1} << M;
    for (size_t v = 0; v < W / 2; ++v) {
        for (size_t r = 0; r < H; ++r) {
            scratch[2 * r] = data[r * W + 2 * v];
            scratch[2 * r + 1] = data[r * W + 2 * v + 1];
        }
        if (inverse)
            iffts(scratch, M2, 1);
        else
            ffts(scratch, M2, 1);
        for (size_t r = 0; r < H; ++r) {
            data[r * W + 2 * v] = scratch[2 * r];
            data[r * W + 2 * v + 1] = scratch[2 * r + 1];
        }
    }
}

} // namespace

int fft2dInit(int32_t M2, int32_t M)
{
    if (M2 < 0 || M2 > kFftMaxLog2)
        return kFftInitSizeOutOfRange;
    std::lock_guard<std::mutex> lock(fft_internal::InitMutex());
    const bool mInRange = M >= 0 && M <= kFftMaxLog2;
    // One-row and one-column arrays are one-dimensional and need no scratch.
    if (M2 > 0 && M != 0) {
        const int K = mInRange ? ScratchLog2(M2, M) : M2;
        if (!sScratch[K].load(std::memory_order_acquire)) {
            const size_t n = size_t{1} << K;
            auto* s = static_cast<double*>(fft_internal::Allocate(ScratchDoubles(n) * sizeof(double)));
            if (!s)
                return kFftInitOutOfMemory;
            sScratch[K].store(s, std::memory_order_release);
        }
    }
    const int first = fft_internal::InitLocked(M2);
    if (first != kFftInitOk)
        return first;
    return fft_internal::InitLocked(M);
}

void rfft2d(double* data, int32_t M2, int32_t M)
{
    assert(IsPrepared(M2, M) && "2-D transform of a size whose fft2dInit did not succeed");
    if (M2 < 1 || M < 1) {
        rffts(data, M2 + M, 1);
        return;
    }
    const size_t H = size_t{1} << M2, W = size_t{1} << M;
    const fft_lanes::Plan plan = MakePlan(M2, M);
    if (W < 8) {
        rffts(data, M, static_cast<int32_t>(H));
        NarrowColumns(data, M2, M, plan.lanes, false);
    } else {
        const fft_lanes::Kernels& k = LaneKernels();
        if (H >= 4)
            for (size_t r = 0; r < H; r += 4)
                k.rowsForward(data + r * W, data, r, plan);
        else
            rffts(data, M, static_cast<int32_t>(H));
        for (size_t g = 0; g < W / 8; g += plan.columnGroups)
            k.columnsForward(data, g, plan);
    }
    fft_internal::SlotZeroForwardFinish(data, W, H);
}

void rfft2dFrom(const double* source, double* data, int32_t M2, int32_t M)
{
    assert(IsPrepared(M2, M) && "2-D transform of a size whose fft2dInit did not succeed");
    const size_t H = size_t{1} << M2, W = size_t{1} << M;
    if (M2 < 2 || M < 3) {
        std::copy(source, source + H * W, data);
        rfft2d(data, M2, M);
        return;
    }
    // The row pass reads the source rows and writes their spectra to data: no copy comes first.
    const fft_lanes::Plan plan = MakePlan(M2, M);
    const fft_lanes::Kernels& k = LaneKernels();
    for (size_t r = 0; r < H; r += 4)
        k.rowsForward(source + r * W, data, r, plan);
    for (size_t g = 0; g < W / 8; g += plan.columnGroups)
        k.columnsForward(data, g, plan);
    fft_internal::SlotZeroForwardFinish(data, W, H);
}

void rfft2dFromMapping(double* source, double* data, int32_t M2, int32_t M, ValuesMap map, double parameter)
{
    assert(IsPrepared(M2, M) && "2-D transform of a size whose fft2dInit did not succeed");
    const size_t H = size_t{1} << M2, W = size_t{1} << M;
    if (M2 < 2 || M < 3) {
        map(source, source, H * W, parameter);
        rfft2dFrom(source, data, M2, M);
        return;
    }
    // Four rows are mapped as the row pass reaches them, which then reads them from the cache.
    const fft_lanes::Plan plan = MakePlan(M2, M);
    const fft_lanes::Kernels& k = LaneKernels();
    for (size_t r = 0; r < H; r += 4) {
        map(source + r * W, source + r * W, 4 * W, parameter);
        k.rowsForward(source + r * W, data, r, plan);
    }
    for (size_t g = 0; g < W / 8; g += plan.columnGroups)
        k.columnsForward(data, g, plan);
    fft_internal::SlotZeroForwardFinish(data, W, H);
}

void rifft2d(double* data, int32_t M2, int32_t M)
{
    assert(IsPrepared(M2, M) && "2-D transform of a size whose fft2dInit did not succeed");
    if (M2 < 1 || M < 1) {
        riffts(data, M2 + M, 1);
        return;
    }
    const size_t H = size_t{1} << M2, W = size_t{1} << M;
    const fft_lanes::Plan plan = MakePlan(M2, M);
    fft_internal::SlotZeroInverseStart(data, W, H);
    if (W < 8) {
        NarrowColumns(data, M2, M, plan.lanes, true);
        riffts(data, M, static_cast<int32_t>(H));
    } else {
        const fft_lanes::Kernels& k = LaneKernels();
        for (size_t g = 0; g < W / 8; g += plan.columnGroups)
            k.columnsInverse(data, g, plan);
        if (H >= 4)
            for (size_t r = 0; r < H; r += 4)
                k.rowsInverse(data, r, plan);
        else
            riffts(data, M, static_cast<int32_t>(H));
    }
}

void rspect2dprod(const double* a, const double* b, double* out, size_t N, size_t M)
{
    const size_t T = N * M;
    // Each element is written only after both factors at its place were read,
    // so out may be a or b.
    auto complexRun = [&](size_t first, size_t pairs) {
        for (size_t k = 0, i = first; k < pairs; ++k, i += 2) {
            const double ar = a[i], ai = a[i + 1], br = b[i], bi = b[i + 1];
            out[i] = ar * br - ai * bi;
            out[i + 1] = ar * bi + ai * br;
        }
    };
    if (N > 1 && M > 1) {
        for (size_t h : {size_t{0}, T / 2}) {
            out[h] = a[h] * b[h];
            out[h + 1] = a[h + 1] * b[h + 1];
            complexRun(h + 2, T / 4 - 1);
        }
    } else if (T < 2) {
        if (T == 1)
            out[0] = a[0] * b[0];
    } else {
        out[0] = a[0] * b[0];
        out[1] = a[1] * b[1];
        complexRun(2, T / 2 - 1);
    }
}

void FftForcePortableKernelsForTesting(bool force)
{
    sForcePortable.store(force, std::memory_order_relaxed);
}
