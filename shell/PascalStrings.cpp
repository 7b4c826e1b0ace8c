// shell/PascalStrings.cpp: length-prefixed string helpers and the number formatter.
#include "shell/PascalStrings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

void PascalAppend(Str255 dst, const unsigned char* src)
{
    const int have = dst[0];
    const int add = std::min<int>(src[0], kMaxPascalLength - have);
    std::memmove(dst + 1 + have, src + 1, static_cast<std::size_t>(std::max(0, add)));
    dst[0] = static_cast<unsigned char>(have + std::max(0, add));
}

void PascalCopy(const unsigned char* src, Str255 dst)
{
    std::memmove(dst, src, static_cast<std::size_t>(src[0]) + 1);
}

void CtoPascal(const char* cstr, Str255 dst)
{
    const std::size_t n = std::min<std::size_t>(std::strlen(cstr), kMaxPascalLength);
    std::memmove(dst + 1, cstr, n);
    dst[0] = static_cast<unsigned char>(n);
}

void PascalToC(const unsigned char* src, char* dst)
{
    std::memmove(dst, src + 1, src[0]);
    dst[src[0]] = '\0';
}

std::string PascalToString(const unsigned char* src)
{
    return std::string(reinterpret_cast<const char*>(src + 1), src[0]);
}

std::string FloatToString(double value, int decimals)
{
    if (std::isnan(value))
        return "nan";
    decimals = std::clamp(decimals, 0, 8);
    std::string text;
    if (std::signbit(value) && value != 0.0)
        text = "-";
    const double magnitude = std::fabs(value);
    const double scale = std::pow(10.0, decimals);
    const double scaled = magnitude * scale;
    if (!(scaled < 9e18)) {
        // Too large for the integer path (or infinite): the integer part and
        // zeros for the fraction.
        char buffer[400];
        std::snprintf(buffer, sizeof buffer, "%.0f.", std::trunc(magnitude));
        return text + buffer + std::string(static_cast<std::size_t>(decimals), '0');
    }
    // The tiny lift brings values such as 0.29 (binary 0.28999...) back to
    // the decimal value they stand for before truncation; it stays far below
    // one unit of the last digit shown, so no true digit is ever raised.
    const int64_t n = static_cast<int64_t>(std::floor(scaled + std::min(scaled * 1e-9, 1e-3)));
    int64_t pow10 = 1;
    for (int i = 0; i < decimals; ++i)
        pow10 *= 10;
    const int64_t whole = n / pow10;
    const int64_t fraction = n % pow10;
    text += std::to_string(whole);
    text += '.';
    if (decimals > 0) {
        std::string digits = std::to_string(fraction);
        text += std::string(static_cast<std::size_t>(decimals) - digits.size(), '0') + digits;
    }
    return text;
}

void FloatToPascal(double value, int decimals, Str255 dst)
{
    CtoPascal(FloatToString(value, decimals).c_str(), dst);
}
