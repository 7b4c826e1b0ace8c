// platform/qt/PictureOrMovie.cpp: the picture-or-movie rule for opened files.
#include "platform/qt/PictureOrMovie.h"

#include <string>
#include <utility>

#include "platform/qt/PictureDecoder.h"

bool NameMarksMovie(std::string_view fileName)
{
    return fileName.size() >= 3 && fileName.substr(fileName.size() - 3) == "mov";
}

namespace {

MediaStatus OpenMovie(const std::filesystem::path& file, OpenedMedia* media, const FrameSizeCheck& sizeAccepted)
{
    std::unique_ptr<MovieSource> movie;
    const MediaStatus status = MovieSource::Open(file, movie, sizeAccepted);
    if (status != MediaStatus::ok)
        return status;
    media->kind = MediaKind::movie;
    media->frame = movie->MovieBox();
    media->movie = std::move(movie);
    return MediaStatus::ok;
}

}  // namespace

MediaStatus OpenPictureOrMovie(const std::filesystem::path& file, OpenedMedia* media,
                               const FrameSizeCheck& movieSizeAccepted)
{
    const std::string name = file.filename().string();
    if (NameMarksMovie(name))
        return OpenMovie(file, media, movieSizeAccepted);

    Rect frame;
    const MediaStatus picture = ProbePicture(file, &frame);
    if (picture == MediaStatus::ok) {
        media->kind = MediaKind::picture;
        media->frame = frame;
        media->movie.reset();
        return MediaStatus::ok;
    }
    // A file a picture decoder took and found at fault is that picture, not
    // a movie: FFmpeg's movie decoders would read it with none of the
    // picture decoders' checks (a GIF's logical screen, for one).
    if (picture == MediaStatus::cannotOpen || picture == MediaStatus::damaged)
        return picture;
    const MediaStatus movie = OpenMovie(file, media, movieSizeAccepted);
    if (movie == MediaStatus::ok)
        return movie;
    return movie == MediaStatus::unreadable ? picture : movie;
}
