// tests/unit/MovieSourceTest.cpp: movies written by the ffmpeg program with
// known frames, opened, counted and stepped frame by frame; files that are
// no movies, or damaged ones, fail cleanly.
#include "platform/qt/MovieSource.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "MediaFixtures.h"
#include "platform/core/GWorldWrapper.h"
#include "tests/support/TestImages.h"

namespace {

// Frame k of a lossless movie: a busy pattern of its own.
std::vector<Rgb8Picture> BusyFrames(int width, int height, int count)
{
    std::vector<Rgb8Picture> frames;
    for (int k = 0; k < count; ++k)
        frames.push_back(Pattern8(width, height, 7 * k + 1));
    return frames;
}

// Frame k of a lossy movie: smooth ramps, with blue shifted by 9 levels a
// frame (9 and 200 share no factor, so up to 200 frames all differ).
std::vector<Rgb8Picture> SmoothFrames(int width, int height, int count)
{
    std::vector<Rgb8Picture> frames;
    for (int k = 0; k < count; ++k) {
        Rgb8Picture frame = Smooth8(width, height);
        for (std::size_t i = 2; i < frame.rgb.size(); i += 3)
            frame.rgb[i] = static_cast<uint8_t>(20 + (9 * k) % 200);
        frames.push_back(frame);
    }
    return frames;
}

// The largest difference of any channel from the expected frame (alpha must
// be 0xFF everywhere; a wrong alpha counts as 255).
int LargestDifference(const GWorldWrapper& image, const Rgb8Picture& want)
{
    if (image.Width() != want.width || image.Height() != want.height)
        return 255;
    int largest = 0;
    for (int y = 0; y < want.height; ++y)
        for (int x = 0; x < want.width; ++x) {
            const Argb p = GetPixel(image, x, y);
            if (p.a != 0xFF)
                return 255;
            largest = std::max({largest, std::abs(p.r - want.At(x, y, 0)), std::abs(p.g - want.At(x, y, 1)),
                                std::abs(p.b - want.At(x, y, 2))});
        }
    return largest;
}

std::unique_ptr<MovieSource> Opened(const std::filesystem::path& file)
{
    std::unique_ptr<MovieSource> movie;
    const MediaStatus status = MovieSource::Open(file, movie);
    EXPECT_EQ(status, MediaStatus::ok) << file << ": " << MediaStatusName(status);
    return movie;
}

// Steps through the whole movie: every frame within tolerance of its
// expected frame, in order, then the end, which stays the end.
void ExpectFrames(const std::filesystem::path& file, const std::vector<Rgb8Picture>& frames, int tolerance)
{
    SCOPED_TRACE(file.filename().string());
    const auto movie = Opened(file);
    ASSERT_NE(movie, nullptr);
    const int w = frames.front().width, h = frames.front().height;
    EXPECT_EQ(movie->MovieBox(), MakeRect(0, 0, h, w));
    EXPECT_EQ(movie->FrameCount(), static_cast<int>(frames.size()));
    auto image = MakeImage(w, h);
    for (std::size_t k = 0; k < frames.size(); ++k) {
        EXPECT_EQ(movie->NextFrame(), static_cast<int>(k));
        ASSERT_EQ(movie->DecodeNextFrame(*image), MediaStatus::ok) << "frame " << k;
        EXPECT_LE(LargestDifference(*image, frames[k]), tolerance) << "frame " << k;
    }
    FillFlat(*image, 1, 2, 3);
    EXPECT_EQ(movie->DecodeNextFrame(*image), MediaStatus::endOfMovie);
    EXPECT_EQ(movie->DecodeNextFrame(*image), MediaStatus::endOfMovie);
    EXPECT_EQ(GetPixel(*image, 0, 0), (Argb{0xFF, 1, 2, 3}));  // untouched at the end
    EXPECT_EQ(movie->NextFrame(), static_cast<int>(frames.size()));
}

const char* kFfv1 = "-c:v ffv1 -pix_fmt bgr0";

}  // namespace

TEST(MovieSource, LosslessMoviesStepExactly)
{
    ScratchFolder dir;
    struct Case {
        int w, h, frames;
        const char* name;
    };
    for (const Case& c : {Case{33, 17, 8, "a.mov"}, Case{31, 19, 200, "b.avi"}, Case{1, 1, 9, "c.avi"},
                          Case{1, 13, 10, "d.mov"}, Case{13, 1, 10, "e.mkv"}, Case{64, 48, 12, "f.mov"}}) {
        const auto frames = BusyFrames(c.w, c.h, c.frames);
        const auto file = dir / c.name;
        std::string log;
        ASSERT_TRUE(MakeMovie(file, frames, kFfv1, &log)) << log;
        ExpectFrames(file, frames, 0);
    }
}

TEST(MovieSource, UncompressedCapturesStepExactly)
{
    ScratchFolder dir;
    struct Case {
        const char* options;
        const char* name;
        bool grey;
    };
    for (const Case& c : {Case{"-c:v rawvideo -pix_fmt bgr24", "bgr.avi", false},
                          Case{"-c:v rawvideo -pix_fmt rgb24", "rgb.mov", false},
                          Case{"-c:v rawvideo -pix_fmt gray", "grey.avi", true},
                          Case{"-c:v rawvideo -pix_fmt argb", "argb.mov", false}}) {
        for (auto [w, h] : std::vector<std::pair<int, int>>{{37, 21}, {1, 5}, {6, 1}}) {
            std::vector<Rgb8Picture> frames;
            for (int k = 0; k < 9; ++k)
                frames.push_back(Pattern8(w, h, 3 * k, c.grey));
            const auto file = dir / (std::to_string(w) + "x" + std::to_string(h) + c.name);
            std::string log;
            ASSERT_TRUE(MakeMovie(file, frames, c.options, &log)) << log;
            ExpectFrames(file, frames, 0);
        }
    }
}

TEST(MovieSource, AlphaIsDroppedWithoutCompositing)
{
    ScratchFolder dir;
    std::vector<Rgb8Picture> frames;
    std::vector<uint8_t> rgba;
    for (int k = 0; k < 6; ++k) {
        frames.push_back(Pattern8(19, 7, 11 * k));
        for (std::size_t i = 0; i < frames.back().rgb.size(); i += 3) {
            rgba.insert(rgba.end(), frames.back().rgb.begin() + static_cast<std::ptrdiff_t>(i),
                        frames.back().rgb.begin() + static_cast<std::ptrdiff_t>(i + 3));
            rgba.push_back(static_cast<uint8_t>((i / 3 * 37 + static_cast<std::size_t>(k)) % 256));
        }
    }
    WriteBytesFile(dir / "frames.rgba", rgba);
    for (const char* codec : {"png", "qtrle"}) {
        const auto file = dir / (std::string(codec) + ".mov");
        std::string log;
        ASSERT_TRUE(RunCommand("ffmpeg -v error -y -f rawvideo -pix_fmt rgba -s 19x7 -framerate 25 -i " +
                                   Quote(dir / "frames.rgba") + " -c:v " + codec + " -pix_fmt " +
                                   (std::string(codec) == "png" ? "rgba" : "argb") + " " + Quote(file),
                               &log))
            << log;
        ExpectFrames(file, frames, 0);
    }
}

TEST(MovieSource, MotionJpegWithinCompressionError)
{
    // 4:2:0 chroma, quantiser 2 and two colour-matrix roundings on smooth
    // ramps move a channel by a few levels; a neighbouring frame differs by 9.
    constexpr int kMotionJpegTolerance = 5;
    ScratchFolder dir;
    struct Case {
        int w, h, frames;
        const char* name;
    };
    for (const Case& c : {Case{65, 47, 25, "a.mov"}, Case{17, 9, 40, "b.avi"}, Case{160, 120, 8, "c.avi"}}) {
        const auto frames = SmoothFrames(c.w, c.h, c.frames);
        const auto file = dir / c.name;
        std::string log;
        ASSERT_TRUE(MakeMovie(file, frames, "-c:v mjpeg -q:v 2", &log)) << log;
        ExpectFrames(file, frames, kMotionJpegTolerance);
    }
}

TEST(MovieSource, ReorderedFramesCountAndComeInOrder)
{
    // MPEG-4 with B-frames: frames are stored out of order and the decoder
    // holds some back until the end. Quantiser 2 on smooth ramps, with
    // B-frames predicted from already rounded pictures, stays within 8; a
    // neighbouring frame differs by 9.
    constexpr int kMpeg4Tolerance = 8;
    ScratchFolder dir;
    for (const char* name : {"b.mov", "b.avi", "b.mp4"}) {
        const auto frames = SmoothFrames(66, 50, 30);
        const auto file = dir / name;
        std::string log;
        ASSERT_TRUE(MakeMovie(file, frames, "-c:v mpeg4 -bf 2 -g 12 -q:v 2", &log)) << log;
        ExpectFrames(file, frames, kMpeg4Tolerance);
    }
}

TEST(MovieSource, SeeksForwardAndBack)
{
    ScratchFolder dir;
    const auto frames = BusyFrames(21, 11, 20);
    for (const char* name : {"s.avi", "s.mov"}) {
        SCOPED_TRACE(name);
        const auto file = dir / name;
        std::string log;
        ASSERT_TRUE(MakeMovie(file, frames, kFfv1, &log)) << log;
        const auto movie = Opened(file);
        ASSERT_NE(movie, nullptr);
        auto image = MakeImage(21, 11);
        for (int target : {7, 3, 3, 0, 19, 12}) {
            ASSERT_EQ(movie->SeekToFrame(target), MediaStatus::ok) << target;
            EXPECT_EQ(movie->NextFrame(), target);
            ASSERT_EQ(movie->DecodeNextFrame(*image), MediaStatus::ok);
            EXPECT_EQ(LargestDifference(*image, frames[static_cast<std::size_t>(target)]), 0) << target;
        }
        EXPECT_EQ(movie->SeekToFrame(20), MediaStatus::ok);  // just past the last: nothing left to decode
        EXPECT_EQ(movie->DecodeNextFrame(*image), MediaStatus::endOfMovie);
        EXPECT_EQ(movie->SeekToFrame(25), MediaStatus::endOfMovie);
        ASSERT_EQ(movie->SeekToFrame(1), MediaStatus::ok);
        ASSERT_EQ(movie->DecodeNextFrame(*image), MediaStatus::ok);
        EXPECT_EQ(LargestDifference(*image, frames[1]), 0);
    }
}

TEST(MovieSource, RefusesWhatIsNoMovie)
{
    ScratchFolder dir;
    std::string log;
    // Sound only.
    ASSERT_TRUE(RunCommand("ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=0.3 -c:a pcm_s16le " +
                               Quote(dir / "sound.mov"),
                           &log))
        << log;
    // Single pictures, whatever their names.
    const auto picture = BusyFrames(16, 8, 1);
    ASSERT_TRUE(MakeMovie(dir / "picture.png", picture, "-frames:v 1", &log)) << log;
    std::filesystem::copy_file(dir / "picture.png", dir / "picture.mov");
    ASSERT_TRUE(MakeMovie(dir / "picture.jpg", picture, "-frames:v 1", &log)) << log;
    // Garbage, empty and missing files; the start of a movie without its frames.
    WriteBytesFile(dir / "garbage.mov", SeededBytes(50000, 3));
    WriteBytesFile(dir / "empty.avi", {});
    ASSERT_TRUE(MakeMovie(dir / "whole.avi", BusyFrames(16, 8, 10), kFfv1, &log)) << log;
    WriteTruncatedCopy(dir / "whole.avi", dir / "header.avi", 200);

    struct Case {
        const char* name;
        MediaStatus want;
    };
    for (const Case& c : {Case{"sound.mov", MediaStatus::noVideo}, Case{"picture.png", MediaStatus::unreadable},
                          Case{"picture.mov", MediaStatus::unreadable}, Case{"picture.jpg", MediaStatus::unreadable},
                          Case{"garbage.mov", MediaStatus::unreadable}, Case{"empty.avi", MediaStatus::unreadable},
                          Case{"missing.mov", MediaStatus::cannotOpen}}) {
        std::unique_ptr<MovieSource> movie;
        EXPECT_EQ(MovieSource::Open(dir / c.name, movie), c.want) << c.name;
        EXPECT_EQ(movie, nullptr);
    }
    std::unique_ptr<MovieSource> movie;
    EXPECT_NE(MovieSource::Open(dir / "header.avi", movie), MediaStatus::ok);
    EXPECT_EQ(movie, nullptr);
}

TEST(MovieSource, PictureCodecsFrameMustBeFilledByItsFile)
{
    ScratchFolder dir;
    std::string log;
    // A GIF animation of flat frames, as few bytes as its frames can take.
    const std::vector<Rgb8Picture> flat(3, Rgb8Picture{256, 256, std::vector<uint8_t>(256 * 256 * 3, 90)});
    ASSERT_TRUE(MakeMovie(dir / "flat.gif", flat, "", &log)) << log;
    std::unique_ptr<MovieSource> movie;
    EXPECT_EQ(MovieSource::Open(dir / "flat.gif", movie), MediaStatus::ok);
    // 35 bytes: a 2000 x 2000 screen over one pixel of image data, which
    // FFmpeg's decoder would allocate whole from the header.
    WriteBytesFile(dir / "screen.gif", {'G', 'I', 'F', '8', '9', 'a', 0xd0, 0x07, 0xd0, 0x07, 0x80, 0, 0, 0, 0, 0, 255,
                                        255, 255, 0x2c, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 0x01, 0, 0x3b});
    movie.reset();
    EXPECT_EQ(MovieSource::Open(dir / "screen.gif", movie), MediaStatus::damaged);
    EXPECT_EQ(movie, nullptr);
}

TEST(MovieSource, FrameSizeIsPutToTheCallerBeforeAnyFrameDecodes)
{
    ScratchFolder dir;
    std::string log;
    ASSERT_TRUE(MakeMovie(dir / "small.mkv", BusyFrames(40, 30, 2), kFfv1, &log)) << log;
    std::vector<std::pair<int, int>> asked;
    std::unique_ptr<MovieSource> movie;
    EXPECT_EQ(MovieSource::Open(dir / "small.mkv", movie,
                                [&](int width, int height) {
                                    asked.emplace_back(width, height);
                                    return false;
                                }),
              MediaStatus::declined);
    EXPECT_EQ(movie, nullptr);
    EXPECT_EQ(asked, (std::vector<std::pair<int, int>>{{40, 30}}));
}

TEST(MovieSource, TruncatedMovieEndsCleanly)
{
    ScratchFolder dir;
    const auto frames = BusyFrames(40, 30, 30);
    std::string log;
    ASSERT_TRUE(MakeMovie(dir / "whole.avi", frames, kFfv1, &log)) << log;
    ASSERT_TRUE(MakeMovie(dir / "whole.mkv", frames, kFfv1, &log)) << log;
    for (const char* name : {"whole.avi", "whole.mkv"}) {
        for (double fraction : {0.3, 0.6, 0.95}) {
            SCOPED_TRACE(std::string(name) + " cut to " + std::to_string(fraction));
            const auto whole = dir / name;
            const auto cut = dir / ("cut-" + std::string(name));
            WriteTruncatedCopy(whole, cut,
                               static_cast<std::uintmax_t>(std::filesystem::file_size(whole) * fraction));
            std::unique_ptr<MovieSource> movie;
            if (MovieSource::Open(cut, movie) != MediaStatus::ok) {
                EXPECT_EQ(movie, nullptr);
                continue;
            }
            // What is delivered is the movie's start, in order and intact,
            // and stepping ends without error.
            auto image = MakeImage(40, 30);
            int delivered = 0;
            while (movie->DecodeNextFrame(*image) == MediaStatus::ok) {
                ASSERT_LT(delivered, 30);
                EXPECT_EQ(LargestDifference(*image, frames[static_cast<std::size_t>(delivered)]), 0) << delivered;
                ++delivered;
            }
            EXPECT_GT(delivered, 0);
            EXPECT_LE(delivered, movie->FrameCount());
            EXPECT_EQ(movie->DecodeNextFrame(*image), MediaStatus::endOfMovie);
        }
    }
}

TEST(MovieSource, CaptureFilesOfEightAndSixteenBits)
{
    ScratchFolder dir;
    constexpr int kFrames = 12;
    std::vector<Rgb8Picture> busy;
    std::vector<Rgb16Picture> deep;
    for (int k = 0; k < kFrames; ++k) {
        busy.push_back(Pattern8(37, 21, 5 * k));
        deep.push_back(Pattern16(37, 21, 3 * k));
    }
    // Mono frames come in as grey (red = green = blue).
    std::vector<Rgb8Picture> busyGrey = busy, deepGrey8;
    for (auto& frame : busyGrey)
        for (std::size_t i = 0; i < frame.rgb.size(); i += 3)
            frame.rgb[i + 1] = frame.rgb[i + 2] = frame.rgb[i];
    // 16-bit samples v must come out as round(v / 257).
    std::vector<Rgb8Picture> deepColour8;
    for (const auto& frame : deep) {
        Rgb8Picture narrow{frame.width, frame.height, std::vector<uint8_t>(frame.rgb.size())};
        for (std::size_t i = 0; i < frame.rgb.size(); ++i)
            narrow.rgb[i] = static_cast<uint8_t>(static_cast<int>(frame.rgb[i] / 257.0 + 0.5));
        deepColour8.push_back(narrow);
        for (std::size_t i = 0; i < narrow.rgb.size(); i += 3)
            narrow.rgb[i + 1] = narrow.rgb[i + 2] = narrow.rgb[i];
        deepGrey8.push_back(narrow);
    }
    WriteSer(dir / "mono8.ser", busy, {}, 8, false);
    ExpectFrames(dir / "mono8.ser", busyGrey, 0);
    WriteSer(dir / "colour8.ser", busy, {}, 8, true);
    ExpectFrames(dir / "colour8.ser", busy, 0);
    WriteSer(dir / "mono16.ser", {}, deep, 16, false);
    ExpectFrames(dir / "mono16.ser", deepGrey8, 0);
    WriteSer(dir / "colour16.ser", {}, deep, 16, true);
    ExpectFrames(dir / "colour16.ser", deepColour8, 0);

    // The same 16-bit data kept losslessly in a movie container.
    std::vector<uint8_t> bytes;
    for (const auto& frame : deep)
        for (std::size_t i = 0; i < frame.rgb.size(); i += 3) {
            bytes.push_back(static_cast<uint8_t>(frame.rgb[i] >> 8));
            bytes.push_back(static_cast<uint8_t>(frame.rgb[i] & 0xFF));
        }
    WriteBytesFile(dir / "grey16.raw", bytes);
    std::string log;
    ASSERT_TRUE(RunCommand("ffmpeg -v error -y -f rawvideo -pix_fmt gray16be -s 37x21 -framerate 25 -i " +
                               Quote(dir / "grey16.raw") + " -c:v ffv1 -pix_fmt gray16le " + Quote(dir / "grey16.mkv"),
                           &log))
        << log;
    ExpectFrames(dir / "grey16.mkv", deepGrey8, 0);
}
