// fuzz/SeedWriter.cpp: writes the seed files that the program's own writers
// make (workspaces, pictures, raw and FITS stacks) under FOLDER/<target>/.
// fuzz/make_seeds.py runs it and adds the files other programs make.
// Usage: fuzz_write_seeds FOLDER
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

#include "files/FITSFile.h"
#include "files/RawFile.h"
#include "files/WorkspaceFile.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/core/PictFile.h"

namespace fs = std::filesystem;

namespace {

bool sFailed = false;

void Check(bool ok, const fs::path& file)
{
    if (!ok) {
        std::fprintf(stderr, "fuzz_write_seeds: cannot write %s\n", file.c_str());
        sFailed = true;
    }
}

// A small picture with smooth ramps and a few sharp edges, so that the
// pictures hold both runs and literals.
std::unique_ptr<GWorldWrapper> Pattern(int width, int height, int seed)
{
    auto image = std::make_unique<GWorldWrapper>(32, MakeRect(0, 0, height, width), -1);
    for (int y = 0; y < height; ++y) {
        uint8_t* p = image->PixelRow(y);
        for (int x = 0; x < width; ++x, p += 4) {
            p[0] = 0xFF;
            p[1] = static_cast<uint8_t>(x * 255 / width);
            p[2] = static_cast<uint8_t>((y * 31 + seed) & 0xFF);
            p[3] = static_cast<uint8_t>(((x / 3 + y / 2) & 1) ? 200 : seed);
        }
    }
    return image;
}

void WritePicture(const fs::path& file, int width, int height, int seed)
{
    fs::remove(file);
    Check(WritePictFile(file.string(), *Pattern(width, height, seed), PictWriteMode::createNew) == PictFileStatus::ok,
          file);
}

void WriteWorkspace(const fs::path& file, bool asPictures, int clips, bool calibration)
{
    const int width = 8, height = 6;
    WorkspaceWriteRequest request;
    request.header = WorkspaceHeader{.asPictures = asPictures,
                                     .numClips = clips,
                                     .width = width,
                                     .height = height,
                                     .alignmentBrightnessThreshold = 40,
                                     .hasDark = calibration,
                                     .hasFlat = calibration};
    std::vector<uint8_t> mask(static_cast<std::size_t>(width) * height, 0);
    mask[9] = mask[30] = 1;
    request.mask = mask.data();
    const auto dark = Pattern(width, height, 3);
    const auto flat = Pattern(width, height, 90);
    if (calibration) {
        request.dark = dark.get();
        request.flat = flat.get();
    }
    request.clips = [&](int i, WorkspaceClipRecord& record, const std::function<bool(const GWorldWrapper&)>& put) {
        record.included = i != 1;
        record.darkFrameSubtracted = calibration;
        record.flatFrameDivided = calibration && i == 0;
        record.alignment[0][0] = static_cast<int16_t>(i);
        record.alignment[1][1] = static_cast<int16_t>(-i);
        record.normalization = 100000 + 2500 * i;
        record.medianFilterRadius = 1 + i;
        record.medianFilterThreshold = 10 * i;
        return put(*Pattern(width, height, 17 * i));
    };
    Check(WriteWorkspaceFile(file, request) == WorkspaceWriteStatus::ok, file);
}

// A raw file for the fuzz target's geometry `selector` (its first byte),
// written by the Save Raw encoder; the geometries are those of fuzz/raw.cpp.
void WriteRaw(const fs::path& file, uint8_t selector, int width, int height, const RawExportParams& params)
{
    std::vector<int32_t> planes[3];
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < width * height; ++i)
            planes[c].push_back((i * 4099 + c * 30011) % 70000);
    const std::vector<uint8_t> bytes =
        EncodeRawSamples(planes[0].data(), planes[1].data(), planes[2].data(), width, height, 69999, params);
    std::ofstream out(file, std::ios::binary);
    out.put(static_cast<char>(selector));
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    Check(static_cast<bool>(out), file);
}

void WriteFITS(const fs::path& file, int width, int height, int bits)
{
    std::vector<int32_t> plane;
    for (int i = 0; i < width * height; ++i)
        plane.push_back(bits == kFITSBits16 ? (i * 977) % 65536 : i * 1000003);
    Check(WriteFITSPlane(file, plane.data(), width, height, bits, "Green"), file);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const fs::path root = argv[1];
    for (const char* target : {"workspace", "pict", "raw", "fits", "picture", "calibration"})
        fs::create_directories(root / target);

    WriteWorkspace(root / "workspace" / "raw-blocks.work", false, 2, true);
    WriteWorkspace(root / "workspace" / "picture-blocks.work", true, 2, true);
    WriteWorkspace(root / "workspace" / "no-calibration.work", true, 1, false);

    WritePicture(root / "pict" / "pattern-8x6.pict", 8, 6, 5);
    WritePicture(root / "pict" / "wide-70x2.pict", 70, 2, 60);
    WritePicture(root / "picture" / "pattern-12x9.pict", 12, 9, 11);
    // The document of the calibration target is 64 × 48.
    WritePicture(root / "calibration" / "same-size-64x48.pict", 64, 48, 7);
    WritePicture(root / "calibration" / "other-size-10x7.pict", 10, 7, 8);

    // The encoder writes 16- or 32-bit samples in the host's order.
    WriteRaw(root / "raw" / "3x5-16bit-interleaved.raw", 1, 3, 5, RawExportParams{true, true});
    WriteRaw(root / "raw" / "5x3-16bit-planar.raw", 2, 5, 3, RawExportParams{true, false});
    WriteRaw(root / "raw" / "2x2-32bit.raw", 3, 2, 2, RawExportParams{false, true});

    WriteFITS(root / "fits" / "9x7-16bit.fit", 9, 7, kFITSBits16);
    WriteFITS(root / "fits" / "5x3-32bit.fit", 5, 3, kFITSBits32);
    return sFailed ? 1 : 0;
}
