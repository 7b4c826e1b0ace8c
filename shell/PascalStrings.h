// shell/PascalStrings.h: length-prefixed strings (a length byte, then up to 255
// characters) and the truncating number formatter of every user-visible number.
#pragma once

#include <cstdint>
#include <string>

using Str255 = unsigned char[256];
constexpr int kMaxPascalLength = 255;

// dst = dst followed by src, cut at 255 characters.
void PascalAppend(Str255 dst, const unsigned char* src);
// dst = src.
void PascalCopy(const unsigned char* src, Str255 dst);
// dst = the characters of the zero-terminated cstr, cut at 255.
void CtoPascal(const char* cstr, Str255 dst);
// dst (at least 256 bytes) = src's characters and a zero terminator.
void PascalToC(const unsigned char* src, char* dst);
// The characters of src as a std::string.
std::string PascalToString(const unsigned char* src);

// value with `decimals` fraction digits (at most 8), truncated, never rounded:
// 2.71828 with 3 gives "2.718", 12 with 0 gives "12.", 0.5 with 2 gives "0.50".
// The digits are those of the decimal value as written (0.29 gives "0.290",
// not the "0.289" of its binary neighbour). Negative values give "-" and the
// digits of the magnitude; NaN gives "nan". The Str255 form is cut at 255
// characters.
std::string FloatToString(double value, int decimals);
void FloatToPascal(double value, int decimals, Str255 dst);
