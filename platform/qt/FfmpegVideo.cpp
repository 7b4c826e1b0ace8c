// platform/qt/FfmpegVideo.cpp: demuxing, decoding and pixel conversion of one
// video stream through libavformat, libavcodec and libswscale.
#include "platform/qt/FfmpegVideo.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <limits>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "platform/core/GWorldWrapper.h"
#include "platform/core/RegularFile.h"
#include "platform/qt/PictureCodingLimits.h"

namespace {

// Every FFmpeg handle is owned by a unique_ptr whose deleter releases it.
struct FormatCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecFreer {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFreer {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFreer {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct ScalerFreer {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct DictionaryFreer {
    void operator()(AVDictionary* d) const { av_dict_free(&d); }
};
using FormatPtr = std::unique_ptr<AVFormatContext, FormatCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using ScalerPtr = std::unique_ptr<SwsContext, ScalerFreer>;

// A rectangle edge is a signed 16-bit value, so no side may pass this.
constexpr int kMaxSide = 32767;

// A still picture's pixels all come from its file, and none of the formats
// left to FFmpeg packs more than about a thousand pixels into a byte
// (deflate, the strongest of their codings, stops at 1032 to 1). A picture
// claiming more is damaged, and is refused before the decoder allocates it:
// a header of a few hundred bytes could otherwise cost gigabytes.
constexpr int64_t kMaxStillPixelsPerFileByte = 1024;

// Movie containers carry picture codecs too: GIF and PNG animations, an
// icon's PNG, PNG frames in QuickTime or AVI. Their decoders allocate the
// whole frame (a GIF's logical screen, an APNG's canvas) from the header
// before reading any data, so the frame is bounded by what the file's bytes
// could fill (a GIF screen its images could not cover is refused with it).
// Video codecs have no such bound and get 0: a frame may be predicted from
// others, or a flat one coded in a few bytes whatever its size.
int64_t MaxMoviePixelsPerFileByte(AVCodecID codec)
{
    switch (codec) {
    case AV_CODEC_ID_GIF:
        return kMaxGifPixelsPerDataByte;
    case AV_CODEC_ID_PNG:
    case AV_CODEC_ID_APNG:
        return kMaxPngPixelsPerDataByte;
    default:
        return 0;
    }
}

// Single-picture demuxers: "image2" (chosen by a file name's extension) and
// the content-probed "<format>_pipe" readers. yuv4mpegpipe is a real video
// stream and does not end in "_pipe".
bool IsStillImageDemuxer(const AVInputFormat* format)
{
    const std::string name = format && format->name ? format->name : "";
    const std::string suffix = "_pipe";
    if (name == "image2")
        return true;
    return name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Whether the container's index lists every sample of the stream, so that
// counting its entries counts the frames without reading the file. A
// QuickTime file cannot be opened without its complete sample table; an AVI
// file's index is complete only when it has at least as many entries as the
// stream header promises frames (a file cut short loses its index, which
// the demuxer then rebuilds only as far as it has read).
bool IndexListsEverySample(const AVInputFormat* format, AVStream& stream)
{
    const std::string name = format && format->name ? format->name : "";
    if (name.rfind("mov,", 0) == 0)
        return true;
    if (name == "avi")
        return stream.nb_frames > 0 && avformat_index_get_entries_count(&stream) >= stream.nb_frames;
    return false;
}

// A packet that is not handed to the decoder: an empty one (a dropped frame
// in AVI; an empty packet would also be taken for the end of the stream) or
// one cut short by the end of the file, which would decode to a damaged
// picture.
bool PacketUnusable(const AVPacket& packet)
{
    return packet.size <= 0 || (packet.flags & AV_PKT_FLAG_CORRUPT) != 0;
}

// A packet that makes no picture: an unusable one, or one the container
// marks to be decoded and dropped (before an edit list's start).
bool PacketMakesNoPicture(const AVPacket& packet)
{
    return PacketUnusable(packet) || (packet.flags & AV_PKT_FLAG_DISCARD) != 0;
}

int MaxComponentDepth(const AVPixFmtDescriptor& desc)
{
    int depth = 0;
    for (int c = 0; c < desc.nb_components; ++c)
        depth = std::max(depth, desc.comp[c].depth);
    return depth;
}

// One row of packed samples (Step bytes a pixel, red, green and blue at the
// given offsets) to alpha 0xFF, red, green, blue. Each pixel is assembled as
// one 32-bit word whose bytes in memory are in that order on either byte
// order; with the offsets constant the compiler can vectorise the loop.
template <int Step, int Red, int Green, int Blue>
void CopyPackedRow(const uint8_t* s, uint8_t* p, int width)
{
    constexpr bool big = std::endian::native == std::endian::big;
    constexpr int shiftA = big ? 24 : 0, shiftR = big ? 16 : 8, shiftG = big ? 8 : 16, shiftB = big ? 0 : 24;
    for (int x = 0; x < width; ++x, s += Step, p += 4) {
        const uint32_t word = (0xFFu << shiftA) | (uint32_t{s[Red]} << shiftR) | (uint32_t{s[Green]} << shiftG) |
                              (uint32_t{s[Blue]} << shiftB);
        std::memcpy(p, &word, 4);
    }
}

// Uncompressed captures (grey or 24-bit colour, as planetary cameras record
// them) are copied by plain loops, several times faster than swscale's
// generic path for them. Only frames of the image's own size. False when
// the frame is of another kind.
bool CopyPackedFrame(const AVFrame& from, GWorldWrapper& image)
{
    if (from.width != image.Width() || from.height != image.Height())
        return false;
    void (*copyRow)(const uint8_t*, uint8_t*, int) = nullptr;
    switch (from.format) {
    case AV_PIX_FMT_GRAY8:
        copyRow = CopyPackedRow<1, 0, 0, 0>;
        break;
    case AV_PIX_FMT_RGB24:
        copyRow = CopyPackedRow<3, 0, 1, 2>;
        break;
    case AV_PIX_FMT_BGR24:
        copyRow = CopyPackedRow<3, 2, 1, 0>;
        break;
    default:
        return false;
    }
    for (int y = 0; y < from.height; ++y)
        copyRow(from.data[0] + static_cast<std::ptrdiff_t>(y) * from.linesize[0], image.PixelRow(y), from.width);
    return true;
}

}  // namespace

struct FfmpegVideo::Impl {
    std::filesystem::path file;
    FfmpegContainer kind = FfmpegContainer::movie;
    FormatPtr format;
    CodecPtr codec;
    FramePtr frame;
    PacketPtr packet;
    int stream = -1;
    int width = 0;
    int height = 0;
    bool draining = false;  // the end of the file was reached and the decoder told so

    // The conversion context, reused while the frames and target keep their
    // format, size, colour space and range.
    ScalerPtr scaler;
    struct ScalerKey {
        int srcW = 0, srcH = 0, srcFormat = -1, dstW = 0, dstH = 0, dstFormat = -1, colorspace = -1, range = -1;
        friend bool operator==(const ScalerKey&, const ScalerKey&) = default;
    } scalerKey;
    std::vector<uint16_t> wideRows;  // 16-bit conversion target for deep samples

    static MediaStatus Open(const std::filesystem::path& file, FfmpegContainer kind, std::unique_ptr<Impl>& impl,
                            const FrameSizeCheck& sizeAccepted);
    MediaStatus Decode(GWorldWrapper* image);
    MediaStatus Convert(const AVFrame& from, GWorldWrapper& image);
    SwsContext* Scaler(const ScalerKey& key, const AVFrame& from);
    bool SeekToStart();
};

MediaStatus FfmpegVideo::Impl::Open(const std::filesystem::path& file, FfmpegContainer kind,
                                    std::unique_ptr<Impl>& impl, const FrameSizeCheck& sizeAccepted)
{
    // Failures reach the user through results and the program's alerts; the
    // library's own messages (one per damaged packet) would only flood the
    // terminal. The program has no other FFmpeg user whose messages this hides.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_FATAL); });

    // Only regular files: the library's blocking open would wait forever on
    // a named pipe with no writer.
    if (!IsRegularFile(file.c_str()))
        return MediaStatus::cannotOpen;
    auto made = std::make_unique<Impl>();
    made->file = file;
    made->kind = kind;

    // "file:" keeps a name with a colon from being read as another protocol;
    // the whitelist keeps playlists and the like from reaching anything but
    // local files; pattern_type none keeps '%' in a name literal.
    const std::string url = "file:" + file.string();
    AVDictionary* rawOptions = nullptr;
    if (av_dict_set(&rawOptions, "protocol_whitelist", "file", 0) < 0 ||
        av_dict_set(&rawOptions, "pattern_type", "none", 0) < 0) {
        av_dict_free(&rawOptions);
        throw std::bad_alloc();
    }
    AVFormatContext* rawFormat = nullptr;
    const int opened = avformat_open_input(&rawFormat, url.c_str(), nullptr, &rawOptions);
    std::unique_ptr<AVDictionary, DictionaryFreer> options(rawOptions);
    if (opened < 0)
        return opened == AVERROR_INVALIDDATA ? MediaStatus::unreadable : MediaStatus::cannotOpen;
    made->format.reset(rawFormat);

    if (IsStillImageDemuxer(made->format->iformat) != (kind == FfmpegContainer::stillImage))
        return MediaStatus::unreadable;
    // The most pixels a frame of a stream may have for the file's length (0
    // for no bound but the side's): any codec of a still picture, whose
    // stream information comes from decoding it, and a movie's picture codecs.
    std::error_code error;
    const std::uintmax_t bytes = std::filesystem::file_size(file, error);
    if (error)
        return MediaStatus::cannotOpen;
    auto maxPixelsOf = [&](const AVCodecParameters& stream) -> int64_t {
        const int64_t perByte = kind == FfmpegContainer::stillImage ? kMaxStillPixelsPerFileByte
                                                                     : MaxMoviePixelsPerFileByte(stream.codec_id);
        if (perByte == 0)
            return 0;
        // The decoders take at most INT_MAX, their own default.
        const std::uintmax_t maxBytes = static_cast<std::uintmax_t>(std::numeric_limits<int>::max() / perByte);
        return static_cast<int64_t>(std::min(bytes, maxBytes)) * perByte;
    };
    // The decoders that find the streams' information are bounded from the
    // start, so that a frame beyond the bound fails before it is allocated;
    // a video stream whose header already gives such a size (a GIF's screen,
    // a PNG's IHDR) is refused without decoding.
    std::vector<AVDictionary*> streamOptions(made->format->nb_streams, nullptr);
    struct StreamOptionsFreer {
        std::vector<AVDictionary*>& options;
        ~StreamOptionsFreer()
        {
            for (AVDictionary*& d : options)
                av_dict_free(&d);
        }
    } freeStreamOptions{streamOptions};
    for (unsigned i = 0; i < made->format->nb_streams; ++i) {
        const AVCodecParameters& stream = *made->format->streams[i]->codecpar;
        const int64_t maxPixels = maxPixelsOf(stream);
        if (maxPixels == 0)
            continue;
        if (stream.codec_type == AVMEDIA_TYPE_VIDEO && int64_t{stream.width} * stream.height > maxPixels)
            return MediaStatus::damaged;
        if (av_dict_set_int(&streamOptions[i], "max_pixels", maxPixels, 0) < 0)
            throw std::bad_alloc();
    }
    // The frame size goes to the caller before anything decodes a frame: the
    // stream information may come from decoding one, and a flat frame of a
    // video codec costs its whole size in a few bytes. The size the container
    // declares for its first video stream is asked now; the chosen stream's
    // below, when it differs or was not declared.
    int askedWidth = 0, askedHeight = 0;
    auto accepted = [&](int width, int height) {
        if (!sizeAccepted || (width == askedWidth && height == askedHeight))
            return true;
        askedWidth = width;
        askedHeight = height;
        return sizeAccepted(width, height);
    };
    for (unsigned i = 0; sizeAccepted && i < made->format->nb_streams; ++i) {
        const AVStream& declared = *made->format->streams[i];
        if (declared.codecpar->codec_type != AVMEDIA_TYPE_VIDEO || (declared.disposition & AV_DISPOSITION_ATTACHED_PIC))
            continue;
        const int width = declared.codecpar->width, height = declared.codecpar->height;
        if (width >= 1 && height >= 1 && width <= kMaxSide && height <= kMaxSide && !accepted(width, height))
            return MediaStatus::declined;
        break;
    }
    if (avformat_find_stream_info(made->format.get(), streamOptions.empty() ? nullptr : streamOptions.data()) < 0)
        return MediaStatus::unreadable;

    const AVCodec* decoder = nullptr;
    const int stream = av_find_best_stream(made->format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (stream == AVERROR_STREAM_NOT_FOUND)
        return MediaStatus::noVideo;
    if (stream < 0 || !decoder)
        return MediaStatus::unreadable;
    AVStream* video = made->format->streams[stream];
    if (video->disposition & AV_DISPOSITION_ATTACHED_PIC)
        return MediaStatus::noVideo;
    made->stream = stream;
    // Only the video stream is demuxed from now on.
    for (unsigned i = 0; i < made->format->nb_streams; ++i)
        if (static_cast<int>(i) != stream)
            made->format->streams[i]->discard = AVDISCARD_ALL;

    made->width = video->codecpar->width;
    made->height = video->codecpar->height;
    if (made->width < 1 || made->height < 1)
        return MediaStatus::unreadable;  // the demuxer found no picture size: nothing it can decode
    if (made->width > kMaxSide || made->height > kMaxSide)
        return MediaStatus::badSize;
    const int64_t maxPixels = maxPixelsOf(*video->codecpar);
    if (maxPixels > 0 && int64_t{made->width} * made->height > maxPixels)
        return MediaStatus::damaged;
    if (!accepted(made->width, made->height))
        return MediaStatus::declined;

    made->codec.reset(avcodec_alloc_context3(decoder));
    made->frame.reset(av_frame_alloc());
    made->packet.reset(av_packet_alloc());
    if (!made->codec || !made->frame || !made->packet)
        throw std::bad_alloc();
    if (avcodec_parameters_to_context(made->codec.get(), video->codecpar) < 0)
        return MediaStatus::unreadable;
    made->codec->pkt_timebase = video->time_base;
    // Movies decode on as many threads as the machine has; pictures are
    // decoded by the import's own workers, one each.
    made->codec->thread_count = kind == FfmpegContainer::movie ? 0 : 1;
    made->codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (maxPixels > 0)
        made->codec->max_pixels = maxPixels;
    if (avcodec_open2(made->codec.get(), decoder, nullptr) < 0)
        return MediaStatus::unreadable;

    impl = std::move(made);
    return MediaStatus::ok;
}

// Receives frames first, feeding packets only when the decoder asks for more,
// and drains the decoder at the end of the file so no frame is lost.
MediaStatus FfmpegVideo::Impl::Decode(GWorldWrapper* image)
{
    for (;;) {
        const int received = avcodec_receive_frame(codec.get(), frame.get());
        if (received == 0) {
            const MediaStatus converted = image ? Convert(*frame, *image) : MediaStatus::ok;
            av_frame_unref(frame.get());
            return converted;
        }
        if (received == AVERROR_EOF)
            return MediaStatus::endOfMovie;
        if (received != AVERROR(EAGAIN)) {
            // A frame that failed to decode: a picture has nothing else to
            // give; a movie goes on with its next packet.
            if (kind == FfmpegContainer::stillImage)
                return MediaStatus::damaged;
            if (draining)
                return MediaStatus::endOfMovie;
        } else if (draining) {
            return MediaStatus::endOfMovie;  // a decoder that wants input after the flush has nothing left
        }

        const int read = av_read_frame(format.get(), packet.get());
        if (read < 0) {
            // End of file, or a read error or damage that ends the stream:
            // what the decoder still holds is delivered first.
            draining = true;
            if (avcodec_send_packet(codec.get(), nullptr) < 0)
                return MediaStatus::endOfMovie;
            continue;
        }
        const bool usable = packet->stream_index == stream && !PacketUnusable(*packet);
        // A packet the decoder rejects is damaged data: it is skipped and the
        // next one tried, so one bad frame does not end a movie.
        if (usable)
            static_cast<void>(avcodec_send_packet(codec.get(), packet.get()));
        av_packet_unref(packet.get());
    }
}

SwsContext* FfmpegVideo::Impl::Scaler(const ScalerKey& key, const AVFrame& from)
{
    if (scaler && key == scalerKey)
        return scaler.get();
    scaler.reset();
    // Equal sizes take swscale's unscaled converters; the filter only matters
    // when a stream changes size on the way.
    // 8-bit movie frames take swscale's fast converters (the ones the ffmpeg
    // program uses); pictures and deep samples the exactly rounding ones, so
    // that 16-bit data keeps every bit until it is narrowed here.
    const bool exact = kind == FfmpegContainer::stillImage || key.dstFormat == AV_PIX_FMT_RGBA64;
    const int flags =
        exact ? SWS_BILINEAR | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP : SWS_BILINEAR;
    scaler.reset(sws_getContext(key.srcW, key.srcH, static_cast<AVPixelFormat>(key.srcFormat), key.dstW, key.dstH,
                                static_cast<AVPixelFormat>(key.dstFormat), flags, nullptr, nullptr, nullptr));
    if (!scaler)
        return nullptr;
    // The frame's own matrix and range, to full-range RGB; no gamma change.
    const int* srcMatrix = sws_getCoefficients(from.colorspace);
    const int* dstMatrix = sws_getCoefficients(SWS_CS_DEFAULT);
    // Grey and RGB samples always span the full range; only YUV has a
    // studio range, taken from the frame (unspecified means studio range).
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(from.format));
    const bool yuv = desc && !(desc->flags & AV_PIX_FMT_FLAG_RGB) && desc->nb_components >= 3;
    const int srcFullRange = !yuv || from.color_range == AVCOL_RANGE_JPEG ? 1 : 0;
    // Fails only for RGB sources, which have no matrix to set.
    static_cast<void>(sws_setColorspaceDetails(scaler.get(), srcMatrix, srcFullRange, dstMatrix, 1, 0, 1 << 16, 1 << 16));
    scalerKey = key;
    return scaler.get();
}

MediaStatus FfmpegVideo::Impl::Convert(const AVFrame& from, GWorldWrapper& image)
{
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(from.format));
    if (!desc || from.width < 1 || from.height < 1 || image.Width() < 1 || image.Height() < 1)
        return MediaStatus::damaged;
    const bool deep = MaxComponentDepth(*desc) > 8;
    // swscale copies an RGB source's fourth byte (alpha, or the padding of
    // formats like bgr0) and a palette's alpha into the output; YUV and grey
    // sources get an opaque alpha from it already.
    const bool alphaCopied = (desc->flags & (AV_PIX_FMT_FLAG_ALPHA | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_RGB)) != 0;

    if (CopyPackedFrame(from, image))
        return MediaStatus::ok;
    const int dstW = image.Width(), dstH = image.Height();
    const ScalerKey key{from.width,  from.height,     from.format, dstW, dstH,
                        deep ? AV_PIX_FMT_RGBA64 : AV_PIX_FMT_ARGB, from.colorspace, from.color_range};
    SwsContext* context = Scaler(key, from);
    if (!context)
        return MediaStatus::damaged;

    if (!deep) {
        // AV_PIX_FMT_ARGB is bytes alpha, red, green, blue: the image's own
        // layout, so the frame is converted straight into its rows.
        if (image.GetSrcRowBytes() > std::numeric_limits<int>::max())
            return MediaStatus::badSize;
        uint8_t* planes[4] = {image.PixelRow(0), nullptr, nullptr, nullptr};
        const int strides[4] = {static_cast<int>(image.GetSrcRowBytes()), 0, 0, 0};
        if (sws_scale(context, from.data, from.linesize, 0, from.height, planes, strides) != dstH)
            return MediaStatus::damaged;
        if (alphaCopied) {
            for (int y = 0; y < dstH; ++y) {
                uint8_t* p = image.PixelRow(y);
                for (int x = 0; x < dstW; ++x)
                    p[4 * x] = 0xFF;
            }
        }
        return MediaStatus::ok;
    }

    // Deep samples: to 16-bit RGBA (host order), then v -> round(v / 257),
    // which for 16-bit data is what every 8-bit viewer shows.
    const std::size_t rowValues = static_cast<std::size_t>(dstW) * 4;
    wideRows.resize(rowValues * static_cast<std::size_t>(dstH));  // may throw std::bad_alloc
    uint8_t* planes[4] = {reinterpret_cast<uint8_t*>(wideRows.data()), nullptr, nullptr, nullptr};
    const int strides[4] = {static_cast<int>(rowValues * sizeof(uint16_t)), 0, 0, 0};
    if (sws_scale(context, from.data, from.linesize, 0, from.height, planes, strides) != dstH)
        return MediaStatus::damaged;
    for (int y = 0; y < dstH; ++y) {
        const uint16_t* v = wideRows.data() + rowValues * static_cast<std::size_t>(y);
        uint8_t* p = image.PixelRow(y);
        for (int x = 0; x < dstW; ++x, v += 4, p += 4) {
            p[0] = 0xFF;
            p[1] = static_cast<uint8_t>((v[0] + 128u) / 257u);
            p[2] = static_cast<uint8_t>((v[1] + 128u) / 257u);
            p[3] = static_cast<uint8_t>((v[2] + 128u) / 257u);
        }
    }
    return MediaStatus::ok;
}

bool FfmpegVideo::Impl::SeekToStart()
{
    const AVStream* video = format->streams[stream];
    const int64_t start = video->start_time != AV_NOPTS_VALUE ? video->start_time : 0;
    if (av_seek_frame(format.get(), stream, start, AVSEEK_FLAG_BACKWARD) < 0)
        return false;
    avcodec_flush_buffers(codec.get());
    draining = false;
    return true;
}

FfmpegVideo::FfmpegVideo(std::unique_ptr<Impl> impl) : d(std::move(impl)) {}
FfmpegVideo::~FfmpegVideo() = default;

MediaStatus FfmpegVideo::Open(const std::filesystem::path& file, FfmpegContainer kind,
                              std::unique_ptr<FfmpegVideo>& video, const FrameSizeCheck& sizeAccepted)
{
    std::unique_ptr<Impl> impl;
    const MediaStatus status = Impl::Open(file, kind, impl, sizeAccepted);
    if (status == MediaStatus::ok)
        video.reset(new FfmpegVideo(std::move(impl)));
    return status;
}

int FfmpegVideo::Width() const
{
    return d->width;
}

int FfmpegVideo::Height() const
{
    return d->height;
}

MediaStatus FfmpegVideo::DecodeNextFrame(GWorldWrapper* image)
{
    return d->Decode(image);
}

MediaStatus FfmpegVideo::Rewind()
{
    if (d->SeekToStart())
        return MediaStatus::ok;
    // Streams that cannot seek are opened afresh.
    std::unique_ptr<Impl> fresh;
    if (Impl::Open(d->file, d->kind, fresh, {}) != MediaStatus::ok)  // its size was accepted when it opened
        return MediaStatus::cannotOpen;
    d = std::move(fresh);
    return MediaStatus::ok;
}

MediaStatus FfmpegVideo::CountFrames(int& count)
{
    AVStream* video = d->format->streams[d->stream];
    if (IndexListsEverySample(d->format->iformat, *video)) {
        const int entries = avformat_index_get_entries_count(video);
        int pictures = 0;
        for (int i = 0; i < entries; ++i) {
            const AVIndexEntry* entry = avformat_index_get_entry(video, i);
            if (entry && entry->size > 0 && !(entry->flags & AVINDEX_DISCARD_FRAME))
                ++pictures;
        }
        if (pictures > 0) {
            count = pictures;
            return MediaStatus::ok;
        }
    }

    // Demux-only pass from the start; packets are counted, never decoded.
    if (!d->SeekToStart() && Rewind() != MediaStatus::ok)
        return MediaStatus::cannotOpen;
    int pictures = 0;
    while (av_read_frame(d->format.get(), d->packet.get()) >= 0) {
        if (d->packet->stream_index == d->stream && !PacketMakesNoPicture(*d->packet))
            ++pictures;
        av_packet_unref(d->packet.get());
    }
    const MediaStatus rewound = Rewind();
    if (rewound != MediaStatus::ok)
        return rewound;
    count = pictures;
    return MediaStatus::ok;
}
