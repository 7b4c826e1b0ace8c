// tests/unit/PictureOrMovieTest.cpp: the picture-or-movie rule for opened
// files, by name and by content.
#include "platform/qt/PictureOrMovie.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "MediaFixtures.h"

TEST(PictureOrMovie, NamesEndingInLowerCaseMovMarkMovies)
{
    EXPECT_TRUE(NameMarksMovie("a.mov"));
    EXPECT_TRUE(NameMarksMovie("mov"));
    EXPECT_TRUE(NameMarksMovie("capturemov"));  // the last three bytes, not an extension
    EXPECT_FALSE(NameMarksMovie("a.MOV"));
    EXPECT_FALSE(NameMarksMovie("a.Mov"));
    EXPECT_FALSE(NameMarksMovie("ov"));
    EXPECT_FALSE(NameMarksMovie(""));
    EXPECT_FALSE(NameMarksMovie("a.mov "));
    EXPECT_FALSE(NameMarksMovie("a.mova"));
    EXPECT_FALSE(NameMarksMovie("a.avi"));
}

class PictureOrMovieFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string log;
        picture = {Pattern8(23, 11, 1)};
        ASSERT_TRUE(MakeMovie(dir / "picture.png", picture, "-frames:v 1", &log)) << log;
        std::vector<Rgb8Picture> frames;
        for (int k = 0; k < 8; ++k)
            frames.push_back(Pattern8(35, 21, k));
        ASSERT_TRUE(MakeMovie(dir / "movie.avi", frames, "-c:v ffv1 -pix_fmt bgr0", &log)) << log;
    }

    // A copy of one of the fixtures under another name.
    std::filesystem::path Copy(const std::string& from, const std::string& to)
    {
        std::filesystem::copy_file(dir / from, dir / to);
        return dir / to;
    }

    ScratchFolder dir;
    std::vector<Rgb8Picture> picture;
};

TEST_F(PictureOrMovieFiles, ContentDecidesUnlessTheNameMarksAMovie)
{
    struct Case {
        std::string from, name;
        MediaStatus status;
        MediaKind kind;
    };
    const std::vector<Case> cases = {
        {"picture.png", "p.png", MediaStatus::ok, MediaKind::picture},
        {"picture.png", "p.MOV", MediaStatus::ok, MediaKind::picture},  // probed first, a picture
        {"picture.png", "noextension", MediaStatus::ok, MediaKind::picture},
        {"picture.png", "ov", MediaStatus::ok, MediaKind::picture},
        {"picture.png", "p.mov", MediaStatus::unreadable, MediaKind::picture},  // straight to the movie opener
        {"picture.png", "mov", MediaStatus::unreadable, MediaKind::picture},
        {"movie.avi", "m.avi", MediaStatus::ok, MediaKind::movie},  // no picture decoder takes it
        {"movie.avi", "m.MOV", MediaStatus::ok, MediaKind::movie},
        {"movie.avi", "m.mov", MediaStatus::ok, MediaKind::movie},
        {"movie.avi", "m.png", MediaStatus::ok, MediaKind::movie},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OpenedMedia media;
        const MediaStatus status = OpenPictureOrMovie(Copy(c.from, c.name), &media);
        EXPECT_EQ(status, c.status) << MediaStatusName(status);
        if (status != MediaStatus::ok) {
            EXPECT_EQ(media.movie, nullptr);
            continue;
        }
        EXPECT_EQ(media.kind, c.kind);
        if (c.kind == MediaKind::picture) {
            EXPECT_EQ(media.frame, MakeRect(0, 0, 11, 23));
            EXPECT_EQ(media.movie, nullptr);
        } else {
            ASSERT_NE(media.movie, nullptr);
            EXPECT_EQ(media.frame, MakeRect(0, 0, 21, 35));
            EXPECT_EQ(media.movie->FrameCount(), 8);
        }
    }
}

TEST_F(PictureOrMovieFiles, NeitherPictureNorMovieFails)
{
    WriteBytesFile(dir / "garbage.jpg", SeededBytes(3000, 4));
    WriteBytesFile(dir / "garbage.mov", SeededBytes(3000, 5));
    WriteBytesFile(dir / "empty", {});
    for (const std::string name : {"garbage.jpg", "garbage.mov", "empty"}) {
        OpenedMedia media;
        EXPECT_EQ(OpenPictureOrMovie(dir / name, &media), MediaStatus::unreadable) << name;
        EXPECT_EQ(media.movie, nullptr);
    }
    OpenedMedia media;
    // A GIF the picture probe refuses (its 11621 x 14081 screen over a first
    // image without data) is not handed on to the movie decoders.
    WriteBytesFile(dir / "screen.gif", {'G',  'I', 'F', '8',  '9',  'a',  0x65, 0x2d, 0x01, 0x37, 0,    0, 0,
                                        0x2c, 0,   0,   0xda, 0x70, 0x65, 0x2d, 0xe8, 0x03, 0,    0x02, 0, 0x3b});
    EXPECT_EQ(OpenPictureOrMovie(dir / "screen.gif", &media), MediaStatus::damaged);
    EXPECT_EQ(media.movie, nullptr);
    EXPECT_EQ(OpenPictureOrMovie(dir / "missing.png", &media), MediaStatus::cannotOpen);
    EXPECT_EQ(OpenPictureOrMovie(dir / "missing.mov", &media), MediaStatus::cannotOpen);
}
