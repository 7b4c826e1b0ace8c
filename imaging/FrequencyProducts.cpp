// imaging/FrequencyProducts.cpp: products of packed spectra in vector kernels, and decimation and
// zero-stuffing done on the spectra.
//
// In the packed layout (FFT2D.h) every pair of doubles is one complex value F(u, v), except the
// pairs at element 0 and at element w h / 2, which hold two real values each (the spectrum's real
// corners). The kernels treat every pair as complex and then redo those two pairs as real.
#include "imaging/FrequencyProducts.h"
#include "imaging/ProcessorFeatures.h"

#include <atomic>
#include <cassert>
#include <cstddef>
#include <cstring>
#include <initializer_list>

namespace {

using Vector = double __attribute__((vector_size(32)));

// Two complex values per vector: (ar br - ai bi, ar bi + ai br) for each, the same operations and
// order as the scalar product. Vectors pass by reference: the baseline build has no 32-byte
// registers to pass them in.
inline __attribute__((always_inline)) void ComplexProduct(const double* a, const double* b, Vector& out)
{
    Vector va, vb;
    std::memcpy(&va, a, sizeof va);
    std::memcpy(&vb, b, sizeof vb);
    const Vector bre = __builtin_shufflevector(vb, vb, 0, 0, 2, 2);
    const Vector bim = __builtin_shufflevector(vb, vb, 1, 1, 3, 3);
    const Vector aSwapped = __builtin_shufflevector(va, va, 1, 0, 3, 2);
    const Vector sign = {-1.0, 1.0, -1.0, 1.0};
    // Lane 0: ar br + -(ai bi); lane 1: ai br + ar bi.
    out = va * bre + sign * (aSwapped * bim);
}

// out[f] = a x b[f] for f < count (at most kMaxProducts), n doubles (a multiple of 4). Each place
// is stored only after every product at it was formed, so an out[f] may be a.
constexpr int kMaxProducts = 4;

template <int Count>
inline __attribute__((always_inline)) void ProductsOf(const double* a, const double* const* b, double* const* out,
                                                      std::size_t n)
{
    const double* f[Count];
    double* o[Count];
    for (int k = 0; k < Count; ++k) {
        f[k] = b[k];
        o[k] = out[k];
    }
    for (std::size_t i = 0; i < n; i += 4) {
        Vector p[Count];
        for (int k = 0; k < Count; ++k)
            ComplexProduct(a + i, f[k] + i, p[k]);
        for (int k = 0; k < Count; ++k)
            std::memcpy(o[k] + i, &p[k], sizeof p[k]);
    }
}

inline __attribute__((always_inline)) void ProductsBody(const double* a, const double* const* b,
                                                        double* const* out, int count, std::size_t n)
{
    switch (count) {
    case 1:
        ProductsOf<1>(a, b, out, n);
        break;
    case 2:
        ProductsOf<2>(a, b, out, n);
        break;
    case 3:
        ProductsOf<3>(a, b, out, n);
        break;
    default:
        ProductsOf<4>(a, b, out, n);
        break;
    }
}

inline __attribute__((always_inline)) void TwoProductsAddBody(const double* a, const double* b, const double* c,
                                                              const double* d, double* __restrict acc, std::size_t n)
{
    for (std::size_t i = 0; i < n; i += 4) {
        Vector p, q, sum;
        ComplexProduct(a + i, b + i, p);
        ComplexProduct(c + i, d + i, q);
        std::memcpy(&sum, acc + i, sizeof sum);
        sum += p + q;
        std::memcpy(acc + i, &sum, sizeof sum);
    }
}

inline __attribute__((always_inline)) void ProductSumBody(const double* a, const double* b, const double* c,
                                                          double* __restrict acc, std::size_t n)
{
    for (std::size_t i = 0; i < n; i += 4) {
        Vector p, q;
        ComplexProduct(acc + i, a + i, p);
        ComplexProduct(b + i, c + i, q);
        p += q;
        std::memcpy(acc + i, &p, sizeof p);
    }
}

void ProductsBase(const double* a, const double* const* b, double* const* out, int count, std::size_t n)
{
    ProductsBody(a, b, out, count, n);
}
__attribute__((target("avx2"))) void ProductsAvx2(const double* a, const double* const* b, double* const* out,
                                                  int count, std::size_t n)
{
    ProductsBody(a, b, out, count, n);
}
void TwoProductsAddBase(const double* a, const double* b, const double* c, const double* d, double* acc,
                        std::size_t n)
{
    TwoProductsAddBody(a, b, c, d, acc, n);
}
__attribute__((target("avx2"))) void TwoProductsAddAvx2(const double* a, const double* b, const double* c,
                                                        const double* d, double* acc, std::size_t n)
{
    TwoProductsAddBody(a, b, c, d, acc, n);
}
void ProductSumBase(const double* a, const double* b, const double* c, double* acc, std::size_t n)
{
    ProductSumBody(a, b, c, acc, n);
}
__attribute__((target("avx2"))) void ProductSumAvx2(const double* a, const double* b, const double* c, double* acc,
                                                    std::size_t n)
{
    ProductSumBody(a, b, c, acc, n);
}

struct Kernels {
    void (*products)(const double*, const double* const*, double* const*, int, std::size_t);
    void (*twoProductsAdd)(const double*, const double*, const double*, const double*, double*, std::size_t);
    void (*productSum)(const double*, const double*, const double*, double*, std::size_t);
};

std::atomic<bool> sForcePortable{false};

const Kernels& ChosenKernels()
{
    static const Kernels portable{ProductsBase, TwoProductsAddBase, ProductSumBase};
    static const Kernels avx2{ProductsAvx2, TwoProductsAddAvx2, ProductSumAvx2};
    return ProcessorHasAvx2() && !sForcePortable.load(std::memory_order_relaxed) ? avx2 : portable;
}

std::size_t Count(int w, int h)
{
    assert(w >= 4 && h >= 4);
    return static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
}

struct Complex {
    double re, im;
};

inline Complex Times(Complex a, Complex b)
{
    return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}

inline Complex Conj(Complex a)
{
    return {a.re, -a.im};
}

// A packed h x w spectrum read as F(u, v) for any u and 0 <= v <= w / 2.
struct Packed {
    const double* d;
    std::size_t w, h;

    Complex At(std::size_t u, std::size_t v) const
    {
        if (v > 0 && v < w / 2)
            return {d[u * w + 2 * v], d[u * w + 2 * v + 1]};
        // Columns 0 and w / 2 are stored down slot 0, the first in rows 0 .. h / 2 - 1, the second in
        // rows h / 2 .. h - 1, each as the half spectrum of a real sequence.
        const std::size_t base = v == 0 ? 0 : h / 2;
        if (u == 0)
            return {d[base * w], 0.0};
        if (u == h / 2)
            return {d[base * w + 1], 0.0};
        if (u < h / 2)
            return {d[(base + u) * w], d[(base + u) * w + 1]};
        return Conj({d[(base + h - u) * w], d[(base + h - u) * w + 1]});
    }

    // Any 0 <= v < w, through F(u, v) = conj F(-u, -v).
    Complex Full(std::size_t u, std::size_t v) const
    {
        return v <= w / 2 ? At(u, v) : Conj(At((h - u) % h, w - v));
    }
};

// Stores F(u, v) of a packed h x w spectrum for v = 0 or w / 2 and 0 <= u <= h / 2 (real parts only
// at u = 0 and h / 2).
void PutSlotZero(double* d, std::size_t w, std::size_t h, std::size_t u, std::size_t v, Complex c)
{
    const std::size_t base = v == 0 ? 0 : h / 2;
    if (u == 0) {
        d[base * w] = c.re;
    } else if (u == h / 2) {
        d[base * w + 1] = c.re;
    } else {
        d[(base + u) * w] = c.re;
        d[(base + u) * w + 1] = c.im;
    }
}

} // namespace

void SpectrumProduct(const double* a, const double* b, double* out, int w, int h)
{
    SpectrumProducts(a, &b, &out, 1, w, h);
}

void SpectrumProducts(const double* a, const double* const* b, double* const* out, int count, int w, int h)
{
    assert(count >= 1 && count <= kMaxProducts);
    const std::size_t n = Count(w, h);
    const std::size_t at[4] = {0, 1, n / 2, n / 2 + 1};
    double corners[kMaxProducts][4];
    for (int f = 0; f < count; ++f)
        for (int k = 0; k < 4; ++k)
            corners[f][k] = a[at[k]] * b[f][at[k]];
    ChosenKernels().products(a, b, out, count, n);
    for (int f = 0; f < count; ++f)
        for (int k = 0; k < 4; ++k)
            out[f][at[k]] = corners[f][k];
}

void SpectrumTwoProductsAdd(const double* a, const double* b, const double* c, const double* d, double* acc, int w,
                            int h)
{
    const std::size_t n = Count(w, h);
    const std::size_t at[4] = {0, 1, n / 2, n / 2 + 1};
    double corners[4];
    for (int k = 0; k < 4; ++k)
        corners[k] = acc[at[k]] + (a[at[k]] * b[at[k]] + c[at[k]] * d[at[k]]);
    ChosenKernels().twoProductsAdd(a, b, c, d, acc, n);
    for (int k = 0; k < 4; ++k)
        acc[at[k]] = corners[k];
}

void SpectrumProductSum(const double* a, const double* b, const double* c, double* acc, int w, int h)
{
    const std::size_t n = Count(w, h);
    const std::size_t at[4] = {0, 1, n / 2, n / 2 + 1};
    double corners[4];
    for (int k = 0; k < 4; ++k)
        corners[k] = acc[at[k]] * a[at[k]] + b[at[k]] * c[at[k]];
    ChosenKernels().productSum(a, b, c, acc, n);
    for (int k = 0; k < 4; ++k)
        acc[at[k]] = corners[k];
}

void SpectrumDecimatedProduct(const double* a, const double* b, int w, int h, double* out, double* copy)
{
    (void)Count(w, h);
    const std::size_t W = static_cast<std::size_t>(w), H = static_cast<std::size_t>(h);
    const std::size_t w2 = W / 2, h2 = H / 2;
    const Packed A{a, W, H}, B{b, W, H};
    auto put = [&](std::size_t i, double value) {
        out[i] = value;
        if (copy)
            copy[i] = value;
    };
    // D(k, l) = (X(k, l) + X(k + h2, l) + X(k, l + w2) + X(k + h2, l + w2)) / 4 with X = a x b; the
    // columns l + w2 lie beyond w / 2 and are read as conj X(-k, w2 - l).
    for (std::size_t k = 0; k < h2; ++k) {
        const double* a0 = a + k * W;
        const double* b0 = b + k * W;
        const double* a1 = a + (k + h2) * W;
        const double* b1 = b + (k + h2) * W;
        const double* a2 = a + ((H - k) % H) * W;
        const double* b2 = b + ((H - k) % H) * W;
        const double* a3 = a + (h2 - k) * W; // -(k + h2) mod H, which is h2 at k = 0
        const double* b3 = b + (h2 - k) * W;
        double* o = out + k * w2;
        for (std::size_t l = 1; l < w2 / 2; ++l) {
            const std::size_t i = 2 * l, j = 2 * (w2 - l);
            const Complex x0 = Times({a0[i], a0[i + 1]}, {b0[i], b0[i + 1]});
            const Complex x1 = Times({a1[i], a1[i + 1]}, {b1[i], b1[i + 1]});
            const Complex x2 = Times({a2[j], a2[j + 1]}, {b2[j], b2[j + 1]});
            const Complex x3 = Times({a3[j], a3[j + 1]}, {b3[j], b3[j + 1]});
            const double re = ((x0.re + x1.re) + (x2.re + x3.re)) * 0.25;
            const double im = ((x0.im + x1.im) - (x2.im + x3.im)) * 0.25;
            o[i] = re;
            o[i + 1] = im;
            if (copy) {
                copy[k * w2 + i] = re;
                copy[k * w2 + i + 1] = im;
            }
        }
    }
    // Columns 0 and w2 / 2 of the result, stored down its slot 0.
    for (const std::size_t l : {std::size_t{0}, w2 / 2})
        for (std::size_t k = 0; k <= h2 / 2; ++k) {
            Complex sum{0.0, 0.0};
            for (const std::size_t u : {k, k + h2})
                for (const std::size_t v : {l, l + w2}) {
                    const Complex x = Times(A.Full(u, v), B.Full(u, v));
                    sum.re += x.re;
                    sum.im += x.im;
                }
            const std::size_t base = l == 0 ? 0 : h2 / 2;
            if (k == 0) {
                put(base * w2, sum.re * 0.25);
            } else if (k == h2 / 2) {
                put(base * w2 + 1, sum.re * 0.25);
            } else {
                put((base + k) * w2, sum.re * 0.25);
                put((base + k) * w2 + 1, sum.im * 0.25);
            }
        }
}

void SpectrumStuffedProduct(const double* low, const double* f, int w, int h, double* out)
{
    (void)Count(w, h);
    const std::size_t W = static_cast<std::size_t>(w), H = static_cast<std::size_t>(h);
    const std::size_t w2 = W / 2, h2 = H / 2;
    const Packed R{low, w2, h2}, F{f, W, H};
    // Z(u, v) = 4 R(u mod h2, v mod w2); here 0 < v < W / 2 = w2.
    for (std::size_t u = 0; u < H; ++u) {
        const std::size_t r = u % h2;
        const double* row = low + r * w2;
        const double* mirrored = low + ((h2 - r) % h2) * w2;
        const double* fr = f + u * W;
        double* o = out + u * W;
        for (std::size_t v = 1; v < w2 / 2; ++v) {
            const std::size_t i = 2 * v;
            const Complex z = {4.0 * row[i], 4.0 * row[i + 1]};
            const Complex x = Times(z, {fr[i], fr[i + 1]});
            o[i] = x.re;
            o[i + 1] = x.im;
        }
        {
            const std::size_t i = w2; // v = w2 / 2, the low spectrum's packed column
            const Complex c = R.At(r, w2 / 2);
            const Complex x = Times({4.0 * c.re, 4.0 * c.im}, {fr[i], fr[i + 1]});
            o[i] = x.re;
            o[i + 1] = x.im;
        }
        for (std::size_t v = w2 / 2 + 1; v < w2; ++v) {
            const std::size_t i = 2 * v, j = 2 * (w2 - v);
            const Complex z = {4.0 * mirrored[j], -4.0 * mirrored[j + 1]};
            const Complex x = Times(z, {fr[i], fr[i + 1]});
            o[i] = x.re;
            o[i + 1] = x.im;
        }
    }
    // Columns 0 and W / 2 (= w2, which is 0 mod w2), stored down slot 0.
    for (const std::size_t v : {std::size_t{0}, w2})
        for (std::size_t u = 0; u <= h2; ++u) {
            const Complex c = R.At(u % h2, 0);
            PutSlotZero(out, W, H, u, v, Times({4.0 * c.re, 4.0 * c.im}, F.At(u, v)));
        }
}

void ForcePortableSpectrumKernelsForTesting(bool force)
{
    sForcePortable.store(force, std::memory_order_relaxed);
}
