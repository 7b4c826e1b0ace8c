// tests/unit/FITSFileTest.cpp: FITS planes written and read through CFITSIO,
// checked against astropy and fitsverify.
#include "files/FITSFile.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FITSReference.h"
#include "platform/core/FreeMemory.h"
#include "tests/support/PythonReference.h"

namespace fs = std::filesystem;

namespace {

// A plane whose values step through 0..top, so every position is distinct
// and the corners reach both ends.
std::vector<int32_t> Ramp(int width, int height, int32_t top)
{
    std::vector<int32_t> plane(static_cast<std::size_t>(width) * height);
    const std::size_t n = plane.size();
    for (std::size_t i = 0; i < n; ++i)
        plane[i] = n == 1 ? top : static_cast<int32_t>(static_cast<int64_t>(top) * i / (n - 1));
    return plane;
}

std::vector<double> AsDoubles(const std::vector<int32_t>& v)
{
    return std::vector<double>(v.begin(), v.end());
}

std::vector<unsigned char> FileBytes(const fs::path& p)
{
    return ReadBytes(p.string());
}

int FilesIn(const fs::path& dir)
{
    int n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir))
        ++n;
    return n;
}

void ExpectWrittenAsAstropyReads(const fs::path& path, const std::vector<int32_t>& plane, int width, int height,
                                 const std::string& bitpix, const std::string& bzero, const std::string& channel)
{
    std::string report;
    EXPECT_TRUE(FitsverifyClean(path.string(), &report)) << report;
    const FITSDescription d = DescribeFITS(path.string());
    ASSERT_TRUE(d.ok) << d.output;
    EXPECT_EQ(d.keys.at("BITPIX"), bitpix);
    EXPECT_EQ(d.keys.at("BZERO"), bzero);
    EXPECT_EQ(d.keys.at("NAXIS"), "2");
    EXPECT_EQ(d.keys.at("SHAPE"), std::to_string(height) + "x" + std::to_string(width));
    EXPECT_EQ(d.keys.at("HDUS"), "1");
    EXPECT_EQ(d.keys.at("CREATAPP"), "Velmora");
    EXPECT_EQ(d.keys.at("CREATAPP_COMMENT"), "");
    EXPECT_EQ(d.keys.at("CHANNEL"), channel);
    EXPECT_EQ(d.keys.at("CHANNEL_COMMENT"), "");
    // Negative values are stored as their unsigned 32-bit pattern.
    std::vector<double> expected;
    for (int32_t v : plane)
        expected.push_back(v < 0 ? static_cast<double>(v) + 4294967296.0 : v);
    EXPECT_EQ(d.data, expected);
}

} // namespace

TEST(FITSFileWrite, SixteenBitFilesPassFitsverifyAndReadBackInAstropy)
{
    const fs::path dir = ReferenceScratchDir();
    struct Size {
        int w, h;
    };
    for (const Size s : {Size{1, 1}, Size{5, 3}, Size{1, 7}, Size{9, 1}, Size{13, 11}}) {
        SCOPED_TRACE(std::to_string(s.w) + "x" + std::to_string(s.h));
        const std::vector<int32_t> plane = Ramp(s.w, s.h, kFITSMax16BitValue);
        const fs::path path = dir / "M42-G.fit";
        ASSERT_TRUE(WriteFITSPlane(path, plane.data(), s.w, s.h, kFITSBits16, "green"));
        ExpectWrittenAsAstropyReads(path, plane, s.w, s.h, "16", "32768", "green");
    }
    EXPECT_EQ(FilesIn(dir), 1); // no temporary file left beside it
}

TEST(FITSFileWrite, ThirtyTwoBitFilesHoldFullRangeAndNegativesAsUnsigned)
{
    const fs::path dir = ReferenceScratchDir();
    std::vector<int32_t> plane = Ramp(7, 5, INT32_MAX);
    plane[3] = 65536;
    plane[4] = -1;        // stored as 2^32 - 1
    plane[5] = INT32_MIN; // stored as 2^31
    const fs::path path = dir / "M42-R.fit";
    const std::vector<int32_t> before = plane;
    ASSERT_TRUE(WriteFITSPlane(path, plane.data(), 7, 5, kFITSBits32, "red"));
    EXPECT_EQ(plane, before); // the library only reads the plane
    ExpectWrittenAsAstropyReads(path, plane, 7, 5, "32", "2147483648", "red");
}

TEST(FITSFileWrite, NegativeValueInSixteenBitFileFailsAndKeepsOldFile)
{
    const fs::path dir = ReferenceScratchDir();
    const fs::path path = dir / "M42-B.fit";
    const std::vector<int32_t> old = Ramp(4, 4, 1000);
    ASSERT_TRUE(WriteFITSPlane(path, old.data(), 4, 4, kFITSBits16, "blue"));
    const std::vector<unsigned char> oldBytes = FileBytes(path);

    std::vector<int32_t> plane = Ramp(4, 4, 500);
    plane[6] = -5;
    EXPECT_FALSE(WriteFITSPlane(path, plane.data(), 4, 4, kFITSBits16, "blue"));
    EXPECT_EQ(FileBytes(path), oldBytes);
    EXPECT_EQ(FilesIn(dir), 1);
}

TEST(FITSFileWrite, ReplacesOlderFileAndKeepsItWhenWriteFails)
{
    const fs::path dir = ReferenceScratchDir();
    const fs::path path = dir / "M42-G.fit";
    {
        std::ofstream(path) << "an older file of that name";
    }
    const std::vector<int32_t> plane = Ramp(6, 4, 3000);
    ASSERT_TRUE(WriteFITSPlane(path, plane.data(), 6, 4, kFITSBits16, "green"));
    ExpectWrittenAsAstropyReads(path, plane, 6, 4, "16", "32768", "green");
    const std::vector<unsigned char> goodBytes = FileBytes(path);

    FailFITSWriteForTesting(1);
    const std::vector<int32_t> other = Ramp(6, 4, 9);
    EXPECT_FALSE(WriteFITSPlane(path, other.data(), 6, 4, kFITSBits16, "green"));
    EXPECT_EQ(FileBytes(path), goodBytes);
    EXPECT_EQ(FilesIn(dir), 1);
    // The hook is used up: the next write succeeds.
    EXPECT_TRUE(WriteFITSPlane(path, other.data(), 6, 4, kFITSBits16, "green"));
}

TEST(FITSFileWrite, UnwritableTargetsFail)
{
    const fs::path dir = ReferenceScratchDir();
    const std::vector<int32_t> plane = Ramp(3, 3, 10);
    EXPECT_FALSE(WriteFITSPlane(dir / "missing-folder" / "x.fit", plane.data(), 3, 3, kFITSBits16, "red"));
    // A folder where the file should go cannot be replaced by a file.
    fs::create_directory(dir / "M42-R.fit");
    fs::create_directory(dir / "M42-R.fit" / "inside");
    EXPECT_FALSE(WriteFITSPlane(dir / "M42-R.fit", plane.data(), 3, 3, kFITSBits16, "red"));
    EXPECT_TRUE(fs::is_directory(dir / "M42-R.fit" / "inside"));
    EXPECT_EQ(FilesIn(dir), 1);
    // Names with FITS file-name syntax are taken literally.
    EXPECT_TRUE(WriteFITSPlane(dir / "odd[1].fit", plane.data(), 3, 3, kFITSBits16, "red"));
    EXPECT_TRUE(fs::exists(dir / "odd[1].fit"));
    EXPECT_FALSE(WriteFITSPlane(dir / "bad.fit", plane.data(), 3, 3, 8, "red"));
}

TEST(FITSFileRead, ReadsAstropyIntegerAndFloatImages)
{
    const fs::path dir = ReferenceScratchDir();
    struct Case {
        const char* dtype;
        std::vector<double> values;
    };
    const std::vector<Case> cases = {
        {"int16", {-200, -1, 0, 1, 32767, -32768, 7, 8, 9, 10, 11, 12}},
        {"uint16", {0, 1, 65535, 32768, 32767, 2, 3, 4, 5, 6, 7, 8}},
        {"int32", {INT32_MIN, INT32_MAX, -1, 0, 65536, 70000, 1, 2, 3, 4, 5, 6}},
        {"float32", {-3, 0, 1, 2, 1000, 65535, 100000, 4, 5, 6, 7, 8}},
        {"uint8", {0, 255, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dtype);
        const std::string path = (dir / (std::string(c.dtype) + ".fits")).string();
        ASSERT_TRUE(WriteFITSWithAstropy(c.dtype, "3x4", c.values, path));
        FITSImage image;
        ASSERT_EQ(ReadFITSImage(path, image), FITSReadResult::ok);
        EXPECT_EQ(image.width, 4);
        EXPECT_EQ(image.height, 3);
        EXPECT_EQ(AsDoubles(image.pixels), c.values);
    }
}

TEST(FITSFileRead, UndefinedPixelsReadAsZero)
{
    const fs::path dir = ReferenceScratchDir();
    const std::string nan = (dir / "nan.fits").string();
    ASSERT_TRUE(WriteFITSWithAstropy("float32", "2x2", {1, std::nan(""), -3, 4}, nan));
    FITSImage image;
    ASSERT_EQ(ReadFITSImage(nan, image), FITSReadResult::ok);
    EXPECT_EQ(image.pixels, (std::vector<int32_t>{1, 0, -3, 4}));

    const std::string blank = (dir / "blank.fits").string();
    ASSERT_TRUE(WriteFITSWithAstropy("int16", "1x4", {-32768, 7, -32768, -2}, blank, "-32768"));
    ASSERT_EQ(ReadFITSImage(blank, image), FITSReadResult::ok);
    EXPECT_EQ(image.pixels, (std::vector<int32_t>{0, 7, 0, -2}));
}

TEST(FITSFileRead, CubesGiveTheirFirstImageAndTinyImagesRead)
{
    const fs::path dir = ReferenceScratchDir();
    std::vector<double> cube;
    for (int i = 0; i < 2 * 3 * 5; ++i)
        cube.push_back(i * 3);
    const std::string path = (dir / "cube.fits").string();
    ASSERT_TRUE(WriteFITSWithAstropy("int16", "2x3x5", cube, path));
    FITSImage image;
    ASSERT_EQ(ReadFITSImage(path, image), FITSReadResult::ok);
    EXPECT_EQ(image.width, 5);
    EXPECT_EQ(image.height, 3);
    EXPECT_EQ(AsDoubles(image.pixels), std::vector<double>(cube.begin(), cube.begin() + 15));

    const std::string tiny = (dir / "tiny.fits").string();
    ASSERT_TRUE(WriteFITSWithAstropy("int32", "1x1", {123456}, tiny));
    ASSERT_EQ(ReadFITSImage(tiny, image), FITSReadResult::ok);
    EXPECT_EQ(image.width, 1);
    EXPECT_EQ(image.height, 1);
    EXPECT_EQ(image.pixels, std::vector<int32_t>{123456});
}

TEST(FITSFileRead, RefusesWhatIsNotATwoAxisImage)
{
    const fs::path dir = ReferenceScratchDir();
    FITSImage image;
    image.width = 77;
    const auto refused = [&](const std::string& path) {
        const FITSReadResult r = ReadFITSImage(path, image);
        EXPECT_EQ(image.width, 77) << path; // untouched on failure
        return r == FITSReadResult::failed;
    };
    EXPECT_TRUE(refused((dir / "missing.fits").string()));

    const std::string empty = (dir / "empty.fits").string();
    ASSERT_TRUE(WriteFITSWithAstropy("int16", "none", {}, empty));
    EXPECT_TRUE(refused(empty));

    const std::string line = (dir / "line.fits").string();
    ASSERT_TRUE(WriteFITSWithAstropy("int16", "6", {1, 2, 3, 4, 5, 6}, line));
    EXPECT_TRUE(refused(line));

    // Wider than the program's rectangles hold.
    const std::string wide = (dir / "wide.fits").string();
    ASSERT_TRUE(WriteFITSWithAstropy("uint8", "1x32768", std::vector<double>(32768, 1.0), wide));
    EXPECT_TRUE(refused(wide));

    const std::string garbage = (dir / "garbage.fits").string();
    std::vector<unsigned char> junk(5760);
    for (std::size_t i = 0; i < junk.size(); ++i)
        junk[i] = static_cast<unsigned char>(i * 7919 >> 3);
    WriteBytes(garbage, junk);
    EXPECT_TRUE(refused(garbage));

    // A float the 32-bit integers cannot hold is a conversion error.
    const std::string huge = (dir / "huge.fits").string();
    ASSERT_TRUE(WriteFITSWithAstropy("float32", "1x2", {1, 1e12}, huge));
    EXPECT_TRUE(refused(huge));
}

TEST(FITSFileRead, NamesOfStandardInputAreFilesInTheCurrentFolder)
{
    const fs::path previous = fs::current_path();
    const fs::path dir = ReferenceScratchDir();
    fs::current_path(dir);
    for (const char* name : {"-", "stdin", "STDIN.fits"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(WriteFITSWithAstropy("int16", "1x2", {4, 5}, (dir / name).string()));
        FITSImage image;
        ASSERT_EQ(ReadFITSImage(name, image), FITSReadResult::ok);
        EXPECT_EQ(image.pixels, (std::vector<int32_t>{4, 5}));
    }
    fs::current_path(previous);
}

TEST(FITSFileRead, TruncatedDataUnitIsRefusedBeforeAllocating)
{
    const fs::path dir = ReferenceScratchDir();
    const std::string path = (dir / "truncated.fits").string();
    // A header claiming 32767 × 32767 32-bit values (4 GiB) followed by one block.
    ASSERT_TRUE(WriteFITSWithAstropy("int32", "2x3", {1, 2, 3, 4, 5, 6}, path));
    std::vector<unsigned char> bytes = ReadBytes(path);
    std::string header(bytes.begin(), bytes.begin() + 2880);
    const auto patch = [&](const std::string& key, const std::string& value) {
        const std::size_t at = header.find(key);
        ASSERT_NE(at, std::string::npos);
        std::string card = key;
        card.resize(8, ' ');
        card += "= ";
        std::string v = value;
        v.insert(0, 20 - v.size(), ' ');
        card += v;
        card.resize(80, ' ');
        header.replace(at, 80, card);
    };
    patch("NAXIS1", "32767");
    patch("NAXIS2", "32767");
    std::copy(header.begin(), header.end(), bytes.begin());
    WriteBytes(path, bytes);
    FITSImage image;
    EXPECT_EQ(ReadFITSImage(path, image), FITSReadResult::failed);
    EXPECT_TRUE(image.pixels.empty());

    // An ordinary file cut short in its data unit.
    const std::string cut = (dir / "cut.fits").string();
    ASSERT_TRUE(WriteFITSWithAstropy("int16", "40x100", std::vector<double>(4000, 5.0), cut));
    std::vector<unsigned char> cutBytes = ReadBytes(cut);
    cutBytes.resize(2880 + 4000);
    WriteBytes(cut, cutBytes);
    EXPECT_EQ(ReadFITSImage(cut, image), FITSReadResult::failed);
}

TEST(FITSFileRead, NamesAreTakenLiterally)
{
    // Parentheses would name an output copy and brackets an extension or a
    // filter; here they are part of the file's name.
    const fs::path dir = ReferenceScratchDir();
    for (const char* name : {"b16.fit(copy_made.fit)", "x[1].fit", "y.fit[#row>1]"}) {
        SCOPED_TRACE(name);
        const fs::path path = dir / name;
        const std::vector<int32_t> plane = {4, 5, 6};
        ASSERT_TRUE(WriteFITSPlane(path, plane.data(), 3, 1, kFITSBits16, "Red"));
        FITSImage image;
        ASSERT_EQ(ReadFITSImage(path.string(), image), FITSReadResult::ok);
        EXPECT_EQ(image.pixels, plane);
    }
    EXPECT_FALSE(fs::exists(dir / "copy_made.fit"));
}

TEST(FITSFileRead, GzipFilesReadAndTheirDeclaredSizeIsCheckedFirst)
{
    const fs::path dir = ReferenceScratchDir();
    const fs::path plain = dir / "small.fits";
    const std::vector<int32_t> plane = {1, 2, 3, 4, 5, 6};
    ASSERT_TRUE(WriteFITSPlane(plain, plane.data(), 3, 2, kFITSBits16, "Red"));
    const auto gzip = [&](const fs::path& from) {
        const fs::path to = from.string() + ".gz";
        EXPECT_EQ(std::system(("gzip -c '" + from.string() + "' > '" + to.string() + "'").c_str()), 0);
        return to;
    };
    FITSImage image;
    ASSERT_EQ(ReadFITSImage(gzip(plain).string(), image), FITSReadResult::ok);
    EXPECT_EQ(image.pixels, plane);

    // 2000 × 2000 16-bit values (8 MB) in a file of a few kilobytes: beyond
    // the 4 MB memory left, refused before anything of that size is inflated.
    const fs::path big = dir / "big.fits";
    std::vector<int32_t> zeros(2000 * 2000, 0);
    ASSERT_TRUE(WriteFITSPlane(big, zeros.data(), 2000, 2000, kFITSBits16, "Red"));
    const fs::path bigGz = gzip(big);
    SetFreeMemForTesting([] { return int64_t{4} << 20; });
    image = FITSImage{};
    EXPECT_EQ(ReadFITSImage(bigGz.string(), image), FITSReadResult::outOfMemory);
    SetFreeMemForTesting(nullptr);
    EXPECT_TRUE(image.pixels.empty());

    // A header declaring 32767 × 32767 values that the stream cannot hold.
    std::vector<unsigned char> bytes = ReadBytes(plain.string());
    std::string header(bytes.begin(), bytes.begin() + 2880);
    for (const char* key : {"NAXIS1  =", "NAXIS2  ="}) {
        const std::size_t at = header.find(key);
        ASSERT_NE(at, std::string::npos);
        header.replace(at + 10, 20, "               32767");
    }
    std::copy(header.begin(), header.end(), bytes.begin());
    const fs::path claim = dir / "claim.fits";
    WriteBytes(claim.string(), bytes);
    EXPECT_EQ(ReadFITSImage(gzip(claim).string(), image), FITSReadResult::failed);
}

TEST(FITSFileRoundTrip, WrittenPlanesReadBackIdentical)
{
    const fs::path dir = ReferenceScratchDir();
    for (int bits : {kFITSBits16, kFITSBits32}) {
        SCOPED_TRACE(bits);
        std::vector<int32_t> plane = Ramp(17, 9, bits == kFITSBits16 ? 65535 : INT32_MAX);
        const fs::path path = dir / "round.fit";
        ASSERT_TRUE(WriteFITSPlane(path, plane.data(), 17, 9, bits, "red"));
        FITSImage image;
        ASSERT_EQ(ReadFITSImage(path.string(), image), FITSReadResult::ok);
        EXPECT_EQ(image.width, 17);
        EXPECT_EQ(image.height, 9);
        EXPECT_EQ(image.pixels, plane);
    }
}
