// tests/unit/RawFileTest.cpp: the raw size rule, whole-file reads, and sample
// conversion in both layouts, widths and byte orders, against numpy.
#include "files/RawFile.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/core/ByteOrder.h"
#include "tests/support/PythonReference.h"

namespace fs = std::filesystem;

namespace {

struct Planes {
    std::vector<int32_t> r, g, b;
    explicit Planes(std::size_t n, int32_t fill = 0) : r(n, fill), g(n, fill), b(n, fill) {}
    bool operator==(const Planes&) const = default;
};

RawImportParams Import(int w, int h, int bytes, bool bigEndian, bool interleaved)
{
    RawImportParams p;
    p.width = w;
    p.height = h;
    p.sampleBytes = bytes;
    p.bigEndian = bigEndian;
    p.interleaved = interleaved;
    return p;
}

// Bytes from a fixed linear congruential sequence: every bit pattern shows up,
// high bits included.
std::vector<uint8_t> PatternBytes(std::size_t n, uint32_t seed)
{
    std::vector<uint8_t> bytes(n);
    uint32_t s = seed;
    for (auto& byte : bytes) {
        s = s * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(s >> 24);
    }
    return bytes;
}

bool Decode(const std::vector<uint8_t>& bytes, const RawImportParams& p, Planes& planes)
{
    return DecodeRawSamples(bytes.data(), bytes.size(), p, planes.r.data(), planes.g.data(), planes.b.data());
}

std::vector<uint8_t> Encode(const Planes& planes, int w, int h, int32_t maxValue, bool project, bool interleaved)
{
    RawExportParams p;
    p.project = project;
    p.interleaved = interleaved;
    return EncodeRawSamples(planes.r.data(), planes.g.data(), planes.b.data(), w, h, maxValue, p);
}

} // namespace

TEST(RawFileSize, LengthIsWidthHeightThreeSamplesAndRefusesBadParams)
{
    EXPECT_EQ(RawFileLength(Import(100, 50, 2, false, true)), 30000u);
    EXPECT_EQ(RawFileLength(Import(1, 1, 1, false, false)), 3u);
    EXPECT_EQ(RawFileLength(Import(32767, 32767, 4, true, true)), 32767ull * 32767ull * 12ull);
    EXPECT_EQ(RawFileLength(Import(0, 50, 2, false, true)), 0u);
    EXPECT_EQ(RawFileLength(Import(-100, -50, 2, false, true)), 0u);
    EXPECT_EQ(RawFileLength(Import(100, 50, 0, false, true)), 0u);
    EXPECT_EQ(RawFileLength(Import(100, 50, 3, false, true)), 0u);
    // 65536 × 65536 × 3 is 0 in 32 bits; such sides are refused outright.
    EXPECT_EQ(RawFileLength(Import(65536, 65536, 1, false, true)), 0u);
    EXPECT_EQ(RawFileLength(Import(32768, 1, 1, false, true)), 0u);
}

TEST(RawFileRead, LengthMustMatchExactly)
{
    const fs::path dir = ReferenceScratchDir();
    const RawImportParams p = Import(100, 50, 2, false, true);
    std::vector<uint8_t> out = {42};
    for (std::size_t length : {29999u, 30001u, 0u}) {
        WriteBytes((dir / "f.raw").string(), std::vector<unsigned char>(length, 7));
        EXPECT_EQ(ReadRawFile(dir / "f.raw", p, out), RawReadResult::wrongSize) << length;
        EXPECT_EQ(out, std::vector<uint8_t>{42});
    }
    WriteBytes((dir / "f.raw").string(), PatternBytes(30000, 1));
    ASSERT_EQ(ReadRawFile(dir / "f.raw", p, out), RawReadResult::ok);
    EXPECT_EQ(out, PatternBytes(30000, 1));

    // Bad params never match, even an empty file.
    WriteBytes((dir / "empty.raw").string(), {});
    for (const RawImportParams& bad : {Import(0, 50, 2, false, true), Import(-100, -50, 2, false, true),
                                       Import(100, 50, 0, false, true), Import(65536, 65536, 1, false, true)})
        EXPECT_EQ(ReadRawFile(dir / "empty.raw", bad, out), RawReadResult::wrongSize);

    EXPECT_EQ(ReadRawFile(dir / "missing.raw", p, out), RawReadResult::cannotOpen);
    EXPECT_EQ(ReadRawFile(dir, p, out), RawReadResult::cannotOpen);

    FailNextRawReadsForTesting(1);
    out = {42};
    EXPECT_EQ(ReadRawFile(dir / "f.raw", p, out), RawReadResult::readFailed);
    EXPECT_EQ(out, std::vector<uint8_t>{42});
}

TEST(RawFileDecode, ByteOrderAndZeroExtension)
{
    Planes planes(1);
    ASSERT_TRUE(Decode({0x01, 0x02, 0, 0, 0, 0}, Import(1, 1, 2, true, true), planes));
    EXPECT_EQ(planes.r[0], 258);
    ASSERT_TRUE(Decode({0x01, 0x02, 0, 0, 0, 0}, Import(1, 1, 2, false, true), planes));
    EXPECT_EQ(planes.r[0], 513);

    std::vector<uint8_t> four(12, 0);
    four[4] = four[5] = four[6] = four[7] = 0xFF;
    ASSERT_TRUE(Decode(four, Import(1, 1, 4, false, true), planes));
    EXPECT_EQ(planes.g[0], -1);
    four = {0, 0, 0, 0x80, 0, 0, 0, 0, 0x12, 0x34, 0x56, 0x78};
    ASSERT_TRUE(Decode(four, Import(1, 1, 4, true, true), planes));
    EXPECT_EQ(planes.r[0], 128);
    EXPECT_EQ(planes.b[0], 0x12345678);

    ASSERT_TRUE(Decode({0xFF, 0x00, 0x7F}, Import(1, 1, 1, true, true), planes));
    EXPECT_EQ(planes.r[0], 255);
    EXPECT_EQ(planes.g[0], 0);
    EXPECT_EQ(planes.b[0], 127);
}

TEST(RawFileDecode, WrongCountWritesNothing)
{
    Planes planes(6, 99);
    const Planes before = planes;
    EXPECT_FALSE(Decode(std::vector<uint8_t>(35), Import(3, 2, 2, false, true), planes));
    EXPECT_FALSE(Decode(std::vector<uint8_t>(0), Import(0, 2, 2, false, true), planes));
    EXPECT_EQ(planes, before);
}

TEST(RawFileDecode, EveryLayoutWidthAndOrderMatchesNumpy)
{
    const std::string dir = ReferenceScratchDir();
    struct Size {
        int w, h;
    };
    uint32_t seed = 7;
    for (const Size s : {Size{1, 1}, Size{5, 3}, Size{1, 6}, Size{7, 1}}) {
        for (int b : {1, 2, 4}) {
            for (bool big : {false, true}) {
                for (bool interleaved : {true, false}) {
                    SCOPED_TRACE(std::to_string(s.w) + "x" + std::to_string(s.h) + " b" + std::to_string(b) +
                                 (big ? " big" : " little") + (interleaved ? " interleaved" : " planar"));
                    const RawImportParams p = Import(s.w, s.h, b, big, interleaved);
                    const std::vector<uint8_t> bytes = PatternBytes(RawFileLength(p), seed++);
                    WriteBytes(dir + "/in.raw", bytes);
                    std::string output;
                    ASSERT_TRUE(RunPythonScript("raw_reference.py",
                                                {"decode", dir + "/in.raw", std::to_string(s.w), std::to_string(s.h),
                                                 std::to_string(b), big ? ">" : "<",
                                                 interleaved ? "interleaved" : "planar", dir + "/out.f8"},
                                                &output))
                        << output;
                    const std::vector<double> expected = ReadDoubles(dir + "/out.f8");
                    const std::size_t n = static_cast<std::size_t>(s.w) * s.h;
                    ASSERT_EQ(expected.size(), 3 * n);
                    Planes planes(n);
                    ASSERT_TRUE(Decode(bytes, p, planes));
                    std::vector<double> got;
                    for (const auto* plane : {&planes.r, &planes.g, &planes.b})
                        for (int32_t v : *plane)
                            got.push_back(static_cast<uint32_t>(v)); // zero-extended samples
                    EXPECT_EQ(got, expected);
                }
            }
        }
    }
}

TEST(RawFileEncode, SampleWidthFollowsMaximumAndProjection)
{
    RawExportParams plain;
    RawExportParams projected;
    projected.project = true;
    EXPECT_EQ(RawExportSampleBytes(65535, plain), 2);
    EXPECT_EQ(RawExportSampleBytes(65536, plain), 4);
    EXPECT_EQ(RawExportSampleBytes(70000, projected), 2);
    EXPECT_EQ(RawExportSampleBytes(0, plain), 2);

    Planes planes(4);
    planes.r = {70000, 35000, 0, 1};
    EXPECT_EQ(Encode(planes, 2, 2, 70000, false, true).size(), 4u * 12u);
    EXPECT_EQ(Encode(planes, 2, 2, 70000, true, true).size(), 4u * 6u);
}

TEST(RawFileEncode, ProjectionAndClampingByHand)
{
    const auto samples16 = [](const std::vector<uint8_t>& bytes) {
        std::vector<int> v;
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
            v.push_back(bytes[i] | bytes[i + 1] << 8); // host order on this little-endian build
        return v;
    };
    Planes planes(2);
    planes.r = {70000, 35000};
    // 70000 → 65535; 35000 × 65535 / 70000 = 32767.5 → 32767.
    EXPECT_EQ(samples16(Encode(planes, 2, 1, 70000, true, false)), (std::vector<int>{65535, 32767, 0, 0, 0, 0}));
    // A small stack is scaled up: ×65.535, 1000 → 65535, 1 → 65.
    planes.r = {1000, 1};
    EXPECT_EQ(samples16(Encode(planes, 2, 1, 1000, true, false)), (std::vector<int>{65535, 65, 0, 0, 0, 0}));
    // Nothing to scale by: zeros.
    planes.r = {0, 0};
    planes.g = {-3, -7};
    EXPECT_EQ(samples16(Encode(planes, 2, 1, 0, true, false)), (std::vector<int>(6, 0)));
    // Negative values do not wrap in 16 bits.
    planes.r = {-5, 65535};
    planes.g = {INT32_MIN, 12};
    EXPECT_EQ(samples16(Encode(planes, 2, 1, 65535, false, true)), (std::vector<int>{0, 0, 0, 65535, 12, 0}));
    EXPECT_EQ(samples16(Encode(planes, 2, 1, 65535, true, true)), (std::vector<int>{0, 0, 0, 65535, 12, 0}));
}

TEST(RawFileEncode, BytesMatchNumpyInBothLayouts)
{
    const std::string dir = ReferenceScratchDir();
    const int w = 5, h = 3;
    const std::size_t n = w * h;
    struct Case {
        int32_t maximum;
        bool project;
    };
    for (const Case c : {Case{65535, false}, Case{1000, true}, Case{70000, true}, Case{70000, false},
                         Case{INT32_MAX, false}, Case{0, true}}) {
        Planes planes(n);
        for (std::size_t i = 0; i < n; ++i) {
            planes.r[i] = static_cast<int32_t>(static_cast<int64_t>(c.maximum) * i / (n - 1));
            planes.g[i] = static_cast<int32_t>(static_cast<int64_t>(c.maximum) * (n - 1 - i) / (n - 1));
            planes.b[i] = static_cast<int32_t>(i) - 3; // a few negative values
        }
        std::vector<double> values;
        for (const auto* plane : {&planes.r, &planes.g, &planes.b})
            values.insert(values.end(), plane->begin(), plane->end());
        WriteDoubles(dir + "/planes.f8", values);
        for (bool interleaved : {true, false}) {
            SCOPED_TRACE(std::to_string(c.maximum) + (c.project ? " projected" : "") +
                         (interleaved ? " interleaved" : " planar"));
            std::string output;
            ASSERT_TRUE(RunPythonScript("raw_reference.py",
                                        {"encode", dir + "/planes.f8", std::to_string(w), std::to_string(h),
                                         std::to_string(c.maximum), c.project ? "1" : "0",
                                         interleaved ? "interleaved" : "planar", dir + "/out.raw"},
                                        &output))
                << output;
            const std::vector<unsigned char> expected = ReadBytes(dir + "/out.raw");
            const std::vector<uint8_t> got = Encode(planes, w, h, c.maximum, c.project, interleaved);
            EXPECT_EQ(std::vector<unsigned char>(got.begin(), got.end()), expected);
        }
    }
}

TEST(RawFileRoundTrip, ExportThenImportGivesIdenticalPlanes)
{
    struct Size {
        int w, h;
    };
    for (const Size s : {Size{1, 1}, Size{6, 4}, Size{1, 9}, Size{11, 1}}) {
        const std::size_t n = static_cast<std::size_t>(s.w) * s.h;
        for (int32_t maximum : {65535, INT32_MAX}) {
            Planes planes(n);
            for (std::size_t i = 0; i < n; ++i) {
                planes.r[i] = static_cast<int32_t>(static_cast<int64_t>(maximum) * i / std::max<std::size_t>(n - 1, 1));
                planes.g[i] = maximum - planes.r[i];
                planes.b[i] = static_cast<int32_t>((i * 37) % 1000);
            }
            planes.r[n - 1] = maximum;
            if (maximum > 65535 && n > 1)
                planes.b[0] = -12345; // 32-bit samples carry negative values through
            for (bool interleaved : {true, false}) {
                const std::vector<uint8_t> bytes = Encode(planes, s.w, s.h, maximum, false, interleaved);
                const int sample = maximum > 65535 ? 4 : 2;
                Planes back(n, -1);
                ASSERT_TRUE(Decode(bytes, Import(s.w, s.h, sample, BigEndianSystem(), interleaved), back));
                EXPECT_EQ(back, planes);
            }
        }
    }
}
