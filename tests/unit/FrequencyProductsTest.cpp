// tests/unit/FrequencyProductsTest.cpp: the vector products of packed spectra against the FFT library's
// scalar product, bit for bit, on both the AVX2 and the portable kernels.
#include "imaging/FrequencyProducts.h"

#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/FFT2D.h"

namespace {

std::vector<double> RandomSpectrum(std::size_t n, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> value(-3.0, 3.0);
    std::vector<double> s(n);
    for (double& v : s)
        v = value(random);
    return s;
}

// Restores the kernels' own choice however the test ends.
struct PortableKernels {
    explicit PortableKernels(bool force) { ForcePortableSpectrumKernelsForTesting(force); }
    ~PortableKernels() { ForcePortableSpectrumKernelsForTesting(false); }
};

} // namespace

TEST(FrequencyProducts, ProductsMatchTheScalarProductBitForBit)
{
    for (const bool portable : {false, true}) {
        const PortableKernels kernels(portable);
        for (const auto& [w, h] : {std::pair{8, 4}, std::pair{32, 64}, std::pair{128, 16}}) {
            const std::size_t n = static_cast<std::size_t>(w) * h;
            const std::vector<double> a = RandomSpectrum(n, 1u + w), b = RandomSpectrum(n, 2u + h),
                                      c = RandomSpectrum(n, 3u), acc0 = RandomSpectrum(n, 4u);
            std::vector<double> ab(n), accA(n), cb(n);
            rspect2dprod(a.data(), b.data(), ab.data(), static_cast<std::size_t>(h), static_cast<std::size_t>(w));
            rspect2dprod(acc0.data(), a.data(), accA.data(), static_cast<std::size_t>(h), static_cast<std::size_t>(w));
            rspect2dprod(b.data(), c.data(), cb.data(), static_cast<std::size_t>(h), static_cast<std::size_t>(w));

            std::vector<double> out(n);
            SpectrumProduct(a.data(), b.data(), out.data(), w, h);
            EXPECT_EQ(out, ab) << w << "x" << h << " portable " << portable;
            out = a; // in place
            SpectrumProduct(out.data(), b.data(), out.data(), w, h);
            EXPECT_EQ(out, ab);

            // Four products in one pass, the last one over a itself.
            std::vector<double> p0(n), p1(n), p2(n), inPlace = a;
            const double* factors[4] = {b.data(), c.data(), acc0.data(), b.data()};
            double* products[4] = {p0.data(), p1.data(), p2.data(), inPlace.data()};
            SpectrumProducts(inPlace.data(), factors, products, 4, w, h);
            std::vector<double> ac(n);
            rspect2dprod(a.data(), c.data(), ac.data(), static_cast<std::size_t>(h), static_cast<std::size_t>(w));
            EXPECT_EQ(p0, ab);
            EXPECT_EQ(p1, ac);
            EXPECT_EQ(p2, accA);
            EXPECT_EQ(inPlace, ab);

            std::vector<double> sum = acc0, expected(n);
            SpectrumTwoProductsAdd(a.data(), b.data(), b.data(), c.data(), sum.data(), w, h);
            for (std::size_t k = 0; k < n; ++k)
                expected[k] = acc0[k] + (ab[k] + cb[k]);
            EXPECT_EQ(sum, expected);

            sum = acc0;
            SpectrumProductSum(a.data(), b.data(), c.data(), sum.data(), w, h);
            for (std::size_t k = 0; k < n; ++k)
                expected[k] = accA[k] + cb[k];
            EXPECT_EQ(sum, expected);
        }
    }
}
