// tests/unit/MediaFixtures.cpp: scratch folders, known pictures and the
// external programs that write test files.
#include "MediaFixtures.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>

#include <unistd.h>

ScratchFolder::ScratchFolder()
{
    static std::atomic<int> counter{0};
    mPath = std::filesystem::temp_directory_path() /
            ("velmora-media-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(mPath);
}

ScratchFolder::~ScratchFolder()
{
    std::error_code ignored;  // a folder left behind is harmless
    std::filesystem::remove_all(mPath, ignored);
}

Rgb8Picture Pattern8(int width, int height, int seed, bool grey)
{
    Rgb8Picture p{width, height, std::vector<uint8_t>(static_cast<std::size_t>(width) * height * 3)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* q = &p.rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            q[0] = static_cast<uint8_t>(x * 37 + y * 11 + seed);
            q[1] = static_cast<uint8_t>(x * 5 + y * 53 + 2 * seed + 7);
            q[2] = static_cast<uint8_t>(x * x + y * 3 + 13 * seed);
            if ((x + y) % 7 == 3)
                q[1] = 0;
            if ((x + 2 * y) % 5 == 1)
                q[2] = 255;
            if (grey)
                q[1] = q[2] = q[0];
        }
    if (width >= 2 && height >= 2) {
        for (int c = 0; c < 3; ++c) {
            p.rgb[c] = 0;
            p.rgb[static_cast<std::size_t>(width) * 3 * (height - 1) + 3 * (width - 1) + c] = 255;
        }
    }
    return p;
}

Rgb16Picture Pattern16(int width, int height, int seed, bool grey)
{
    static const uint16_t kSteps[] = {0, 65535, 128, 129, 257 * 3 + 128, 257 * 3 + 129, 257 * 254 + 128, 257 * 254 + 129};
    Rgb16Picture p{width, height, std::vector<uint16_t>(static_cast<std::size_t>(width) * height * 3)};
    std::size_t i = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c, ++i) {
                const uint32_t h = (static_cast<uint32_t>(x) * 7919u + static_cast<uint32_t>(y) * 104729u +
                                    static_cast<uint32_t>(c + seed) * 31337u) * 2654435761u;
                p.rgb[i] = static_cast<uint16_t>(h >> 16);
                if ((x + y + c) % 4 == 0)
                    p.rgb[i] = kSteps[(x + 3 * y + c) % 8];
            }
    if (grey)
        for (std::size_t k = 0; k < p.rgb.size(); k += 3)
            p.rgb[k + 1] = p.rgb[k + 2] = p.rgb[k];
    return p;
}

Rgb8Picture Smooth8(int width, int height)
{
    Rgb8Picture p{width, height, std::vector<uint8_t>(static_cast<std::size_t>(width) * height * 3)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* q = &p.rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            q[0] = static_cast<uint8_t>(40 + std::min(x, 150));
            q[1] = static_cast<uint8_t>(50 + std::min(y, 150));
            q[2] = static_cast<uint8_t>(90 + std::min(x + y, 300) / 4);
        }
    return p;
}

void WriteTga(const std::filesystem::path& file, const Rgb8Picture& picture, bool grey, bool rle, bool topOrigin)
{
    const int channels = grey ? 1 : 3;
    std::vector<uint8_t> bytes(18, 0);
    bytes[2] = static_cast<uint8_t>((grey ? 3 : 2) + (rle ? 8 : 0));
    bytes[12] = static_cast<uint8_t>(picture.width & 0xFF);
    bytes[13] = static_cast<uint8_t>(picture.width >> 8);
    bytes[14] = static_cast<uint8_t>(picture.height & 0xFF);
    bytes[15] = static_cast<uint8_t>(picture.height >> 8);
    bytes[16] = static_cast<uint8_t>(8 * channels);
    bytes[17] = topOrigin ? 0x20 : 0x00;
    for (int row = 0; row < picture.height; ++row) {
        const int y = topOrigin ? row : picture.height - 1 - row;
        // Pixels of this row as stored: blue, green, red (or grey).
        std::vector<std::vector<uint8_t>> pixels;
        for (int x = 0; x < picture.width; ++x) {
            if (grey)
                pixels.push_back({picture.At(x, y, 0)});
            else
                pixels.push_back({picture.At(x, y, 2), picture.At(x, y, 1), picture.At(x, y, 0)});
        }
        if (!rle) {
            for (const auto& px : pixels)
                bytes.insert(bytes.end(), px.begin(), px.end());
            continue;
        }
        // Packets never cross a row: runs of equal pixels (up to 128) as run
        // packets, everything else as raw packets of one pixel.
        for (std::size_t x = 0; x < pixels.size();) {
            std::size_t run = 1;
            while (x + run < pixels.size() && run < 128 && pixels[x + run] == pixels[x])
                ++run;
            if (run > 1) {
                bytes.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
                bytes.insert(bytes.end(), pixels[x].begin(), pixels[x].end());
            } else {
                bytes.push_back(0);
                bytes.insert(bytes.end(), pixels[x].begin(), pixels[x].end());
            }
            x += run;
        }
    }
    WriteBytesFile(file, bytes);
}

void WriteRaw(const std::filesystem::path& file, const Rgb8Picture& picture, bool grey)
{
    std::vector<uint8_t> bytes;
    for (std::size_t i = 0; i < picture.rgb.size(); i += 3)
        for (int c = 0; c < (grey ? 1 : 3); ++c)
            bytes.push_back(picture.rgb[i + c]);
    WriteBytesFile(file, bytes);
}

void WriteRaw(const std::filesystem::path& file, const Rgb16Picture& picture, bool grey)
{
    std::vector<uint8_t> bytes;
    for (std::size_t i = 0; i < picture.rgb.size(); i += 3)
        for (int c = 0; c < (grey ? 1 : 3); ++c) {
            bytes.push_back(static_cast<uint8_t>(picture.rgb[i + c] >> 8));
            bytes.push_back(static_cast<uint8_t>(picture.rgb[i + c] & 0xFF));
        }
    WriteBytesFile(file, bytes);
}

std::string Quote(const std::filesystem::path& path)
{
    std::string quoted = "'";
    for (char ch : path.string()) {
        if (ch == '\'')
            quoted += "'\\''";
        else
            quoted += ch;
    }
    return quoted + "'";
}

bool RunCommand(const std::string& command, std::string* log)
{
    static std::atomic<int> counter{0};
    const auto logFile = std::filesystem::temp_directory_path() /
                         ("velmora-media-cmd-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + ".log");
    const int status = std::system((command + " >" + Quote(logFile) + " 2>&1 </dev/null").c_str());
    if (status != 0 && log) {
        std::ifstream in(logFile);
        std::stringstream text;
        text << in.rdbuf();
        *log = command + "\n" + text.str();
    }
    std::error_code ignored;
    std::filesystem::remove(logFile, ignored);
    return status == 0;
}

std::string ConvertProgram()
{
    return std::filesystem::exists("/usr/bin/convert-im6.q16") ? "/usr/bin/convert-im6.q16" : "/usr/bin/convert";
}

void WriteTruncatedCopy(const std::filesystem::path& from, const std::filesystem::path& to, std::uintmax_t bytes)
{
    std::ifstream in(from, std::ios::binary);
    std::vector<uint8_t> data(bytes);
    in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(bytes));
    data.resize(static_cast<std::size_t>(in.gcount()));
    WriteBytesFile(to, data);
}

void WriteBytesFile(const std::filesystem::path& file, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> SeededBytes(std::size_t count, uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(count);
    for (auto& b : bytes)
        b = static_cast<uint8_t>(random() >> 24);
    return bytes;
}

bool MakeMovie(const std::filesystem::path& out, const std::vector<Rgb8Picture>& frames,
               const std::string& codecOptions, std::string* log)
{
    const auto raw = out.parent_path() / (out.filename().string() + ".rgb");
    std::vector<uint8_t> bytes;
    for (const Rgb8Picture& frame : frames)
        bytes.insert(bytes.end(), frame.rgb.begin(), frame.rgb.end());
    WriteBytesFile(raw, bytes);
    const std::string size = std::to_string(frames.front().width) + "x" + std::to_string(frames.front().height);
    const bool made = RunCommand("ffmpeg -v error -y -f rawvideo -pix_fmt rgb24 -s " + size + " -framerate 25 -i " +
                                     Quote(raw) + " " + codecOptions + " " + Quote(out),
                                 log);
    std::error_code ignored;
    std::filesystem::remove(raw, ignored);
    return made;
}

void WriteSer(const std::filesystem::path& file, const std::vector<Rgb8Picture>& frames8,
              const std::vector<Rgb16Picture>& frames16, int depth, bool colour)
{
    const int count = static_cast<int>(depth == 16 ? frames16.size() : frames8.size());
    const int width = depth == 16 ? frames16.front().width : frames8.front().width;
    const int height = depth == 16 ? frames16.front().height : frames8.front().height;
    const std::string id = "LUCAM-RECORDER";
    std::vector<uint8_t> bytes(id.begin(), id.end());
    auto put32 = [&bytes](int32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
    };
    put32(0);                  // LuID
    put32(colour ? 100 : 0);   // ColorID: RGB or mono
    put32(1);                  // LittleEndian
    put32(width);
    put32(height);
    put32(depth);              // PixelDepthPerPlane
    put32(count);              // FrameCount
    bytes.resize(bytes.size() + 3 * 40 + 2 * 8, 0);  // observer, instrument, telescope, two times
    for (int k = 0; k < count; ++k)
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < (colour ? 3 : 1); ++c) {
                    if (depth == 16) {
                        const uint16_t v = frames16[static_cast<std::size_t>(k)].At(x, y, c);
                        bytes.push_back(static_cast<uint8_t>(v & 0xFF));
                        bytes.push_back(static_cast<uint8_t>(v >> 8));
                    } else {
                        bytes.push_back(frames8[static_cast<std::size_t>(k)].At(x, y, c));
                    }
                }
    WriteBytesFile(file, bytes);
}
