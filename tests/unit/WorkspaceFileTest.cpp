// tests/unit/WorkspaceFileTest.cpp: workspace files on their own: the fields'
// bytes, write then read (raw and picture blocks, odd and one-pixel sizes),
// the layout read by an independent Python reader, truncated, garbage and
// hostile files refused, and failed saves that keep the old file.
#include "files/WorkspaceFile.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/PixelTransfer.h"
#include "platform/core/PictCodec.h"
#include "tests/support/PythonReference.h"
#include "tests/support/TestImages.h"

namespace {

namespace fs = std::filesystem;

// One clip of a test document.
struct TestClip {
    WorkspaceClipRecord record;
    std::unique_ptr<GWorldWrapper> image;
};

// A small document: W × H clips, a mask with bytes other than 0 and 1, and
// calibration frames of their own sizes.
struct TestDocument {
    WorkspaceHeader header;
    std::vector<uint8_t> mask;
    std::unique_ptr<GWorldWrapper> dark, flat;
    std::vector<TestClip> clips;

    WorkspaceWriteRequest Request() const
    {
        WorkspaceWriteRequest request;
        request.header = header;
        request.mask = mask.data();
        request.dark = dark.get();
        request.flat = flat.get();
        request.clips = [this](int i, WorkspaceClipRecord& record,
                               const std::function<bool(const GWorldWrapper&)>& put) {
            record = clips[static_cast<std::size_t>(i)].record;
            return put(*clips[static_cast<std::size_t>(i)].image);
        };
        return request;
    }
};

TestDocument MakeDocument(int width, int height, int numClips, bool asPictures, bool withDark, bool withFlat)
{
    TestDocument doc;
    doc.header.asPictures = asPictures;
    doc.header.numClips = numClips;
    doc.header.width = width;
    doc.header.height = height;
    doc.header.alignmentBrightnessThreshold = 37;
    doc.header.hotPixelMaskThreshold = 200;
    doc.header.hotPixelMaskRadius = 2;
    doc.header.hasDark = withDark;
    doc.header.hasFlat = withFlat;
    doc.mask.resize(static_cast<std::size_t>(width) * height);
    for (std::size_t i = 0; i < doc.mask.size(); ++i)
        doc.mask[i] = i % 3 == 0 ? 7 : (i % 5 == 0 ? 1 : 0); // 7: a byte written as held
    if (withDark) {
        doc.dark = MakeImage(width + 2, height + 1); // a frame kept from before a crop
        FillNoise(*doc.dark, 11);
    }
    if (withFlat) {
        doc.flat = MakeImage(width, height);
        FillGradient(*doc.flat);
    }
    for (int i = 0; i < numClips; ++i) {
        TestClip clip;
        clip.record.included = i % 2 == 0;
        clip.record.darkFrameSubtracted = i % 3 == 1;
        clip.record.flatFrameDivided = i % 3 == 2;
        for (int c = 0; c < 3; ++c) {
            clip.record.alignment[c][0] = static_cast<int16_t>(-5 * i + c);
            clip.record.alignment[c][1] = static_cast<int16_t>(i == 1 ? -32768 : 7 * i - c);
        }
        clip.record.normalization = i == 2 ? std::numeric_limits<int32_t>::min() : 100000 + 1234 * i;
        clip.record.medianFilterRadius = i % 4;
        clip.record.medianFilterThreshold = 40 * i;
        clip.image = MakeImage(width, height);
        FillNoise(*clip.image, static_cast<uint32_t>(100 + i));
        doc.clips.push_back(std::move(clip));
    }
    return doc;
}

bool SameRecord(const WorkspaceClipRecord& a, const WorkspaceClipRecord& b)
{
    for (int c = 0; c < 3; ++c)
        for (int k = 0; k < 2; ++k)
            if (a.alignment[c][k] != b.alignment[c][k])
                return false;
    return a.included == b.included && a.darkFrameSubtracted == b.darkFrameSubtracted &&
           a.flatFrameDivided == b.flatFrameDivided && a.normalization == b.normalization &&
           a.medianFilterRadius == b.medianFilterRadius && a.medianFilterThreshold == b.medianFilterThreshold;
}

std::vector<uint8_t> FileBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void PutFile(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Reads path, keeping the clips the sink receives.
struct ReadResult {
    WorkspaceReadStatus status;
    WorkspaceContents contents;
    std::vector<TestClip> clips;
};
ReadResult Read(const fs::path& path)
{
    ReadResult r;
    r.contents.header.numClips = -99; // must stay unless the read succeeds
    r.status =
        ReadWorkspaceFile(path, &r.contents, [&r](const WorkspaceClipRecord& rec, std::unique_ptr<GWorldWrapper> im) {
            r.clips.push_back(TestClip{rec, std::move(im)});
        });
    return r;
}

std::string Hex(const std::vector<uint8_t>& bytes)
{
    static const char* const kDigits = "0123456789abcdef";
    std::string s;
    for (uint8_t b : bytes) {
        s += kDigits[b >> 4];
        s += kDigits[b & 15];
    }
    return s;
}

// The pixel block an independent reader must find for image.
std::string BlockHex(const GWorldWrapper& image, bool asPictures)
{
    std::vector<uint8_t> bytes;
    if (asPictures) {
        EXPECT_EQ(EncodePict(image, bytes), PictStatus::ok);
    } else {
        bytes.resize(static_cast<std::size_t>(image.Width()) * image.Height() * 3);
        CopyPixelValuesFromImage(image, bytes.data(), MakeRect(0, 0, image.Height(), image.Width()));
    }
    return Hex(bytes);
}

// Reads a workspace with Python's struct module, field by field, from the
// layout as users' files have it; prints one line per part.
const char* const kPythonReader = R"PY(
import struct, sys
data = open(sys.argv[1], 'rb').read()
pos = 0
def take(fmt):
    global pos
    size = struct.calcsize(fmt)
    if pos + size > len(data):
        raise SystemExit('short field at %d' % pos)
    value = struct.unpack_from(fmt, data, pos)
    pos += size
    return value
marker, as_pictures, n, w, h, threshold, has_dark, has_flat, mask_threshold, mask_radius = take('<iBiiiiBBii')
print('header', marker, as_pictures, n, w, h, threshold, has_dark, has_flat, mask_threshold, mask_radius)
print('mask', data[pos:pos + w * h].hex())
pos += w * h
def block(bw, bh):
    global pos
    if as_pictures:
        (count,) = take('<i')
    else:
        count = bw * bh * 3
    if pos + count > len(data):
        raise SystemExit('short block at %d' % pos)
    b = data[pos:pos + count]
    pos += count
    return b.hex()
for name, present in (('dark', has_dark), ('flat', has_flat)):
    if present:
        fw, fh = take('<hh')
        print(name, fw, fh, block(fw, fh))
for i in range(n):
    fields = take('<BBBhhhhhhiii')
    print('clip', *fields, block(w, h))
print('left', len(data) - pos)
)PY";

std::string ExpectedReaderOutput(const TestDocument& doc)
{
    const WorkspaceHeader& h = doc.header;
    std::ostringstream out;
    out << "header -1 " << (h.asPictures ? 1 : 0) << ' ' << h.numClips << ' ' << h.width << ' ' << h.height << ' '
        << h.alignmentBrightnessThreshold << ' ' << (doc.dark ? 1 : 0) << ' ' << (doc.flat ? 1 : 0) << ' '
        << h.hotPixelMaskThreshold << ' ' << h.hotPixelMaskRadius << '\n';
    out << "mask " << Hex(doc.mask) << '\n';
    if (doc.dark)
        out << "dark " << doc.dark->Width() << ' ' << doc.dark->Height() << ' ' << BlockHex(*doc.dark, h.asPictures)
            << '\n';
    if (doc.flat)
        out << "flat " << doc.flat->Width() << ' ' << doc.flat->Height() << ' ' << BlockHex(*doc.flat, h.asPictures)
            << '\n';
    for (const TestClip& c : doc.clips) {
        const WorkspaceClipRecord& r = c.record;
        out << "clip " << int(r.included) << ' ' << int(r.darkFrameSubtracted) << ' ' << int(r.flatFrameDivided);
        for (int ch = 0; ch < 3; ++ch)
            out << ' ' << r.alignment[ch][0] << ' ' << r.alignment[ch][1];
        out << ' ' << r.normalization << ' ' << r.medianFilterRadius << ' ' << r.medianFilterThreshold << ' '
            << BlockHex(*c.image, h.asPictures) << '\n';
    }
    out << "left 0\n";
    return out.str();
}

class WorkspaceFileTest : public testing::Test {
protected:
    void SetUp() override { mFolder = ReferenceScratchDir(); }
    void TearDown() override { FailWorkspaceWriteAfterBytesForTesting(-1); }
    fs::path File(const std::string& name) const { return fs::path(mFolder) / name; }
    // Every entry of the folder but the named ones: left-over temporary files.
    int OtherEntries(const std::vector<std::string>& known) const
    {
        int n = 0;
        for (const auto& e : fs::directory_iterator(mFolder)) {
            bool isKnown = false;
            for (const std::string& k : known)
                isKnown = isKnown || e.path().filename() == k;
            n += isKnown ? 0 : 1;
        }
        return n;
    }
    std::string mFolder;
};

} // namespace

TEST_F(WorkspaceFileTest, HeaderAndRecordBytesAtTheirOffsets)
{
    WorkspaceHeader h;
    h.asPictures = true;
    h.numClips = 0x01020304;
    h.width = 640;
    h.height = 480;
    h.alignmentBrightnessThreshold = -2;
    h.hasDark = false;
    h.hasFlat = true;
    h.hotPixelMaskThreshold = 256;
    h.hotPixelMaskRadius = 3;
    uint8_t b[kWorkspaceHeaderBytes];
    EncodeWorkspaceHeader(h, b);
    const std::vector<uint8_t> expected = {0xFF, 0xFF, 0xFF, 0xFF, 1, 0x04, 0x03, 0x02, 0x01, 0x80, 0x02,
                                           0,    0,    0xE0, 0x01, 0, 0,    0xFE, 0xFF, 0xFF, 0xFF, 0,
                                           1,    0,    1,    0,    0, 3,    0,    0,    0};
    EXPECT_EQ(std::vector<uint8_t>(b, b + sizeof b), expected);
    WorkspaceHeader back;
    ASSERT_EQ(DecodeWorkspaceHeader(b, &back), WorkspaceHeaderStatus::ok);
    EXPECT_EQ(back.numClips, h.numClips);
    EXPECT_EQ(back.width, 640);
    EXPECT_EQ(back.height, 480);
    EXPECT_EQ(back.alignmentBrightnessThreshold, -2);
    EXPECT_TRUE(back.asPictures && !back.hasDark && back.hasFlat);

    WorkspaceClipRecord r;
    r.included = false;
    r.darkFrameSubtracted = true;
    r.flatFrameDivided = true;
    r.alignment[0][0] = 1;
    r.alignment[0][1] = -1;
    r.alignment[2][1] = 0x1234;
    r.normalization = 123456;
    r.medianFilterRadius = 2;
    r.medianFilterThreshold = 0x7FFFFFFF;
    uint8_t rb[kWorkspaceClipRecordBytes];
    EncodeWorkspaceClipRecord(r, rb);
    const std::vector<uint8_t> expectedRecord = {0, 1, 1, 1, 0,    0xFF, 0xFF, 0,    0,
                                                 0, 0, 0, 0, 0x34, 0x12, 0x40, 0xE2, 0x01,
                                                 0, 2, 0, 0, 0,    0xFF, 0xFF, 0xFF, 0x7F};
    EXPECT_EQ(std::vector<uint8_t>(rb, rb + sizeof rb), expectedRecord);
    WorkspaceClipRecord rr;
    DecodeWorkspaceClipRecord(rb, &rr);
    EXPECT_TRUE(SameRecord(r, rr));
    // Any non-zero flag byte reads as on.
    rb[0] = 9;
    DecodeWorkspaceClipRecord(rb, &rr);
    EXPECT_TRUE(rr.included);
}

TEST_F(WorkspaceFileTest, HeadersThatCannotBeRightAreRefused)
{
    WorkspaceHeader h;
    h.width = h.height = 4;
    uint8_t b[kWorkspaceHeaderBytes];
    const auto status = [&](const std::function<void(uint8_t*)>& spoil) {
        EncodeWorkspaceHeader(h, b);
        spoil(b);
        WorkspaceHeader out;
        out.numClips = -7;
        const WorkspaceHeaderStatus s = DecodeWorkspaceHeader(b, &out);
        if (s != WorkspaceHeaderStatus::ok) {
            EXPECT_EQ(out.numClips, -7); // untouched
        }
        return s;
    };
    EXPECT_EQ(status([](uint8_t*) {}), WorkspaceHeaderStatus::ok);
    EXPECT_EQ(status([](uint8_t* p) { p[0] = 0; }), WorkspaceHeaderStatus::wrongMarker);
    EXPECT_EQ(status([](uint8_t* p) { std::fill(p, p + 4, 0); }), WorkspaceHeaderStatus::wrongMarker);
    EXPECT_EQ(status([](uint8_t* p) { p[4] = 2; }), WorkspaceHeaderStatus::damaged);
    EXPECT_EQ(status([](uint8_t* p) { p[21] = 0xFF; }), WorkspaceHeaderStatus::damaged);
    EXPECT_EQ(status([](uint8_t* p) { p[22] = 2; }), WorkspaceHeaderStatus::damaged);
    EXPECT_EQ(status([](uint8_t* p) { PutInt32(p + 5, -1); }), WorkspaceHeaderStatus::damaged);
    EXPECT_EQ(status([](uint8_t* p) { PutInt32(p + 9, 0); }), WorkspaceHeaderStatus::damaged);
    EXPECT_EQ(status([](uint8_t* p) { PutInt32(p + 13, 32768); }), WorkspaceHeaderStatus::damaged);
    EXPECT_EQ(status([](uint8_t* p) { PutInt32(p + 9, -640); }), WorkspaceHeaderStatus::damaged);
    EXPECT_EQ(status([](uint8_t* p) { PutInt32(p + 13, 32767); }), WorkspaceHeaderStatus::ok);
}

TEST_F(WorkspaceFileTest, NormalisationFactorsTruncateAndSurviveResaving)
{
    EXPECT_EQ(StoredNormalizationFactor(1.23456789), 123456);
    EXPECT_DOUBLE_EQ(LoadedNormalizationFactor(123456), 1.23456);
    EXPECT_EQ(StoredNormalizationFactor(-0.5), -50000);
    EXPECT_EQ(StoredNormalizationFactor(-1.234569), -123456); // toward zero
    EXPECT_EQ(StoredNormalizationFactor(0.0), 0);
    EXPECT_EQ(StoredNormalizationFactor(1e300), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(StoredNormalizationFactor(-1e300), std::numeric_limits<int32_t>::min());
    // A factor that is not a number (or infinite) reopens as 1, not black.
    EXPECT_EQ(StoredNormalizationFactor(std::nan("")), 100000);
    EXPECT_EQ(StoredNormalizationFactor(std::numeric_limits<double>::infinity()), 100000);
    EXPECT_EQ(StoredNormalizationFactor(-std::numeric_limits<double>::infinity()), 100000);
    // Plain truncation would turn tens of thousands of these into their
    // neighbour below (1.00003 × 100000 = 100002.99999...).
    for (int32_t k = -400000; k <= 400000; ++k)
        ASSERT_EQ(StoredNormalizationFactor(LoadedNormalizationFactor(k)), k);
    for (int32_t k : {std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::min(), 2000000001})
        EXPECT_EQ(StoredNormalizationFactor(LoadedNormalizationFactor(k)), k);
}

TEST_F(WorkspaceFileTest, WriteThenReadGivesTheSameDocument)
{
    struct Case {
        int w, h, n;
        bool pictures, dark, flat;
    };
    const Case cases[] = {
        {7, 5, 4, false, true, true},  {7, 5, 4, true, true, true},    {1, 1, 2, false, true, false},
        {1, 1, 2, true, false, true},  {1, 9, 3, false, false, false}, {9, 1, 3, true, true, true},
        {13, 3, 0, false, true, true}, {13, 3, 0, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " n=" << c.n << " pictures=" << c.pictures);
        const TestDocument doc = MakeDocument(c.w, c.h, c.n, c.pictures, c.dark, c.flat);
        const fs::path path = File("doc.work");
        int lastStep = -1, total = 0;
        ASSERT_EQ(WriteWorkspaceFile(path, doc.Request(),
                                     [&](int step, int t) {
                                         EXPECT_EQ(step, lastStep + 1);
                                         lastStep = step;
                                         total = t;
                                     }),
                  WorkspaceWriteStatus::ok);
        EXPECT_EQ(total, c.n + c.dark + c.flat + 1);
        EXPECT_EQ(lastStep, total - 1);
        if (!c.pictures) { // the whole length follows from the header
            EXPECT_EQ(fs::file_size(path), 31u + c.w * c.h + (c.dark ? 4u + (c.w + 2) * (c.h + 1) * 3u : 0u) +
                                               (c.flat ? 4u + c.w * c.h * 3u : 0u) + c.n * (27u + c.w * c.h * 3u));
        }

        ReadResult r = Read(path);
        ASSERT_EQ(r.status, WorkspaceReadStatus::ok);
        EXPECT_EQ(r.contents.header.width, c.w);
        EXPECT_EQ(r.contents.header.height, c.h);
        EXPECT_EQ(r.contents.header.numClips, c.n);
        EXPECT_EQ(r.contents.header.asPictures, c.pictures);
        EXPECT_EQ(r.contents.header.alignmentBrightnessThreshold, 37);
        EXPECT_EQ(r.contents.header.hotPixelMaskThreshold, 200);
        EXPECT_EQ(r.contents.header.hotPixelMaskRadius, 2);
        ASSERT_EQ(r.contents.mask.size(), doc.mask.size());
        for (std::size_t i = 0; i < doc.mask.size(); ++i)
            ASSERT_EQ(r.contents.mask[i], doc.mask[i] != 0 ? 1 : 0) << i; // 7 reads back as 1
        ASSERT_EQ(r.contents.dark != nullptr, c.dark);
        ASSERT_EQ(r.contents.flat != nullptr, c.flat);
        if (c.dark) {
            EXPECT_TRUE(SamePixels(*r.contents.dark, *doc.dark));
        }
        if (c.flat) {
            EXPECT_TRUE(SamePixels(*r.contents.flat, *doc.flat));
        }
        ASSERT_EQ(r.clips.size(), doc.clips.size());
        for (std::size_t i = 0; i < doc.clips.size(); ++i) {
            EXPECT_TRUE(SameRecord(r.clips[i].record, doc.clips[i].record)) << i;
            EXPECT_TRUE(SamePixels(*r.clips[i].image, *doc.clips[i].image)) << i;
        }
    }
}

TEST_F(WorkspaceFileTest, IndependentReaderFindsEveryField)
{
    for (bool pictures : {false, true}) {
        SCOPED_TRACE(pictures ? "pictures" : "raw");
        const TestDocument doc = MakeDocument(5, 3, 3, pictures, true, true);
        const fs::path path = File(pictures ? "p.work" : "r.work");
        ASSERT_EQ(WriteWorkspaceFile(path, doc.Request()), WorkspaceWriteStatus::ok);
        std::string out;
        ASSERT_TRUE(RunPython(kPythonReader, {path.string()}, &out)) << out;
        EXPECT_EQ(out, ExpectedReaderOutput(doc));
    }
    // Only the flat frame: the reader must find it right after the mask.
    TestDocument doc = MakeDocument(2, 2, 1, false, false, true);
    const fs::path path = File("flat.work");
    ASSERT_EQ(WriteWorkspaceFile(path, doc.Request()), WorkspaceWriteStatus::ok);
    std::string out;
    ASSERT_TRUE(RunPython(kPythonReader, {path.string()}, &out)) << out;
    EXPECT_EQ(out, ExpectedReaderOutput(doc));
}

TEST_F(WorkspaceFileTest, FilesCutBeforeTheirClipsAreRefusedAndInsideThemEndEarly)
{
    for (bool pictures : {false, true}) {
        SCOPED_TRACE(pictures ? "pictures" : "raw");
        const TestDocument doc = MakeDocument(3, 2, 3, pictures, true, true);
        const fs::path whole = File("whole.work");
        ASSERT_EQ(WriteWorkspaceFile(whole, doc.Request()), WorkspaceWriteStatus::ok);
        const std::vector<uint8_t> bytes = FileBytes(whole);
        // Where record k begins: the length of the same document with k clips.
        std::size_t recordAt[4];
        for (int k = 0; k <= 3; ++k) {
            const TestDocument part = MakeDocument(3, 2, k, pictures, true, true);
            ASSERT_EQ(WriteWorkspaceFile(File("part.work"), part.Request()), WorkspaceWriteStatus::ok);
            recordAt[k] = FileBytes(File("part.work")).size();
        }
        ASSERT_EQ(recordAt[3], bytes.size());
        const fs::path cut = File("cut.work");
        for (std::size_t length = 0; length < bytes.size(); ++length) {
            PutFile(cut, std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length)));
            ReadResult r = Read(cut);
            if (length < recordAt[0]) {
                ASSERT_EQ(r.status, WorkspaceReadStatus::damaged) << length;
                EXPECT_EQ(r.contents.header.numClips, -99) << length; // untouched
                continue;
            }
            // The clips whose records lie wholly before the cut, and no more.
            const int whole = length >= recordAt[2] ? 2 : length >= recordAt[1] ? 1 : 0;
            ASSERT_EQ(r.status, WorkspaceReadStatus::endedEarly) << length;
            EXPECT_EQ(r.contents.header.numClips, 3) << length;
            EXPECT_EQ(r.contents.clipsRead, whole) << length;
            ASSERT_EQ(r.clips.size(), static_cast<std::size_t>(whole)) << length;
            for (int i = 0; i < whole; ++i) {
                EXPECT_TRUE(SameRecord(r.clips[i].record, doc.clips[i].record)) << length;
                EXPECT_TRUE(SamePixels(*r.clips[i].image, *doc.clips[i].image)) << length;
            }
            EXPECT_TRUE(r.contents.dark && r.contents.flat) << length;
        }
        // Bytes after the last record are no part of the document.
        std::vector<uint8_t> longer = bytes;
        longer.insert(longer.end(), 100, 0xAB);
        PutFile(cut, longer);
        EXPECT_EQ(Read(cut).status, WorkspaceReadStatus::ok);
    }
}

TEST_F(WorkspaceFileTest, GarbageAndHostileFilesAreRefused)
{
    const fs::path path = File("bad.work");
    std::mt19937 random(20261209);
    for (int i = 0; i < 200; ++i) {
        std::vector<uint8_t> bytes(static_cast<std::size_t>(random() % 400));
        for (uint8_t& b : bytes)
            b = static_cast<uint8_t>(random());
        if (i % 2 == 0 && bytes.size() >= 4)
            PutInt32(bytes.data(), -1); // past the marker, into the fields
        PutFile(path, bytes);
        const WorkspaceReadStatus s = Read(path).status;
        EXPECT_TRUE(s == WorkspaceReadStatus::damaged || s == WorkspaceReadStatus::wrongMarker) << i;
    }
    EXPECT_EQ(Read(File("missing.work")).status, WorkspaceReadStatus::cannotOpen);
    EXPECT_EQ(Read(mFolder).status, WorkspaceReadStatus::cannotOpen); // a folder
    PutFile(path, {0, 0, 0, 0, 1, 2, 3});
    EXPECT_EQ(Read(path).status, WorkspaceReadStatus::wrongMarker);

    // A good small file, then one field at a time made absurd.
    const TestDocument doc = MakeDocument(4, 3, 2, true, true, false);
    ASSERT_EQ(WriteWorkspaceFile(path, doc.Request()), WorkspaceWriteStatus::ok);
    const std::vector<uint8_t> good = FileBytes(path);
    const std::size_t darkAt = 31 + 12;
    const std::size_t darkCountAt = darkAt + 4;
    const int32_t darkCount = GetInt32(good.data() + darkCountAt);
    const std::size_t clipAt = darkCountAt + 4 + static_cast<std::size_t>(darkCount);
    const auto spoiled = [&](std::size_t at, const std::vector<uint8_t>& with) {
        std::vector<uint8_t> bytes = good;
        std::copy(with.begin(), with.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
        PutFile(path, bytes);
        return Read(path).status;
    };
    const auto i32 = [](int32_t v) {
        std::vector<uint8_t> b(4);
        PutInt32(b.data(), v);
        return b;
    };
    const auto i16 = [](int16_t v) {
        std::vector<uint8_t> b(2);
        PutInt16(b.data(), v);
        return b;
    };
    EXPECT_EQ(spoiled(0, {}), WorkspaceReadStatus::ok);
    // More records promised than the file holds: those there are are read.
    EXPECT_EQ(spoiled(5, i32(std::numeric_limits<int32_t>::max())), WorkspaceReadStatus::endedEarly); // N
    EXPECT_EQ(spoiled(5, i32(3)), WorkspaceReadStatus::endedEarly);                                   // one N too many
    EXPECT_EQ(spoiled(9, i32(32767)), WorkspaceReadStatus::damaged);             // W: mask too long
    EXPECT_EQ(spoiled(13, i32(32767)), WorkspaceReadStatus::damaged);            // H
    EXPECT_EQ(spoiled(darkAt, i16(0)), WorkspaceReadStatus::damaged);            // frame width 0
    EXPECT_EQ(spoiled(darkAt + 2, i16(-3)), WorkspaceReadStatus::damaged);       // negative height
    EXPECT_EQ(spoiled(darkAt, i16(32767)), WorkspaceReadStatus::damaged);        // the picture's frame disagrees
    EXPECT_EQ(spoiled(darkCountAt, i32(-1)), WorkspaceReadStatus::damaged);      // negative count
    EXPECT_EQ(spoiled(darkCountAt, i32(1 << 30)), WorkspaceReadStatus::damaged); // past the end
    EXPECT_EQ(spoiled(darkCountAt, i32(darkCount - 1)), WorkspaceReadStatus::damaged);
    EXPECT_EQ(spoiled(darkCountAt, i32(3)), WorkspaceReadStatus::damaged); // shorter than any picture
    EXPECT_EQ(spoiled(darkCountAt + 4 + 2, {0x7F, 0xFF, 0x7F, 0xFF}), WorkspaceReadStatus::damaged); // frame top, left
    // A clip's block that does not decode ends the file there.
    EXPECT_EQ(spoiled(clipAt + 27, i32(0)), WorkspaceReadStatus::endedEarly); // a clip's count
    EXPECT_EQ(spoiled(clipAt + 27 + 4 + 12, std::vector<uint8_t>(40, 0xFF)), WorkspaceReadStatus::endedEarly); // rows
}

TEST_F(WorkspaceFileTest, ACalibrationFrameIsBoundedByItsBlockBeforeAnythingIsAllocated)
{
    // A picture-mode workspace of 1 × 1 clips whose dark frame claims
    // 4095 × 32767 and holds a picture of that frame drawing 2048 rows that
    // its 5000-byte block cannot hold.
    auto drawn = MakeImage(4095, 2048);
    std::vector<uint8_t> block;
    ASSERT_EQ(EncodePict(*drawn, block), PictStatus::ok);
    drawn.reset();
    block[6] = 0x7F; // frame bottom 32767
    block[7] = 0xFF;
    block.resize(5000);
    WorkspaceHeader header;
    header.asPictures = true;
    header.width = 1;
    header.height = 1;
    header.hasDark = true;
    std::vector<uint8_t> bytes(kWorkspaceHeaderBytes + 1 + 4 + 4);
    EncodeWorkspaceHeader(header, bytes.data());
    PutInt16(bytes.data() + kWorkspaceHeaderBytes + 1, 4095);
    PutInt16(bytes.data() + kWorkspaceHeaderBytes + 3, 32767);
    PutInt32(bytes.data() + kWorkspaceHeaderBytes + 5, static_cast<int32_t>(block.size()));
    bytes.insert(bytes.end(), block.begin(), block.end());
    const fs::path path = File("frame.work");
    PutFile(path, bytes);
    FailNextImageAllocationsForTesting(1); // an image allocation would throw
    EXPECT_EQ(Read(path).status, WorkspaceReadStatus::damaged);
    FailNextImageAllocationsForTesting(0);

    // Wider than any picture records.
    PutInt16(bytes.data() + kWorkspaceHeaderBytes + 1, 4096);
    PutFile(path, bytes);
    EXPECT_EQ(Read(path).status, WorkspaceReadStatus::damaged);
}

TEST_F(WorkspaceFileTest, FailedSavesKeepTheOldFile)
{
    const TestDocument doc = MakeDocument(6, 4, 3, false, true, true);
    const fs::path path = File("keep.work");
    PutFile(path, {1, 2, 3, 4, 5});
    // A full disk halfway through, at the first write and at the very end.
    for (int64_t after : {int64_t{0}, int64_t{100}, int64_t{31 + 24 + 40}, int64_t{500}}) {
        FailWorkspaceWriteAfterBytesForTesting(after);
        EXPECT_EQ(WriteWorkspaceFile(path, doc.Request()), WorkspaceWriteStatus::writeFailed) << after;
        EXPECT_EQ(FileBytes(path), (std::vector<uint8_t>{1, 2, 3, 4, 5})) << after;
        EXPECT_EQ(OtherEntries({"keep.work"}), 0) << after; // no temporary file left
    }
    // A clip whose image cannot be had: no file with fewer records than N.
    WorkspaceWriteRequest request = doc.Request();
    request.clips = [&doc](int i, WorkspaceClipRecord& record, const std::function<bool(const GWorldWrapper&)>& put) {
        record = doc.clips[static_cast<std::size_t>(i)].record;
        return i < 2 && put(*doc.clips[static_cast<std::size_t>(i)].image);
    };
    EXPECT_EQ(WriteWorkspaceFile(path, request), WorkspaceWriteStatus::clipUnavailable);
    EXPECT_EQ(FileBytes(path), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
    // An unwritable folder (a plain file in its place).
    const fs::path notAFolder = File("plain");
    PutFile(notAFolder, {9});
    EXPECT_EQ(WriteWorkspaceFile(notAFolder / "x.work", doc.Request()), WorkspaceWriteStatus::writeFailed);
    EXPECT_EQ(WriteWorkspaceFile(File("nofolder") / "x.work", doc.Request()), WorkspaceWriteStatus::writeFailed);
    EXPECT_EQ(OtherEntries({"keep.work", "plain"}), 0);
    // Too wide for a picture: refused, old file kept.
    TestDocument wide = MakeDocument(4096, 1, 1, true, false, false);
    EXPECT_EQ(WriteWorkspaceFile(path, wide.Request()), WorkspaceWriteStatus::tooWide);
    EXPECT_EQ(FileBytes(path), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
    wide.header.asPictures = false; // raw bytes have no width limit
    EXPECT_EQ(WriteWorkspaceFile(path, wide.Request()), WorkspaceWriteStatus::ok);
    // Then a good save replaces the old file whole.
    ASSERT_EQ(WriteWorkspaceFile(path, doc.Request()), WorkspaceWriteStatus::ok);
    EXPECT_EQ(Read(path).status, WorkspaceReadStatus::ok);
    EXPECT_EQ(OtherEntries({"keep.work", "plain"}), 0);
}
