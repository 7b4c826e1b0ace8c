// files/RawFile.h: headerless raw RGB files: their size rule, reading one
// whole, and converting between their samples and three int32 planes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

// Largest width or height of a raw image: the program's rectangles hold
// 16-bit edges.
constexpr int kMaxRawSide = 32767;

// How a raw file to be read is laid out. Other programs write these files, so
// every field comes from the user and is checked.
struct RawImportParams {
    int width = 0;           // pixels, 1..kMaxRawSide
    int height = 0;          // pixels, 1..kMaxRawSide
    int sampleBytes = 2;     // 1, 2 or 4; any other value is refused
    bool bigEndian = false;  // byte order of 2- and 4-byte samples
    bool interleaved = true; // R, G, B per pixel; false: all red, then all green, then all blue
};

// The file length the params describe, W × H × 3 × sample size, computed in
// 64 bits; 0 when a field is out of range (no valid file is empty).
uint64_t RawFileLength(const RawImportParams& params);

enum class RawReadResult {
    ok,
    cannotOpen,  // the file does not exist or cannot be read
    wrongSize,   // params out of range, or the length is not RawFileLength(params)
    readFailed,  // the length was right but reading it failed (or the file changed)
    outOfMemory, // the buffer for the file could not be allocated
};

// Reads the whole file into bytes when its length equals RawFileLength(params);
// the length is checked before anything is allocated. bytes is changed only
// on ok. Any thread.
[[nodiscard]] RawReadResult ReadRawFile(const std::filesystem::path& file, const RawImportParams& params,
                                        std::vector<uint8_t>& bytes);

// Converts a whole file's bytes into the planes (each W × H, row-major), every
// sample zero-extended into int32 (so a 4-byte FF FF FF FF becomes -1). count
// must equal RawFileLength(params); otherwise returns false and writes
// nothing. Any thread; writes only the planes.
[[nodiscard]] bool DecodeRawSamples(const uint8_t* bytes, uint64_t count, const RawImportParams& params, int32_t* red,
                                    int32_t* green, int32_t* blue);

// How the stack is written. Samples are always in the host's byte order.
struct RawExportParams {
    bool project = false;    // scale into 16 bits by 65535 / maxValue
    bool interleaved = true; // R, G, B per pixel; false: the three planes one after another
};

// 4 when maxValue > 65535 and the samples are not projected, otherwise 2.
int RawExportSampleBytes(int32_t maxValue, const RawExportParams& params);

// The file's bytes for planes of width × height, maxValue being the largest
// plane value (from 0). Projected: trunc(v × 65535 / maxValue) limited to
// 0..65535, all zeros when maxValue is 0; 16-bit: v limited to 0..65535;
// 32-bit: v's bit pattern. Throws std::bad_alloc. Any thread.
std::vector<uint8_t> EncodeRawSamples(const int32_t* red, const int32_t* green, const int32_t* blue, int width,
                                      int height, int32_t maxValue, const RawExportParams& params);

// Test hook: the next n reads of ReadRawFile fail after the length check.
void FailNextRawReadsForTesting(int n);
