// files/WorkspaceFormat.h: the byte layout of workspace files: the 31-byte
// header, the 27-byte clip records and the pixel blocks. Integers are
// little-endian (the order of the files the Intel build wrote) and fields
// follow each other with no gaps; users' existing workspaces rely on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class GWorldWrapper;

inline constexpr int32_t kWorkspaceMarker = -1;              // the only version check
inline constexpr std::size_t kWorkspaceHeaderBytes = 31;     // header, then the W × H mask bytes
inline constexpr std::size_t kWorkspaceClipRecordBytes = 27; // each record, then its pixel block
inline constexpr std::size_t kWorkspaceFrameSizeBytes = 4;   // int16 width, int16 height of a calibration frame
inline constexpr std::size_t kWorkspaceCountBytes = 4;       // int32 byte count before a picture block
// Widths and heights are the program's 16-bit rectangle edges.
inline constexpr int kMaxWorkspaceSide = 32767;
// A normalisation factor is stored as factor × kWorkspaceNormalizationScale;
// a factor of 1 (no normalisation) as kWorkspaceNormalizationUnset.
inline constexpr double kWorkspaceNormalizationScale = 100000.0;
inline constexpr int32_t kWorkspaceNormalizationUnset = 100000;

struct WorkspaceHeader {
    bool asPictures = false; // pixel blocks are pictures (true) or raw RGB bytes
    int32_t numClips = 0;    // N, the clip records that follow
    int32_t width = 0;       // W, 1..kMaxWorkspaceSide
    int32_t height = 0;      // H, 1..kMaxWorkspaceSide
    int32_t alignmentBrightnessThreshold = 0;
    bool hasDark = false;
    bool hasFlat = false;
    int32_t hotPixelMaskThreshold = 256;
    int32_t hotPixelMaskRadius = 0;
};

struct WorkspaceClipRecord {
    bool included = true;
    bool darkFrameSubtracted = false;
    bool flatFrameDivided = false;
    // Red, green, blue; each pair as stored: horizontal, then vertical.
    int16_t alignment[3][2] = {};
    int32_t normalization = kWorkspaceNormalizationUnset; // factor × 100,000
    int32_t medianFilterRadius = 1;
    int32_t medianFilterThreshold = 0;
};

enum class WorkspaceHeaderStatus {
    ok,
    wrongMarker, // the first int32 is not -1: a file of another kind or version
    damaged,     // a flag other than 0 or 1, N below 0, W or H outside 1..kMaxWorkspaceSide
};

// The header's bytes. Pure; any thread.
void EncodeWorkspaceHeader(const WorkspaceHeader& header, uint8_t* out /* kWorkspaceHeaderBytes */);
// Reads and checks a header; *header is written only on ok.
[[nodiscard]] WorkspaceHeaderStatus DecodeWorkspaceHeader(const uint8_t* in /* kWorkspaceHeaderBytes */,
                                                          WorkspaceHeader* header);

// A clip record's bytes. Flags are written as 0 or 1 and read back as
// non-zero = on. Pure; any thread.
void EncodeWorkspaceClipRecord(const WorkspaceClipRecord& record, uint8_t* out /* kWorkspaceClipRecordBytes */);
void DecodeWorkspaceClipRecord(const uint8_t* in /* kWorkspaceClipRecordBytes */, WorkspaceClipRecord* record);

// factor × 100,000 truncated toward zero, limited to the int32 range; a
// factor that is not finite (NaN, ±infinity) gives 100,000 (a factor of 1). A factor read from a file (stored /
// 100,000) gives its stored value back, so saving a loaded workspace again keeps every factor.
int32_t StoredNormalizationFactor(double factor);
double LoadedNormalizationFactor(int32_t stored);

// Little-endian 16- and 32-bit fields.
void PutInt16(uint8_t* out, int16_t value);
void PutInt32(uint8_t* out, int32_t value);
int16_t GetInt16(const uint8_t* in);
int32_t GetInt32(const uint8_t* in);

// The pixel block of image's whole bounds, appended to out: raw, width ×
// height × 3 bytes (red, green, blue, rows from the top); a picture, its
// int32 byte count and the picture (PictCodec.h, frame (0, 0, h, w)).
// Returns false, out unchanged, when the image cannot be recorded as a
// picture (wider than the picture format allows). May throw std::bad_alloc.
[[nodiscard]] bool AppendPixelBlock(const GWorldWrapper& image, bool asPicture, std::vector<uint8_t>& out);

// Makes the image of a pixel block read from a file. raw: bytes holds width
// × height × 3 bytes. picture: bytes holds the picture (after its count);
// its frame must be (0, 0, height, width) and it must decode completely.
// Returns null for a block that does not hold such an image. Throws
// std::bad_alloc when the image cannot be made. Any thread.
std::unique_ptr<GWorldWrapper> DecodePixelBlock(const uint8_t* bytes, std::size_t size, bool asPicture, int width,
                                                int height);
