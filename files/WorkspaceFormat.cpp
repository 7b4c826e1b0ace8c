// files/WorkspaceFormat.cpp: encoding and checking the fields of workspace files.
#include "files/WorkspaceFormat.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "imaging/PixelTransfer.h"
#include "platform/core/ByteOrder.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/core/PictCodec.h"

namespace {

// Header offsets.
constexpr std::size_t kMarkerAt = 0, kAsPicturesAt = 4, kNumClipsAt = 5, kWidthAt = 9, kHeightAt = 13,
                      kThresholdAt = 17, kHasDarkAt = 21, kHasFlatAt = 22, kMaskThresholdAt = 23, kMaskRadiusAt = 27;
// Clip record offsets.
constexpr std::size_t kIncludedAt = 0, kDarkAt = 1, kFlatAt = 2, kAlignmentAt = 3, kNormalizationAt = 15,
                      kMedianRadiusAt = 19, kMedianThresholdAt = 23;
// A picture's frame (top, left, bottom, right, big-endian int16) follows its
// 2-byte size field.
constexpr std::size_t kPictFrameAt = 2, kPictFrameEnd = 10;

bool IsFlag(uint8_t value)
{
    return value == 0 || value == 1;
}

bool IsSide(int32_t value)
{
    return value >= 1 && value <= kMaxWorkspaceSide;
}

int BigEndian16(const uint8_t* p)
{
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] << 8 | p[1]));
}

} // namespace

void PutInt16(uint8_t* out, int16_t value)
{
    uint16_t v = static_cast<uint16_t>(value);
    if (BigEndianSystem())
        FlipEndian(v);
    std::memcpy(out, &v, 2);
}

void PutInt32(uint8_t* out, int32_t value)
{
    uint32_t v = static_cast<uint32_t>(value);
    if (BigEndianSystem())
        FlipEndian(v);
    std::memcpy(out, &v, 4);
}

int16_t GetInt16(const uint8_t* in)
{
    uint16_t v;
    std::memcpy(&v, in, 2);
    if (BigEndianSystem())
        FlipEndian(v);
    return static_cast<int16_t>(v);
}

int32_t GetInt32(const uint8_t* in)
{
    uint32_t v;
    std::memcpy(&v, in, 4);
    if (BigEndianSystem())
        FlipEndian(v);
    return static_cast<int32_t>(v);
}

void EncodeWorkspaceHeader(const WorkspaceHeader& header, uint8_t* out)
{
    PutInt32(out + kMarkerAt, kWorkspaceMarker);
    out[kAsPicturesAt] = header.asPictures ? 1 : 0;
    PutInt32(out + kNumClipsAt, header.numClips);
    PutInt32(out + kWidthAt, header.width);
    PutInt32(out + kHeightAt, header.height);
    PutInt32(out + kThresholdAt, header.alignmentBrightnessThreshold);
    out[kHasDarkAt] = header.hasDark ? 1 : 0;
    out[kHasFlatAt] = header.hasFlat ? 1 : 0;
    PutInt32(out + kMaskThresholdAt, header.hotPixelMaskThreshold);
    PutInt32(out + kMaskRadiusAt, header.hotPixelMaskRadius);
}

WorkspaceHeaderStatus DecodeWorkspaceHeader(const uint8_t* in, WorkspaceHeader* header)
{
    if (GetInt32(in + kMarkerAt) != kWorkspaceMarker)
        return WorkspaceHeaderStatus::wrongMarker;
    WorkspaceHeader h;
    h.asPictures = in[kAsPicturesAt] == 1;
    h.numClips = GetInt32(in + kNumClipsAt);
    h.width = GetInt32(in + kWidthAt);
    h.height = GetInt32(in + kHeightAt);
    h.alignmentBrightnessThreshold = GetInt32(in + kThresholdAt);
    h.hasDark = in[kHasDarkAt] == 1;
    h.hasFlat = in[kHasFlatAt] == 1;
    h.hotPixelMaskThreshold = GetInt32(in + kMaskThresholdAt);
    h.hotPixelMaskRadius = GetInt32(in + kMaskRadiusAt);
    // Writers only ever put 0 or 1 in the flag bytes; anything else means the
    // bytes are not a workspace header.
    if (!IsFlag(in[kAsPicturesAt]) || !IsFlag(in[kHasDarkAt]) || !IsFlag(in[kHasFlatAt]) || h.numClips < 0 ||
        !IsSide(h.width) || !IsSide(h.height))
        return WorkspaceHeaderStatus::damaged;
    *header = h;
    return WorkspaceHeaderStatus::ok;
}

void EncodeWorkspaceClipRecord(const WorkspaceClipRecord& record, uint8_t* out)
{
    out[kIncludedAt] = record.included ? 1 : 0;
    out[kDarkAt] = record.darkFrameSubtracted ? 1 : 0;
    out[kFlatAt] = record.flatFrameDivided ? 1 : 0;
    for (int c = 0; c < 3; ++c)
        for (int k = 0; k < 2; ++k)
            PutInt16(out + kAlignmentAt + 4 * c + 2 * k, record.alignment[c][k]);
    PutInt32(out + kNormalizationAt, record.normalization);
    PutInt32(out + kMedianRadiusAt, record.medianFilterRadius);
    PutInt32(out + kMedianThresholdAt, record.medianFilterThreshold);
}

void DecodeWorkspaceClipRecord(const uint8_t* in, WorkspaceClipRecord* record)
{
    record->included = in[kIncludedAt] != 0;
    record->darkFrameSubtracted = in[kDarkAt] != 0;
    record->flatFrameDivided = in[kFlatAt] != 0;
    for (int c = 0; c < 3; ++c)
        for (int k = 0; k < 2; ++k)
            record->alignment[c][k] = GetInt16(in + kAlignmentAt + 4 * c + 2 * k);
    record->normalization = GetInt32(in + kNormalizationAt);
    record->medianFilterRadius = GetInt32(in + kMedianRadiusAt);
    record->medianFilterThreshold = GetInt32(in + kMedianThresholdAt);
}

int32_t StoredNormalizationFactor(double factor)
{
    // A factor that is no number at all (a normalisation of a black clip)
    // is stored as 1, so the clip reopens as it was taken, not black.
    if (!std::isfinite(factor))
        return kWorkspaceNormalizationUnset;
    const double scaled = factor * kWorkspaceNormalizationScale;
    constexpr double kLow = std::numeric_limits<int32_t>::min();
    constexpr double kHigh = std::numeric_limits<int32_t>::max();
    if (scaled <= kLow)
        return std::numeric_limits<int32_t>::min();
    if (scaled >= kHigh)
        return std::numeric_limits<int32_t>::max();
    // stored / 100,000 × 100,000 can land a rounding step below the whole
    // number it came from; truncating that would lose 1 at every save of a
    // loaded workspace. A product within a few rounding steps of a whole
    // number is that number; everything else is truncated toward zero.
    const double nearest = std::round(scaled);
    if (std::fabs(scaled - nearest) <= 1e-9 * std::fmax(1.0, std::fabs(scaled)))
        return static_cast<int32_t>(nearest);
    return static_cast<int32_t>(std::trunc(scaled));
}

double LoadedNormalizationFactor(int32_t stored)
{
    return stored / kWorkspaceNormalizationScale;
}

bool AppendPixelBlock(const GWorldWrapper& image, bool asPicture, std::vector<uint8_t>& out)
{
    const std::size_t start = out.size();
    if (asPicture) {
        out.resize(start + kWorkspaceCountBytes);
        std::vector<uint8_t> picture;
        if (EncodePict(image, picture) != PictStatus::ok ||
            picture.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) {
            out.resize(start);
            return false;
        }
        PutInt32(out.data() + start, static_cast<int32_t>(picture.size()));
        out.insert(out.end(), picture.begin(), picture.end());
        return true;
    }
    const Rect bounds = MakeRect(0, 0, image.Height(), image.Width());
    out.resize(start + static_cast<std::size_t>(image.Width()) * static_cast<std::size_t>(image.Height()) * 3);
    CopyPixelValuesFromImage(image, out.data() + start, bounds);
    return true;
}

std::unique_ptr<GWorldWrapper> DecodePixelBlock(const uint8_t* bytes, std::size_t size, bool asPicture, int width,
                                                int height)
{
    if (!IsSide(width) || !IsSide(height))
        return nullptr;
    const Rect bounds = MakeRect(0, 0, height, width);
    if (!asPicture) {
        if (size != static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3)
            return nullptr;
        auto image = std::make_unique<GWorldWrapper>(32, bounds, -1);
        CopyPixelValuesToImage(bytes, *image, bounds);
        return image;
    }
    // The frame is checked before the picture is decoded, so a picture that
    // claims a larger image than the record's allocates nothing.
    if (size < kPictFrameEnd)
        return nullptr;
    const uint8_t* f = bytes + kPictFrameAt;
    const int top = BigEndian16(f), left = BigEndian16(f + 2), bottom = BigEndian16(f + 4), right = BigEndian16(f + 6);
    if (bottom - top != height || right - left != width)
        return nullptr;
    std::unique_ptr<GWorldWrapper> image;
    if (DecodePict(bytes, size, &image) != PictStatus::ok || !image || image->Width() != width ||
        image->Height() != height)
        return nullptr;
    return image;
}
