// bench/files/WorkspaceBench.cpp: saving and reading a workspace of sixteen
// 640 × 480 clips with a dark and a flat frame, raw and as pictures, against
// references in the same run: the same number of bytes written through the
// same replacing save (one buffer, flushed and renamed), and the same file
// read whole with one read.
//
// Prints one line per case after Google Benchmark's own table:
//   workspace <case> ms=<median> bytes=<file size> vs_plain=<ratio against the reference of that size>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <unistd.h>

#include "files/ReplacingSave.h"
#include "files/WorkspaceFile.h"
#include "platform/core/GWorldWrapper.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kClips = 16;
constexpr int kRepetitions = 5;

std::map<std::string, std::vector<double>> sRuns; // milliseconds per run, by case
std::map<std::string, uint64_t> sSizes;           // file bytes, by case

// A star field: a smooth background with seeded noise, as clips look.
std::unique_ptr<GWorldWrapper> Clip(uint32_t seed)
{
    auto image = std::make_unique<GWorldWrapper>(32, MakeRect(0, 0, kHeight, kWidth), -1);
    uint32_t s = seed * 2654435761u + 1;
    for (int y = 0; y < kHeight; ++y) {
        uint8_t* p = image->PixelRow(y);
        for (int x = 0; x < kWidth; ++x, p += 4) {
            s = s * 1664525u + 1013904223u;
            const int noise = static_cast<int>(s >> 29);
            p[1] = static_cast<uint8_t>(20 + (x + y) / 40 + noise);
            p[2] = static_cast<uint8_t>(18 + (x + y) / 45 + noise);
            p[3] = static_cast<uint8_t>(25 + (x + y) / 50 + noise);
        }
    }
    return image;
}

struct Document {
    std::vector<std::unique_ptr<GWorldWrapper>> clips;
    std::unique_ptr<GWorldWrapper> dark = Clip(1000), flat = Clip(2000);
    std::vector<uint8_t> mask = std::vector<uint8_t>(static_cast<std::size_t>(kWidth) * kHeight, 0);

    Document()
    {
        for (int i = 0; i < kClips; ++i)
            clips.push_back(Clip(static_cast<uint32_t>(i + 1)));
    }
    WorkspaceWriteRequest Request(bool asPictures) const
    {
        WorkspaceWriteRequest r;
        r.header.asPictures = asPictures;
        r.header.numClips = kClips;
        r.header.width = kWidth;
        r.header.height = kHeight;
        r.mask = mask.data();
        r.dark = dark.get();
        r.flat = flat.get();
        r.clips = [this](int i, WorkspaceClipRecord&, const std::function<bool(const GWorldWrapper&)>& put) {
            return put(*clips[static_cast<std::size_t>(i)]);
        };
        return r;
    }
};

std::string Folder()
{
    static const std::string folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "velmora-wsbench-XXXXXX").string();
        return std::string(mkdtemp(pattern.data()) ? pattern : std::string());
    }();
    return folder;
}

template <typename Body> void Timed(benchmark::State& state, const std::string& name, Body body)
{
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        body();
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        sRuns[name].push_back(ms);
        state.SetIterationTime(ms / 1000.0);
    }
}

const Document& TheDocument()
{
    static const Document sDocument;
    return sDocument;
}

std::string PathOf(bool asPictures)
{
    return Folder() + (asPictures ? "/pictures.work" : "/raw.work");
}

void Save(benchmark::State& state, bool asPictures)
{
    const std::string name = asPictures ? "save_pictures" : "save_raw";
    Timed(state, name, [&] {
        if (WriteWorkspaceFile(PathOf(asPictures), TheDocument().Request(asPictures)) != WorkspaceWriteStatus::ok)
            state.SkipWithError("save failed");
    });
    sSizes[name] = std::filesystem::file_size(PathOf(asPictures));
}

void Read(benchmark::State& state, bool asPictures)
{
    const std::string name = asPictures ? "read_pictures" : "read_raw";
    Timed(state, name, [&] {
        WorkspaceContents contents;
        int clips = 0;
        if (ReadWorkspaceFile(PathOf(asPictures), &contents,
                              [&clips](const WorkspaceClipRecord&, std::unique_ptr<GWorldWrapper> image) {
                                  benchmark::DoNotOptimize(image.get());
                                  ++clips;
                              }) != WorkspaceReadStatus::ok ||
            clips != kClips)
            state.SkipWithError("read failed");
    });
    sSizes[name] = std::filesystem::file_size(PathOf(asPictures));
}

// The same bytes through the same replacing save in one buffer, and read
// back whole in one read.
void PlainSave(benchmark::State& state, bool asPictures)
{
    std::ifstream in(PathOf(asPictures), std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string path = Folder() + "/plain";
    Timed(state, asPictures ? "plain_save_pictures" : "plain_save_raw", [&] {
        if (!WriteFileReplacing(path, bytes.data(), bytes.size()))
            state.SkipWithError("plain save failed");
    });
}

void PlainRead(benchmark::State& state, bool asPictures)
{
    const std::string path = PathOf(asPictures);
    Timed(state, asPictures ? "plain_read_pictures" : "plain_read_raw", [&] {
        std::vector<char> bytes(std::filesystem::file_size(path));
        std::ifstream in(path, std::ios::binary);
        in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        benchmark::DoNotOptimize(bytes.data());
    });
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (Folder().empty())
        return 1;
    (void)TheDocument();
    for (bool pictures : {false, true}) {
        const std::string kind = pictures ? "pictures" : "raw";
        // The save runs first: the others use its file.
        benchmark::RegisterBenchmark(("save_" + kind).c_str(), [pictures](benchmark::State& s) { Save(s, pictures); })
            ->UseManualTime()
            ->Iterations(1)
            ->Repetitions(kRepetitions);
        benchmark::RegisterBenchmark(("plain_save_" + kind).c_str(),
                                     [pictures](benchmark::State& s) { PlainSave(s, pictures); })
            ->UseManualTime()
            ->Iterations(1)
            ->Repetitions(kRepetitions);
        benchmark::RegisterBenchmark(("read_" + kind).c_str(), [pictures](benchmark::State& s) { Read(s, pictures); })
            ->UseManualTime()
            ->Iterations(1)
            ->Repetitions(kRepetitions);
        benchmark::RegisterBenchmark(("plain_read_" + kind).c_str(),
                                     [pictures](benchmark::State& s) { PlainRead(s, pictures); })
            ->UseManualTime()
            ->Iterations(1)
            ->Repetitions(kRepetitions);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    for (const char* kind : {"raw", "pictures"}) {
        for (const char* op : {"save", "read"}) {
            const std::string name = std::string(op) + "_" + kind;
            const double ms = Median(sRuns[name]);
            const double plain = Median(sRuns["plain_" + name]);
            std::printf("workspace %dx%d x%d %s ms=%.1f bytes=%llu vs_plain=%.2f\n", kWidth, kHeight, kClips,
                        name.c_str(), ms, static_cast<unsigned long long>(sSizes[name]), plain > 0 ? ms / plain : 0.0);
        }
    }
    std::error_code ec;
    std::filesystem::remove_all(Folder(), ec);
    return 0;
}
