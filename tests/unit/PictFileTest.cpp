// tests/unit/PictFileTest.cpp: picture files on disk: their exact layout,
// replacement of older files, short and damaged files, and FFmpeg's own
// QuickDraw decoder reading what the program writes.
#include "platform/core/PictFile.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "tests/support/PythonReference.h"
#include "tests/support/TestImages.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The file decoded by FFmpeg (libavformat's qdraw_pipe demuxer and
// libavcodec's qdraw decoder) as packed RGB rows; false when FFmpeg refuses it.
bool DecodeWithFFmpeg(const std::string& path, int* width, int* height, std::vector<uint8_t>* rgb)
{
    const AVInputFormat* format = av_find_input_format("qdraw_pipe");
    if (!format)
        return false;
    AVFormatContext* context = nullptr;
    if (avformat_open_input(&context, path.c_str(), format, nullptr) < 0)
        return false;
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> contextOwner(
        context, [](AVFormatContext* c) { avformat_close_input(&c); });
    if (context->nb_streams < 1)
        return false;
    const AVCodec* codec = avcodec_find_decoder(context->streams[0]->codecpar->codec_id);
    if (!codec)
        return false;
    std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)> decoder(
        avcodec_alloc_context3(codec), [](AVCodecContext* c) { avcodec_free_context(&c); });
    if (!decoder || avcodec_parameters_to_context(decoder.get(), context->streams[0]->codecpar) < 0 ||
        avcodec_open2(decoder.get(), codec, nullptr) < 0)
        return false;
    std::unique_ptr<AVPacket, void (*)(AVPacket*)> packet(av_packet_alloc(), [](AVPacket* p) { av_packet_free(&p); });
    std::unique_ptr<AVFrame, void (*)(AVFrame*)> frame(av_frame_alloc(), [](AVFrame* f) { av_frame_free(&f); });
    if (av_read_frame(context, packet.get()) < 0)
        return false;
    if (avcodec_send_packet(decoder.get(), packet.get()) < 0)
        return false;
    avcodec_send_packet(decoder.get(), nullptr); // flush; the frame is complete either way
    if (avcodec_receive_frame(decoder.get(), frame.get()) < 0 || frame->format != AV_PIX_FMT_RGB24)
        return false;
    *width = frame->width;
    *height = frame->height;
    rgb->clear();
    for (int y = 0; y < frame->height; ++y)
        rgb->insert(rgb->end(), frame->data[0] + static_cast<std::ptrdiff_t>(y) * frame->linesize[0],
                    frame->data[0] + static_cast<std::ptrdiff_t>(y) * frame->linesize[0] + 3 * frame->width);
    return true;
}

std::vector<uint8_t> RgbOf(const GWorldWrapper& image)
{
    std::vector<uint8_t> rgb;
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x) {
            const Argb p = GetPixel(image, x, y);
            rgb.insert(rgb.end(), {p.r, p.g, p.b});
        }
    return rgb;
}

class PictFileTest : public testing::Test {
protected:
    void SetUp() override { mDir = ReferenceScratchDir(); }
    void TearDown() override { FailPictFileWriteAfterForTesting(-1); }
    std::string Path(const std::string& name) const { return mDir + "/" + name; }
    std::string mDir;
};

} // namespace

TEST_F(PictFileTest, FileIs512ZerosAndThePicture)
{
    auto image = MakeImage(5, 3);
    FillGradient(*image);
    std::vector<uint8_t> picture;
    ASSERT_EQ(EncodePict(*image, picture), PictStatus::ok);
    const std::string path = Path("a.pict");
    ASSERT_EQ(WritePictFile(path, *image, PictWriteMode::createNew), PictFileStatus::ok);
    const std::vector<uint8_t> bytes = FileBytes(path);
    ASSERT_EQ(bytes.size(), 512 + picture.size());
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 512), std::vector<uint8_t>(512, 0));
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 512, bytes.end()), picture);
    std::unique_ptr<GWorldWrapper> back;
    Rect frame;
    ASSERT_EQ(ReadPictFile(path, &back, &frame), PictFileStatus::ok);
    EXPECT_EQ(frame, MakeRect(0, 0, 3, 5));
    EXPECT_TRUE(SamePixels(*back, *image));
}

TEST_F(PictFileTest, ReplacingALongerFileLeavesNoTail)
{
    const std::string path = Path("b.pict");
    WriteFileBytes(path, std::vector<uint8_t>(100000, 0xEE));
    auto image = MakeImage(4, 4);
    FillNoise(*image, 1);
    ASSERT_EQ(WritePictFile(path, *image, PictWriteMode::replaceExisting), PictFileStatus::ok);
    std::vector<uint8_t> picture;
    ASSERT_EQ(EncodePict(*image, picture), PictStatus::ok);
    EXPECT_EQ(FileBytes(path).size(), 512 + picture.size());
    // Only the target remains in the folder.
    int files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(mDir))
        ++files;
    EXPECT_EQ(files, 1);
}

TEST_F(PictFileTest, FailedWritesLeaveTheOldStateBehind)
{
    auto image = MakeImage(4, 4);
    const std::string fresh = Path("fresh.pict");
    FailPictFileWriteAfterForTesting(0);
    EXPECT_EQ(WritePictFile(fresh, *image, PictWriteMode::createNew), PictFileStatus::writeFailed);
    EXPECT_FALSE(fs::exists(fresh));

    const std::string old = Path("old.pict");
    WriteFileBytes(old, {1, 2, 3});
    FailPictFileWriteAfterForTesting(0);
    EXPECT_EQ(WritePictFile(old, *image, PictWriteMode::replaceExisting), PictFileStatus::writeFailed);
    EXPECT_EQ(FileBytes(old), (std::vector<uint8_t>{1, 2, 3}));
    int files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(mDir))
        ++files;
    EXPECT_EQ(files, 1);

    // createNew never reuses a file; an unwritable folder fails.
    EXPECT_EQ(WritePictFile(old, *image, PictWriteMode::createNew), PictFileStatus::writeFailed);
    EXPECT_EQ(WritePictFile(Path("missing/x.pict"), *image, PictWriteMode::replaceExisting),
              PictFileStatus::writeFailed);
    auto wide = MakeImage(kMaxPictWidth + 1, 1);
    EXPECT_EQ(WritePictFile(Path("wide.pict"), *wide, PictWriteMode::createNew), PictFileStatus::tooWide);
    EXPECT_FALSE(fs::exists(Path("wide.pict")));
}

TEST_F(PictFileTest, ShortAndDamagedFilesGiveNoPicture)
{
    std::unique_ptr<GWorldWrapper> image;
    WriteFileBytes(Path("short"), std::vector<uint8_t>(300, 0));
    EXPECT_EQ(ReadPictFile(Path("short"), &image), PictFileStatus::damaged);
    EXPECT_FALSE(image);
    WriteFileBytes(Path("header-only"), std::vector<uint8_t>(521, 0));
    EXPECT_EQ(ReadPictFile(Path("header-only"), &image), PictFileStatus::damaged);
    EXPECT_EQ(ReadPictFile(Path("none"), &image), PictFileStatus::readFailed);

    auto source = MakeImage(80, 5);
    FillNoise(*source, 4);
    ASSERT_EQ(WritePictFile(Path("good"), *source, PictWriteMode::createNew), PictFileStatus::ok);
    std::vector<uint8_t> bytes = FileBytes(Path("good"));
    bytes.resize(bytes.size() - 40);
    WriteFileBytes(Path("truncated"), bytes);
    EXPECT_EQ(ReadPictFile(Path("truncated"), &image), PictFileStatus::damaged);
    EXPECT_FALSE(image);
    // The header's content does not matter.
    bytes = FileBytes(Path("good"));
    for (int i = 0; i < 512; ++i)
        bytes[i] = static_cast<uint8_t>(i);
    WriteFileBytes(Path("header"), bytes);
    EXPECT_EQ(ReadPictFile(Path("header"), &image), PictFileStatus::ok);
}

TEST_F(PictFileTest, FFmpegReadsWhatWeWrite)
{
    struct Content {
        const char* name;
        void (*fill)(GWorldWrapper&);
    };
    const Content contents[] = {
        {"noise", [](GWorldWrapper& i) { FillNoise(i, 21); }},
        {"flat", [](GWorldWrapper& i) { FillFlat(i, 12, 200, 255); }},
        {"runs",
         [](GWorldWrapper& i) {
             // Runs of 1, 2, 3, 128 and 129 equal values, and runs crossing
             // from the red plane into the green and from green into blue.
             const int lengths[] = {1, 2, 3, 128, 129};
             for (int y = 0; y < i.Height(); ++y) {
                 int x = 0, k = 0;
                 while (x < i.Width()) {
                     const int length = lengths[k % 5];
                     const uint8_t v = static_cast<uint8_t>(k * 37);
                     for (int j = 0; j < length && x < i.Width(); ++j, ++x)
                         SetPixel(i, x, y, Argb{0, v, static_cast<uint8_t>(v + y), static_cast<uint8_t>(v)});
                     ++k;
                 }
                 // The last red values equal the first green ones, and the
                 // last green values the first blue ones.
                 const Argb first = GetPixel(i, 0, y);
                 for (int x2 = std::max(0, i.Width() - 3); x2 < i.Width(); ++x2)
                     SetPixel(i, x2, y, Argb{0, first.g, first.b, first.b});
             }
         }},
    };
    for (int width : {63, 64, 300, 640, 4091})
        for (int height : {1, 3})
            for (const Content& content : contents) {
                auto image = MakeImage(width, height);
                content.fill(*image);
                const std::string path = Path("ff.pict");
                fs::remove(path);
                ASSERT_EQ(WritePictFile(path, *image, PictWriteMode::createNew), PictFileStatus::ok);
                int w = 0, h = 0;
                std::vector<uint8_t> rgb;
                ASSERT_TRUE(DecodeWithFFmpeg(path, &w, &h, &rgb)) << width << "x" << height << " " << content.name;
                EXPECT_EQ(w, width);
                EXPECT_EQ(h, height);
                EXPECT_TRUE(rgb == RgbOf(*image)) << width << "x" << height << " " << content.name;
            }
    // FFmpeg's decoder does not take rows of 250 bytes or less (width 62 and below).
    auto narrow = MakeImage(62, 2);
    const std::string path = Path("narrow.pict");
    ASSERT_EQ(WritePictFile(path, *narrow, PictWriteMode::createNew), PictFileStatus::ok);
    int w = 0, h = 0;
    std::vector<uint8_t> rgb;
    EXPECT_FALSE(DecodeWithFFmpeg(path, &w, &h, &rgb));
}
