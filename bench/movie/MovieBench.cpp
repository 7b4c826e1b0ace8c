// bench/MovieBench.cpp: movie decoding into the program's image against the
// ffmpeg program decoding the same file and converting every frame to the
// image's 32-bit layout (ARGB, by swscale, as the program does) to nowhere,
// in the same run.
// Prints one line a file:
//   movie_decode <file> velmora_fps=<x> ffmpeg_fps=<y> ratio=<x/y>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "bench/support/BenchSession.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/qt/MovieSource.h"

namespace {

constexpr int kRuns = 3; // the best of three runs counts for each side

std::string Quote(const std::filesystem::path& path)
{
    std::string quoted = "'";
    quoted += path.string();
    quoted += "'";
    return quoted;
}

// Frames a second of our decoding: every frame converted into the image.
double VelmoraFps(const std::filesystem::path& file, int* frames)
{
    double best = 0.0;
    for (int run = 0; run < kRuns; ++run) {
        std::unique_ptr<MovieSource> movie;
        if (MovieSource::Open(file, movie) != MediaStatus::ok) {
            std::fprintf(stderr, "movie_decode: cannot open %s\n", file.c_str());
            return 0.0;
        }
        GWorldWrapper image(32, movie->MovieBox(), -1);
        const auto start = std::chrono::steady_clock::now();
        int decoded = 0;
        while (movie->DecodeNextFrame(image) == MediaStatus::ok)
            ++decoded;
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        *frames = decoded;
        best = std::max(best, decoded / seconds);
    }
    return best;
}

// Frames a second of `ffmpeg -f null`, from the decoding time it reports
// itself (-benchmark's rtime), so start-up does not count against it. Each
// frame is converted to ARGB on the way, by the scale filter with the
// program's swscale flags (bilinear) on one filter thread, as the program
// converts each frame on its reading thread; the decoder picks its own
// thread count on both sides.
double FfmpegFps(const std::filesystem::path& file, int frames)
{
    double best = 0.0;
    for (int run = 0; run < kRuns; ++run) {
        const std::string command =
            "ffmpeg -hide_banner -nostdin -benchmark -filter_threads 1 -i " + Quote(file) +
            " -vf scale=flags=bilinear,format=argb -f null - 2>&1 | grep -o 'rtime=[0-9.]*s'";
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe)
            return 0.0;
        std::array<char, 256> line{};
        double seconds = 0.0;
        if (std::fgets(line.data(), line.size(), pipe))
            seconds = std::atof(line.data() + 6);
        pclose(pipe);
        if (seconds > 0.0)
            best = std::max(best, frames / seconds);
    }
    return best;
}

bool Make(const std::string& arguments, const std::filesystem::path& out)
{
    const std::string command = "ffmpeg -v error -y -nostdin " + arguments + " " + Quote(out);
    return std::system(command.c_str()) == 0;
}

} // namespace

int main()
{
    const auto dir = MakeScratchFolder("velmora-movie-bench");
    if (dir.empty()) {
        std::fprintf(stderr, "movie_decode: no scratch folder\n");
        return 1;
    }
    struct Movie {
        const char* name;
        const char* arguments;
    };
    // Typical captures: compressed colour, lossless colour, and an
    // uncompressed planetary-camera stream.
    const Movie movies[] = {
        {"mjpeg_1280x720.avi", "-f lavfi -i testsrc2=size=1280x720:rate=25 -frames:v 300 -c:v mjpeg -q:v 3"},
        {"ffv1_640x480.mov", "-f lavfi -i testsrc2=size=640x480:rate=25 -frames:v 300 -c:v ffv1 -pix_fmt bgr0"},
        {"raw_640x480.avi", "-f lavfi -i testsrc2=size=640x480:rate=25 -frames:v 600 -c:v rawvideo -pix_fmt bgr24"},
        {"h264_1280x720.mp4", "-f lavfi -i testsrc2=size=1280x720:rate=25 -frames:v 300 -c:v libx264 -preset fast"},
    };
    int status = 0;
    for (const Movie& m : movies) {
        const auto file = dir / m.name;
        if (!Make(m.arguments, file)) {
            std::fprintf(stderr, "movie_decode: ffmpeg could not write %s\n", m.name);
            status = 1;
            continue;
        }
        int frames = 0;
        const double ours = VelmoraFps(file, &frames);
        const double theirs = FfmpegFps(file, frames);
        std::printf("movie_decode %s velmora_fps=%.1f ffmpeg_fps=%.1f ratio=%.2f\n", m.name, ours, theirs,
                    theirs > 0.0 ? ours / theirs : 0.0);
        std::fflush(stdout);
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return status;
}
