// files/CompressedFITS.h: gzip-compressed FITS files, inflated into memory
// only as far as the primary image's first plane, after its header was checked.
#pragma once

#include <cstdint>
#include <vector>

enum class CompressedFITSResult {
    notCompressed, // no gzip signature: read the file as it is
    ok,            // bytes hold the header and the first plane's data
    failed,        // damaged stream, bad header, or less data than declared
    outOfMemory,   // the declared image is more than memory can hold
};

// Reads the open file fd from its start. A gzip file's FITS header is
// inflated first; its NAXIS1 × NAXIS2 × |BITPIX|/8 bytes of data are inflated
// only when the sides are in 1..maxSide, the compressed file can hold that
// much (deflate expands at most 1032-fold) and the data plus extraBytesPerPixel
// per pixel fit in freeBytes. Nothing past the first plane is inflated.
[[nodiscard]] CompressedFITSResult InflateFITSPrimary(int fd, int maxSide, int64_t extraBytesPerPixel,
                                                      int64_t freeBytes, std::vector<char>& bytes);
