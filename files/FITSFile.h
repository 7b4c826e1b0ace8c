// files/FITSFile.h: one FITS image read into 32-bit integers, and one int32
// plane written as a FITS file, through CFITSIO.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Largest width or height taken from a FITS file: the program's rectangles
// hold 16-bit edges.
constexpr int kMaxFITSSide = 32767;

// Sample widths a plane is written with: 16 (unsigned 16-bit, BITPIX 16 with
// BZERO 32768) or 32 (unsigned 32-bit, BITPIX 32 with BZERO 2147483648).
constexpr int kFITSBits16 = 16;
constexpr int kFITSBits32 = 32;
constexpr int32_t kFITSMax16BitValue = 65535;

// The keywords every written file carries; other programs and our own users
// identify the files by them.
extern const char* const kFITSCreatorKeyword; // "CREATAPP"
extern const char* const kFITSCreatorValue;   // "Velmora"
extern const char* const kFITSChannelKeyword; // "CHANNEL"

// The first image of a FITS file: width × height values, row-major, the
// file's first row (FITS row 1) first.
struct FITSImage {
    int width = 0;
    int height = 0;
    std::vector<int32_t> pixels;
};

enum class FITSReadResult {
    ok,
    failed,      // missing or unreadable file, bad header, short data, conversion error
    outOfMemory, // the image's buffer could not be allocated
};

// Opens name read-only, taken literally (only a regular file; a gzip file is
// inflated in memory as far as the first plane, after its header passed), requires NAXIS >= 2 with NAXIS1 and NAXIS2 in 1..kMaxFITSSide, and
// reads the first NAXIS1 × NAXIS2 values of the primary image as int32 with
// CFITSIO's scaling and conversion (BSCALE/BZERO applied; floats truncated);
// undefined pixels (NaN, or the BLANK value) read as 0.
// The data unit is checked to hold those values before the buffer is
// allocated. On failure image is left as it was. Main thread or any single
// thread (CFITSIO keeps no state between calls here).
[[nodiscard]] FITSReadResult ReadFITSImage(const std::string& name, FITSImage& image);

// Writes width × height values of plane (row 0 becomes FITS row 1) as a
// two-axis primary image with `bits` 16 or 32, followed by "CREATAPP" =
// "Velmora" and "CHANNEL" = channelName, both with empty comments. Each value
// goes to CFITSIO as its unsigned 32-bit pattern, so a negative value in a
// 16-bit file is a conversion error. The file is written beside target under a
// temporary name (no CFITSIO file-name parsing) and renamed over target only
// when every call succeeded. False on any failure; target is then unchanged.
[[nodiscard]] bool WriteFITSPlane(const std::filesystem::path& target, const int32_t* plane, int width, int height,
                                  int bits, const char* channelName);

// Test hook: the n-th coming WriteFITSPlane (1 = the next) fails with a
// CFITSIO write error after its data went out; 0 cancels.
void FailFITSWriteForTesting(int n);
