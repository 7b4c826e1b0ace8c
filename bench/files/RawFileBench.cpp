// bench/files/RawFileBench.cpp: raw stack import of a 4091 × 3000 file, read
// whole and converted in memory, against two references in the same run: a
// memory copy of the same bytes (the floor) and reading it one sample at a
// time with stdio (how a per-sample reader behaves).
//
// Prints one line per case after Google Benchmark's own table:
//   raw <case> read_decode_ms=<median> vs_per_sample=<ratio> decode_ms=<median> decode_vs_memcpy=<ratio>
// The memory copy moves 24 MB (the 2-byte interleaved file's size); reading is
// bound by the file system, so the decode is also timed on its own.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <unistd.h>

#include "files/RawFile.h"
#include "platform/core/ByteOrder.h"

namespace {

constexpr int kWidth = 4091;
constexpr int kHeight = 3000;
constexpr int kRepetitions = 5;
constexpr std::size_t kPixels = static_cast<std::size_t>(kWidth) * kHeight;

std::map<std::string, std::vector<double>> sRuns; // milliseconds per run, by case

RawImportParams Params(int bytes, bool interleaved, bool bigEndian)
{
    RawImportParams p;
    p.width = kWidth;
    p.height = kHeight;
    p.sampleBytes = bytes;
    p.interleaved = interleaved;
    p.bigEndian = bigEndian;
    return p;
}

std::vector<uint8_t> Bytes(std::size_t n)
{
    std::vector<uint8_t> bytes(n);
    uint32_t s = 1;
    for (auto& b : bytes) {
        s = s * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(s >> 24);
    }
    return bytes;
}

std::string FileOf(const RawImportParams& p)
{
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("velmora-rawbench-" + std::to_string(getpid()) + "-" + std::to_string(p.sampleBytes)))
                                 .string();
    if (!std::filesystem::exists(path)) {
        const std::vector<uint8_t> bytes = Bytes(RawFileLength(p));
        FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    return path;
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

void MemcpyReference(benchmark::State& state)
{
    const std::vector<uint8_t> src = Bytes(kPixels * 3 * 2);
    std::vector<uint8_t> dst(src.size());
    Timed(state, "memcpy", [&] {
        std::memcpy(dst.data(), src.data(), src.size());
        benchmark::DoNotOptimize(dst.data());
    });
}

// One fread per sample into the planes, byte-swapped as needed.
void PerSampleReference(benchmark::State& state)
{
    const RawImportParams p = Params(2, true, !BigEndianSystem());
    const std::string path = FileOf(p);
    std::vector<int32_t> planes[3] = {std::vector<int32_t>(kPixels), std::vector<int32_t>(kPixels),
                                      std::vector<int32_t>(kPixels)};
    Timed(state, "per_sample", [&] {
        FILE* f = std::fopen(path.c_str(), "rb");
        for (std::size_t i = 0; i < kPixels; ++i)
            for (int c = 0; c < 3; ++c) {
                uint16_t v = 0;
                if (std::fread(&v, 2, 1, f) != 1)
                    break;
                FlipEndian(v);
                planes[c][i] = v;
            }
        std::fclose(f);
        benchmark::DoNotOptimize(planes[0].data());
    });
}

void ReadAndDecode(benchmark::State& state, const std::string& name, RawImportParams p)
{
    const std::string path = FileOf(p);
    std::vector<int32_t> planes[3] = {std::vector<int32_t>(kPixels), std::vector<int32_t>(kPixels),
                                      std::vector<int32_t>(kPixels)};
    Timed(state, name, [&] {
        std::vector<uint8_t> bytes;
        if (ReadRawFile(path, p, bytes) != RawReadResult::ok)
            state.SkipWithError("raw read failed");
        const auto start = std::chrono::steady_clock::now();
        if (!DecodeRawSamples(bytes.data(), bytes.size(), p, planes[0].data(), planes[1].data(), planes[2].data()))
            state.SkipWithError("raw decode failed");
        sRuns[name + "_decode"].push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        benchmark::DoNotOptimize(planes[0].data());
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
    const bool swap = !BigEndianSystem(); // big-endian files on this host need swapping
    benchmark::RegisterBenchmark("memcpy_24MB", MemcpyReference)
        ->UseManualTime()
        ->Iterations(1)
        ->Repetitions(kRepetitions);
    benchmark::RegisterBenchmark("per_sample_fread_2byte_interleaved", PerSampleReference)
        ->UseManualTime()
        ->Iterations(1)
        ->Repetitions(kRepetitions);
    const struct {
        const char* name;
        int bytes;
        bool interleaved;
        bool bigEndian;
    } cases[] = {{"interleaved_1byte", 1, true, false},
                 {"interleaved_2byte_swapped", 2, true, swap},
                 {"planar_2byte", 2, false, !swap},
                 {"interleaved_4byte_swapped", 4, true, swap}};
    for (const auto& c : cases) {
        const RawImportParams p = Params(c.bytes, c.interleaved, c.bigEndian);
        const std::string name = c.name;
        benchmark::RegisterBenchmark(("read_decode_" + name).c_str(),
                                     [name, p](benchmark::State& s) { ReadAndDecode(s, name, p); })
            ->UseManualTime()
            ->Iterations(1)
            ->Repetitions(kRepetitions);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    const double memcpyMs = Median(sRuns["memcpy"]);
    const double perSampleMs = Median(sRuns["per_sample"]);
    for (const auto& c : cases) {
        const double ms = Median(sRuns[c.name]);
        const double decodeMs = Median(sRuns[std::string(c.name) + "_decode"]);
        std::printf("raw %dx%d %s read_decode_ms=%.1f vs_per_sample=%.3f decode_ms=%.1f decode_vs_memcpy=%.2f\n",
                    kWidth, kHeight, c.name, ms, perSampleMs > 0 ? ms / perSampleMs : 0.0, decodeMs,
                    memcpyMs > 0 ? decodeMs / memcpyMs : 0.0);
    }
    for (int b : {1, 2, 4}) {
        std::error_code ec;
        std::filesystem::remove(FileOf(Params(b, true, false)), ec);
    }
    return 0;
}
