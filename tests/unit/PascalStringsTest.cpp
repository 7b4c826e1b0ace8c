// tests/unit/PascalStringsTest.cpp: length-prefixed strings, the truncating
// number formatter and byte order.
#include "shell/PascalStrings.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "platform/core/ByteOrder.h"

namespace {

// One full turn is 1000 rotation increments.
constexpr double kRotationIncrementRads = 2.0 * M_PI / 1000.0;

std::string Format(double v, int d)
{
    Str255 s;
    FloatToPascal(v, d, s);
    return PascalToString(s);
}

}  // namespace

// Expected texts by hand; the plain decimal ones agree with Python's
// Decimal(repr(v)).quantize(q, ROUND_DOWN).
TEST(FloatToPascal, TruncatesTheDecimalValue)
{
    EXPECT_EQ(Format(0.25, 3), "0.250");
    EXPECT_EQ(Format(12.0, 0), "12.");
    EXPECT_EQ(Format(1.999, 1), "1.9");
    EXPECT_EQ(Format(2.71828, 3), "2.718");
    EXPECT_EQ(Format(0.5, 2), "0.50");
    EXPECT_EQ(Format(0.29, 3), "0.290");
    EXPECT_EQ(Format(1.15, 2), "1.15");
    EXPECT_EQ(Format(500 * kRotationIncrementRads * 57.295779513082, 1), "180.0");
    EXPECT_EQ(Format(0.36, 1), "0.3");
    EXPECT_EQ(Format(-1, 3), "-1.000");
    EXPECT_EQ(Format(-0.5, 1), "-0.5");
    EXPECT_EQ(Format(1e7, 3), "10000000.000");
    EXPECT_EQ(Format(0, 3), "0.000");
    EXPECT_EQ(Format(123456789.987654321, 8), "123456789.98765432");
    EXPECT_EQ(Format(3.14159265358979, 12), "3.14159265");  // at most 8 decimals
}

TEST(FloatToPascal, NanHugeAndInfinite)
{
    EXPECT_EQ(Format(std::nan(""), 2), "nan");
    const std::string huge = FloatToString(1e300, 2);
    EXPECT_EQ(huge.size(), 301u + 3u);  // 301 integer digits, the point, two zeros
    EXPECT_EQ(huge.substr(0, 4), "1000");
    EXPECT_EQ(huge.substr(huge.size() - 3), ".00");
    EXPECT_EQ(Format(1e300, 2).size(), 255u);  // the Str255 form is cut, not overrun
    EXPECT_EQ(Format(-2e18, 3), "-2000000000000000000.000");
    EXPECT_EQ(Format(9.5e18, 0), "9500000000000000000.");
    const std::string inf = Format(INFINITY, 1);
    EXPECT_EQ(inf, "inf.0");
}

TEST(PascalStrings, AppendCopyAndConvert)
{
    Str255 a, b;
    CtoPascal("ab", a);
    CtoPascal("cd", b);
    PascalAppend(a, b);
    EXPECT_EQ(a[0], 4);
    EXPECT_EQ(PascalToString(a), "abcd");
    Str255 c;
    PascalCopy(a, c);
    EXPECT_EQ(PascalToString(c), "abcd");
    char cstr[256];
    PascalToC(c, cstr);
    EXPECT_STREQ(cstr, "abcd");
}

TEST(PascalStrings, ClampAt255WithoutOverrun)
{
    // Heap buffers of exactly 256 bytes, so AddressSanitizer sees any write past them.
    auto a = std::make_unique<unsigned char[]>(256);
    auto b = std::make_unique<unsigned char[]>(256);
    CtoPascal(std::string(200, 'x').c_str(), a.get());
    CtoPascal(std::string(100, 'y').c_str(), b.get());
    PascalAppend(a.get(), b.get());
    EXPECT_EQ(a[0], 255);
    EXPECT_EQ(a[200], 'x');
    EXPECT_EQ(a[201], 'y');
    EXPECT_EQ(a[255], 'y');
    CtoPascal(std::string(300, 'z').c_str(), a.get());
    EXPECT_EQ(a[0], 255);
    EXPECT_EQ(a[255], 'z');
}

TEST(ByteOrder, FlipsAndHostOrder)
{
    EXPECT_FALSE(BigEndianSystem());
    uint16_t s = 0x1234;
    FlipEndian(s);
    EXPECT_EQ(s, 0x3412);
    uint32_t l = 0x12345678;
    FlipEndian(l);
    EXPECT_EQ(l, 0x78563412u);
    FlipEndian(l);
    EXPECT_EQ(l, 0x12345678u);
}
