// tests/unit/MediaFixtures.h: picture and movie files made by the tests with
// known pixels, through Qt, ImageMagick's convert and the ffmpeg program.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// A scratch folder removed with the object.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    std::filesystem::path operator/(const std::string& name) const { return mPath / name; }
    const std::filesystem::path& Path() const { return mPath; }

private:
    std::filesystem::path mPath;
};

// Pixels as bytes red, green, blue (8-bit) or as 16-bit values, rows top first.
struct Rgb8Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;  // 3 bytes a pixel
    uint8_t At(int x, int y, int c) const { return rgb[(static_cast<std::size_t>(y) * width + x) * 3 + c]; }
};
struct Rgb16Picture {
    int width = 0, height = 0;
    std::vector<uint16_t> rgb;  // 3 values a pixel
    uint16_t At(int x, int y, int c) const { return rgb[(static_cast<std::size_t>(y) * width + x) * 3 + c]; }
};

// A busy pattern: neighbouring pixels and channels differ, and 0 and 255 occur
// in every picture of at least 2x2 pixels. grey gives red = green = blue.
Rgb8Picture Pattern8(int width, int height, int seed, bool grey = false);
// Values over the whole 16-bit range, including 0, 65535 and the values
// either side of each rounding step (257k + 128 and 257k + 129).
Rgb16Picture Pattern16(int width, int height, int seed, bool grey = false);
// A smooth picture for lossy formats: slow ramps in every channel.
Rgb8Picture Smooth8(int width, int height);

// Raw files in ImageMagick's "rgb:" and "gray:" layouts (16-bit big-endian).
void WriteRaw(const std::filesystem::path& file, const Rgb8Picture& picture, bool grey);
void WriteRaw(const std::filesystem::path& file, const Rgb16Picture& picture, bool grey);

// A Targa file written here byte by byte: type 2 (colour) or 3 (grey),
// type 10 or 11 with run-length packets when rle, rows top first when
// topOrigin, else bottom first (the format's default).
void WriteTga(const std::filesystem::path& file, const Rgb8Picture& picture, bool grey, bool rle, bool topOrigin);

// Encodes frames (all of one size) with the ffmpeg program: raw RGB in,
// then codecOptions (for example "-c:v ffv1 -pix_fmt bgr0"), then out.
bool MakeMovie(const std::filesystem::path& out, const std::vector<Rgb8Picture>& frames,
               const std::string& codecOptions, std::string* log = nullptr);

// A SER capture file (the planetary cameras' format) written byte by byte:
// the 178-byte header, then the frames, samples little-endian. colour gives
// RGB frames (colour ID 100), otherwise mono (ID 0) frames of the red
// channel. depth is 8 or 16 (16-bit frames from frames16, 8-bit from frames8).
void WriteSer(const std::filesystem::path& file, const std::vector<Rgb8Picture>& frames8,
              const std::vector<Rgb16Picture>& frames16, int depth, bool colour);

// Runs a shell command; true when it exits with 0. Output goes to a log in
// the scratch folder and is returned in *log on failure.
bool RunCommand(const std::string& command, std::string* log = nullptr);
std::string Quote(const std::filesystem::path& path);

// ImageMagick's real convert (the PATH may hold a stand-in of the same name).
std::string ConvertProgram();

// Copies the first `bytes` bytes of from into to.
void WriteTruncatedCopy(const std::filesystem::path& from, const std::filesystem::path& to, std::uintmax_t bytes);
void WriteBytesFile(const std::filesystem::path& file, const std::vector<uint8_t>& bytes);
// Bytes from a fixed seed.
std::vector<uint8_t> SeededBytes(std::size_t count, uint32_t seed);
