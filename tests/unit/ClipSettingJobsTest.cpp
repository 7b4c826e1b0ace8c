// tests/unit/ClipSettingJobsTest.cpp: the batch jobs that set clips'
// normalisation, median filter and debayer settings: factors and filtered
// renders against numpy models, the Bayer pattern search on synthetic mosaics
// of all four layouts, the reference clip's part in matching, selections,
// refusals and failures.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/ClipJobs.h"
#include "engine/ClipSettingJobs.h"
#include "engine/DebayerClips.h"
#include "engine/SummedStack.h"
#include "imaging/Demosaic.h"
#include "imaging/MedianFilter.h"
#include "platform/core/StandardAlerts.h"
#include "tests/unit/ClipJobFixture.h"

namespace {

constexpr BayerPattern kPatterns[] = {kBayerGRBG, kBayerRGGB, kBayerBGGR, kBayerGBRG};

// Which channel each site of a 2x2 cell measures, per pattern: 0 red, 1 green, 2 blue.
int SiteChannel(BayerPattern pattern, int y, int x)
{
    static const int kCells[4][2][2] = {
        {{1, 0}, {2, 1}}, // G R / B G
        {{0, 1}, {1, 2}}, // R G / G B
        {{2, 1}, {1, 0}}, // B G / G R
        {{1, 2}, {0, 1}}, // G B / R G
    };
    return kCells[pattern][y % 2][x % 2];
}

// A smooth colour scene, different in each channel, with a little fixed
// texture so that no two patterns demosaic it alike.
Argb Scene(int x, int y)
{
    const int texture = ((x * 7 + y * 13) % 5) * 3;
    return Argb{0xFF, static_cast<uint8_t>(std::min(255, 40 + 4 * x + texture)),
                static_cast<uint8_t>(std::min(255, 110 + 3 * y)),
                static_cast<uint8_t>(std::max(0, 230 - 2 * x - 3 * y + texture))};
}

// The scene as a single-sensor camera with pattern delivers it: each raw
// sample in the green byte; red and blue hold the scene, which the demosaic
// must not read.
std::unique_ptr<GWorldWrapper> Mosaic(int width, int height, BayerPattern pattern, Argb (*scene)(int, int) = &Scene)
{
    auto image = MakeImage(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            Argb p = scene(x, y);
            const uint8_t channels[3] = {p.r, p.g, p.b};
            p.g = channels[SiteChannel(pattern, y, x)];
            SetPixel(*image, x, y, p);
        }
    return image;
}

std::vector<unsigned char> Rgb(const GWorldWrapper& image)
{
    std::vector<unsigned char> bytes;
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x) {
            const Argb p = GetPixel(image, x, y);
            bytes.insert(bytes.end(), {p.r, p.g, p.b});
        }
    return bytes;
}

std::vector<unsigned char> Greens(const GWorldWrapper& image)
{
    std::vector<unsigned char> bytes;
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x)
            bytes.push_back(GetPixel(image, x, y).g);
    return bytes;
}

// numpy: the normalisation factors of each clip (peak and mean) and the
// rendered red, green, blue bytes for the factor of the given method, as the
// program defines them: peak = goal / largest component, mean = (goal / 255)
// / (sum of max(r, g, b) / (w h 255)), each component trunc(c * factor) or
// 255 from 256 up.
const char* const kNormalizeModel = R"(
import sys, numpy as np
d = sys.argv[1]
out = []
for line in open(d + '/cases.txt'):
    name, w, h, goal, method = line.split()
    w, h, goal, method = int(w), int(h), int(goal), int(method)
    rgb = np.fromfile(d + '/' + name + '.rgb', dtype=np.uint8).reshape(h, w, 3).astype(np.float64)
    peak = float(goal) / rgb.max()
    mean = float(rgb.max(axis=2).sum()) / (float(w) * h * 255.0)
    f = peak if method == 0 else (goal / 255.0) / mean
    v = rgb * f
    r = np.where(v >= 256.0, 255, np.trunc(v)).astype(np.uint8)
    r.tofile(d + '/' + name + '.out')
    out.append('%s %.17g' % (name, f))
print('\n'.join(out))
)";

// numpy: the selective median filter as the program defines it, with plain
// loops: pixels whose max(r, g, b) is below the threshold take, per channel,
// element n // 2 of the sorted values of their neighbours within the disc
// dx^2 + dy^2 <= 2, 5, 10 (radius 1, 2, 3) that lie inside the image.
const char* const kMedianModel = R"(
import sys, numpy as np
d = sys.argv[1]
for line in open(d + '/cases.txt'):
    name, w, h, radius, t = line.split()
    w, h, radius, t = int(w), int(h), int(radius), int(t)
    img = np.fromfile(d + '/' + name + '.rgb', dtype=np.uint8).reshape(h, w, 3).astype(np.int64)
    r2 = {1: 2, 2: 5, 3: 10}[min(radius, 3)]
    offs = [(dy, dx) for dy in range(-3, 4) for dx in range(-3, 4)
            if (dy, dx) != (0, 0) and dy * dy + dx * dx <= r2]
    out = img.copy()
    for y in range(h):
        for x in range(w):
            if t > 0 and img[y, x].max() < t:
                near = [img[y + dy, x + dx] for dy, dx in offs if 0 <= y + dy < h and 0 <= x + dx < w]
                if near:
                    for c in range(3):
                        vals = sorted(int(p[c]) for p in near)
                        out[y, x, c] = vals[len(vals) // 2]
    out.astype(np.uint8).tofile(d + '/' + name + '.out')
print('ok')
)";

// numpy: the pattern search as the program defines it: each clip's mosaic
// demosaiced by nearest neighbour with each pattern (the mosaic mirrored about
// its edges, edge pixel not repeated), compared with the reference by the mean
// absolute difference of red, green and blue; the first smallest wins.
const char* const kPatternModel = R"(
import sys, numpy as np
d = sys.argv[1]
GR, R, B, GB = range(4)
KIND = {0: [[GR, R], [B, GB]], 1: [[R, GR], [GB, B]], 2: [[B, GB], [GR, R]], 3: [[GB, B], [R, GR]]}
def nearest(raw, p):
    h, w = raw.shape
    P = np.pad(raw.astype(np.int64), 1, mode='reflect')
    own, left, up, ul = P[1:-1, 1:-1], P[1:-1, :-2], P[:-2, 1:-1], P[:-2, :-2]
    ys, xs = np.mgrid[0:h, 0:w]
    kind = np.array(KIND[p])[ys % 2, xs % 2]
    red = np.choose(kind, [left, own, ul, up])
    green = np.choose(kind, [own, left, left, own])
    blue = np.choose(kind, [up, ul, own, left])
    return np.stack([red, green, blue], axis=2)
out = []
for line in open(d + '/cases.txt'):
    name, w, h = line.split()
    w, h = int(w), int(h)
    ref = np.fromfile(d + '/ref.rgb', dtype=np.uint8).reshape(h, w, 3).astype(np.int64)
    raw = np.fromfile(d + '/' + name + '.raw', dtype=np.uint8).reshape(h, w)
    diffs = [np.abs(ref - nearest(raw, p)).sum() / (w * h * 765.0) for p in range(4)]
    out.append('%s %d' % (name, int(np.argmin(diffs))))
print('\n'.join(out))
)";

class ClipSettingJobsTest : public ClipJobFixture {
protected:
    void TearDown() override
    {
        DeleteFrameStack();
        ClipJobFixture::TearDown();
    }

    // A clip holding a copy of image (original and modified).
    static Frame* AddImage(const GWorldWrapper& image)
    {
        auto original = MakeImage(image.Width(), image.Height());
        *original = image;
        auto modified = MakeImage(image.Width(), image.Height());
        *modified = image;
        gImageDim = MakeRect(0, 0, image.Height(), image.Width());
        gFrames.push_back(
            std::make_unique<Frame>(static_cast<int>(gFrames.size()), original.release(), modified.release()));
        return gFrames.back().get();
    }
    static std::vector<unsigned char> ModifiedRgb(Frame& frame)
    {
        FrameLease m = frame.GetModified(true);
        return m ? Rgb(*m) : std::vector<unsigned char>();
    }
    static std::vector<unsigned char> OriginalRgb(Frame& frame)
    {
        FrameLease o = frame.GetOriginal();
        return o ? Rgb(*o) : std::vector<unsigned char>();
    }
    static void SelectAll()
    {
        gPersistantSelectionIndices.clear();
        for (int i = 0; i < static_cast<int>(gFrames.size()); ++i)
            gPersistantSelectionIndices.push_back(i);
    }
    // Parses "name value" lines.
    static std::vector<std::pair<std::string, double>> Lines(const std::string& text)
    {
        std::vector<std::pair<std::string, double>> lines;
        std::istringstream in(text);
        std::string name;
        double value = 0.0;
        while (in >> name >> value)
            lines.emplace_back(name, value);
        return lines;
    }
};

// ---------------------------------------------------------------- normalise

TEST_F(ClipSettingJobsTest, NormalizeByPeakAndByMeanMatchNumpy)
{
    // Every size a clip job must handle, each clip its own content.
    const int sizes[][2] = {{1, 1}, {1, 9}, {9, 1}, {7, 5}, {33, 17}};
    for (int method : {kNormalizeByPeak, kNormalizeByMean}) {
        for (int goal : {255, 180, 0}) {
            SCOPED_TRACE("method " + std::to_string(method) + " goal " + std::to_string(goal));
            for (const auto& size : sizes) {
                gFrames.clear();
                auto image = MakeImage(size[0], size[1]);
                FillNoise(*image, static_cast<uint32_t>(size[0] * 31 + size[1]));
                // A dim clip, so peak factors above 1 occur and saturate.
                for (int y = 0; y < size[1]; ++y)
                    for (int x = 0; x < size[0]; ++x) {
                        Argb p = GetPixel(*image, x, y);
                        p.r /= 2, p.g /= 3, p.b /= 2;
                        SetPixel(*image, x, y, p);
                    }
                Frame* clip = AddImage(*image);
                clip->SetNormalizationFactor(3.5); // an earlier factor must not matter
                gPersistantSelectionIndices = {0};
                ASSERT_TRUE(NormalizeClips(NormalizeClipsParams{goal, method}, -1));
                RunJobToEnd();

                const std::string dir = ReferenceScratchDir();
                {
                    std::FILE* cases = std::fopen((dir + "/cases.txt").c_str(), "w");
                    ASSERT_NE(cases, nullptr);
                    std::fprintf(cases, "c %d %d %d %d\n", size[0], size[1], goal, method);
                    std::fclose(cases);
                }
                WriteBytes(dir + "/c.rgb", Rgb(*image));
                std::string output;
                ASSERT_TRUE(RunPython(kNormalizeModel, {dir}, &output)) << output;
                const auto lines = Lines(output);
                ASSERT_EQ(lines.size(), 1u) << output;
                // The same double arithmetic in the same order: bit-identical.
                EXPECT_EQ(clip->GetNormalizationFactor(), lines[0].second) << size[0] << "x" << size[1];
                if (clip->GetNormalizationFactor() != 1.0) {
                    EXPECT_EQ(ModifiedRgb(*clip), ReadBytes(dir + "/c.out")) << size[0] << "x" << size[1];
                }
            }
        }
    }
    EXPECT_EQ(mUser.AlertCount(), 0);
}

TEST_F(ClipSettingJobsTest, NormalizeMeasuresTheOriginalNotTheRender)
{
    auto image = MakeImage(12, 8);
    FillFlat(*image, 10, 20, 100);
    Frame* clip = AddImage(*image);
    // Alignment and an old factor change the render, not the measurement.
    for (int c = 1; c <= 3; ++c)
        clip->SetAlignment(MakePoint(2, 3), c);
    clip->SetNormalizationFactor(0.5);
    (void)clip->UpdateFrame(false);
    gTempSelectionIndex = 0;
    ASSERT_TRUE(NormalizeClips(NormalizeClipsParams{200, kNormalizeByPeak}, kTempSelectionAtStart));
    RunJobToEnd();
    EXPECT_EQ(clip->GetNormalizationFactor(), 2.0); // 200 / 100
    ASSERT_TRUE(NormalizeClips(NormalizeClipsParams{255, kNormalizeByMean}, 0));
    RunJobToEnd();
    EXPECT_DOUBLE_EQ(clip->GetNormalizationFactor(), 2.55); // (255 / 255) / (100 / 255)
    EXPECT_FALSE(clip->IsDirty());
}

TEST_F(ClipSettingJobsTest, NormalizeNoneGivesExactlyOneAndTheOriginalBack)
{
    for (int i = 0; i < 5; ++i)
        AddClip(10, 7, 40 + i);
    gImageDim = MakeRect(0, 0, 7, 10);
    for (auto& clip : gFrames)
        clip->SetNormalizationFactor(1.75);
    SelectAll();
    ASSERT_TRUE(NormalizeClips(NormalizeClipsParams{17, kNormalizeNone}, -1));
    RunJobToEnd();
    for (auto& clip : gFrames) {
        EXPECT_EQ(clip->GetNormalizationFactor(), 1.0);
        EXPECT_EQ(ModifiedRgb(*clip), OriginalRgb(*clip)); // the multiply step is skipped
    }
    EXPECT_EQ(mWindows.Steps(), 5);
}

TEST_F(ClipSettingJobsTest, NormalizingABlackClipLeavesItUnscaled)
{
    // Dividing by a peak or mean of 0 would store infinity; the clip keeps no factor.
    auto black = MakeImage(6, 4);
    FillFlat(*black, 0, 0, 0);
    Frame* clip = AddImage(*black);
    clip->SetNormalizationFactor(4.0);
    for (int method : {kNormalizeByPeak, kNormalizeByMean}) {
        ASSERT_TRUE(NormalizeClips(NormalizeClipsParams{255, method}, 0));
        RunJobToEnd();
        EXPECT_EQ(clip->GetNormalizationFactor(), 1.0) << method;
        clip->SetNormalizationFactor(4.0);
    }
    // A goal past the range is clamped, not refused by the measurement.
    auto grey = MakeImage(6, 4);
    FillFlat(*grey, 51, 51, 51);
    Frame* second = AddImage(*grey);
    ASSERT_TRUE(NormalizeClips(NormalizeClipsParams{300, kNormalizeByPeak}, 1));
    RunJobToEnd();
    EXPECT_EQ(second->GetNormalizationFactor(), 5.0); // 255 / 51
    EXPECT_EQ(mUser.AlertCount(), 0);
}

TEST_F(ClipSettingJobsTest, TheSavedClipIsUsedWithoutAPersistentSelection)
{
    for (int i = 0; i < 3; ++i)
        AddClip(8, 8, 70 + i);
    gImageDim = MakeRect(0, 0, 8, 8);
    gTempSelectionIndex = 0; // the mouse has moved on since the dialog saved clip 2
    ASSERT_TRUE(NormalizeClips(NormalizeClipsParams{100, kNormalizeByPeak}, 2));
    RunJobToEnd();
    EXPECT_EQ(gFrames[0]->GetNormalizationFactor(), 1.0);
    EXPECT_EQ(gFrames[1]->GetNormalizationFactor(), 1.0);
    EXPECT_NE(gFrames[2]->GetNormalizationFactor(), 1.0);
    EXPECT_EQ(mWindows.Opened(), 0); // one clip: no progress window
    // No clip at all: one beep, no job.
    EXPECT_FALSE(NormalizeClips(NormalizeClipsParams{}, -1));
    EXPECT_FALSE(MedianFilterClips(MedianFilterClipsParams{}, -1));
    EXPECT_FALSE(DebayerClips(DebayerClipsParams{}, 7));
    EXPECT_EQ(mUser.BeepCount(), 3);
    EXPECT_FALSE(IsJobActive());
}

TEST_F(ClipSettingJobsTest, ClipJobsDiscardTheSummedStack)
{
    for (int i = 0; i < 2; ++i)
        AddClip(9, 6, 90 + i);
    gImageDim = MakeRect(0, 0, 6, 9);
    const std::function<bool()> jobs[] = {
        [] { return NormalizeClips(NormalizeClipsParams{}, 1); },
        [] {
            return MedianFilterClips(MedianFilterClipsParams{1, kMedianAbsolute, 40}, 1);
        },
        [] { return DebayerClips(DebayerClipsParams{}, 1); },
    };
    for (const auto& job : jobs) {
        ASSERT_TRUE(CreateInitialStack());
        ASSERT_TRUE(HaveSummedStack());
        ASSERT_TRUE(job());
        RunJobToEnd();
        EXPECT_FALSE(HaveSummedStack());
    }
    ASSERT_TRUE(CreateInitialStack());
    gTempSelectionIndex = 1;
    UnDebayer();
    RunJobToEnd();
    EXPECT_FALSE(HaveSummedStack());
}

// ---------------------------------------------------------------- median

TEST_F(ClipSettingJobsTest, MedianFilterRendersMatchNumpy)
{
    const int sizes[][2] = {{1, 1}, {1, 6}, {6, 1}, {2, 2}, {13, 9}};
    const std::string dir = ReferenceScratchDir();
    std::string cases;
    std::vector<std::pair<std::string, Frame*>> clips;
    int n = 0;
    for (const auto& size : sizes)
        for (int radius = 1; radius <= kMedianFilterMaxRadius; ++radius)
            for (int threshold : {1, 128, 256}) {
                gFrames.clear();
                auto image = MakeImage(size[0], size[1]);
                FillNoise(*image, static_cast<uint32_t>(n + 5));
                AddStar(*image, size[0] / 2.0, size[1] / 2.0, 1.0, 255.0);
                const std::string name = "m" + std::to_string(n++);
                WriteBytes(dir + "/" + name + ".rgb", Rgb(*image));
                cases += name + " " + std::to_string(size[0]) + " " + std::to_string(size[1]) + " " +
                         std::to_string(radius) + " " + std::to_string(threshold) + "\n";
                Frame* clip = AddImage(*image);
                ASSERT_TRUE(MedianFilterClips(MedianFilterClipsParams{radius, kMedianAbsolute, threshold}, 0));
                RunJobToEnd();
                EXPECT_EQ(clip->GetMedianFilterRadius(), radius);
                EXPECT_EQ(clip->GetMedianFilterThreshold(), threshold);
                WriteBytes(dir + "/" + name + ".got", ModifiedRgb(*clip));
            }
    {
        std::FILE* f = std::fopen((dir + "/cases.txt").c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs(cases.c_str(), f);
        std::fclose(f);
    }
    std::string output;
    ASSERT_TRUE(RunPython(kMedianModel, {dir}, &output)) << output;
    for (int i = 0; i < n; ++i) {
        const std::string name = "m" + std::to_string(i);
        EXPECT_EQ(ReadBytes(dir + "/" + name + ".got"), ReadBytes(dir + "/" + name + ".out")) << name;
    }
}

TEST_F(ClipSettingJobsTest, RelativeMedianThresholdAddsToEachClipsOwn)
{
    EXPECT_EQ(ClipMedianFilterThreshold(230, {2, kMedianRelative, 50}), 256);
    EXPECT_EQ(ClipMedianFilterThreshold(0, {2, kMedianRelative, 50}), 50);
    EXPECT_EQ(ClipMedianFilterThreshold(230, {2, kMedianAbsolute, 50}), 50);
    EXPECT_EQ(ClipMedianFilterThreshold(10, {2, kMedianAbsolute, 999}), 256);

    for (int i = 0; i < 4; ++i)
        AddClip(11, 7, 120 + i);
    gImageDim = MakeRect(0, 0, 7, 11);
    gFrames[0]->SetMedianFilter(3, 230);
    gFrames[1]->SetMedianFilter(1, 0);
    gFrames[2]->SetMedianFilter(1, 100);
    gFrames[3]->SetMedianFilter(2, 256);
    SelectAll();
    ASSERT_TRUE(MedianFilterClips(MedianFilterClipsParams{2, kMedianRelative, 50}, -1));
    RunJobToEnd();
    const int expected[] = {256, 50, 150, 256};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(gFrames[i]->GetMedianFilterThreshold(), expected[i]) << i;
        EXPECT_EQ(gFrames[i]->GetMedianFilterRadius(), 2) << i;
    }
    // Absolute 0 switches every filter off; the render is the original again.
    ASSERT_TRUE(MedianFilterClips(MedianFilterClipsParams{1, kMedianAbsolute, 0}, -1));
    RunJobToEnd();
    for (auto& clip : gFrames) {
        EXPECT_EQ(clip->GetMedianFilterThreshold(), 0);
        EXPECT_EQ(ModifiedRgb(*clip), OriginalRgb(*clip));
    }
    // Out-of-range radii are brought into 1 .. 3.
    ASSERT_TRUE(MedianFilterClips(MedianFilterClipsParams{9, kMedianAbsolute, 20}, -1));
    RunJobToEnd();
    EXPECT_EQ(gFrames[0]->GetMedianFilterRadius(), kMedianFilterMaxRadius);
    EXPECT_EQ(mUser.BeepCount(), 0);
}

// ---------------------------------------------------------------- debayer

TEST_F(ClipSettingJobsTest, FixedPatternSetsEveryClipAndRendersItsDemosaic)
{
    for (BayerPattern p : kPatterns)
        AddImage(*Mosaic(14, 10, p));
    SelectAll();
    ASSERT_TRUE(DebayerClips(DebayerClipsParams{kBayerBGGR, kDebayerBilinear, false}, -1));
    RunJobToEnd();
    for (auto& clip : gFrames) {
        EXPECT_TRUE(clip->GetDebayerized());
        EXPECT_EQ(clip->GetBayerPattern(), kBayerBGGR);
        EXPECT_EQ(clip->GetDebayerMethod(), kDebayerBilinear);
        EXPECT_FALSE(clip->IsDirty());
        FrameLease original = clip->GetOriginal();
        ASSERT_TRUE(original);
        auto expected = MakeImage(14, 10);
        *expected = *original;
        DebayerizeImageFromGreenChannel(*expected, kBayerBGGR, kDebayerBilinear);
        EXPECT_EQ(ModifiedRgb(*clip), Rgb(*expected));
    }
    // UnDebayer takes it off again (the persistent selection still holds all
    // four), leaving the frame inspector alone.
    const uint64_t inspected = mQueue.Posted(JobEventKind::updateInspector);
    EXPECT_GT(inspected, 0u);
    UnDebayer();
    RunJobToEnd();
    EXPECT_EQ(mQueue.Posted(JobEventKind::updateInspector), inspected);
    for (auto& clip : gFrames) {
        EXPECT_FALSE(clip->GetDebayerized());
        EXPECT_EQ(clip->GetBayerPattern(), kBayerBGGR); // the pattern is kept for the next time
        EXPECT_EQ(ModifiedRgb(*clip), OriginalRgb(*clip));
    }
    EXPECT_EQ(mUser.BeepCount(), 0);
}

TEST_F(ClipSettingJobsTest, UnDebayerNeedsASelection)
{
    AddImage(*Mosaic(6, 6, kBayerGRBG));
    gFrames[0]->SetDebayer(kBayerGRBG, kDebayerNearestNeighbor);
    UnDebayer();
    EXPECT_FALSE(IsJobActive());
    EXPECT_EQ(mUser.BeepCount(), 1);
    EXPECT_TRUE(gFrames[0]->GetDebayerized());
    gTempSelectionIndex = 0;
    UnDebayer();
    RunJobToEnd();
    EXPECT_FALSE(gFrames[0]->GetDebayerized());
    EXPECT_EQ(mUser.BeepCount(), 1);
}

TEST_F(ClipSettingJobsTest, PatternSearchFindsEachLayoutAndAgreesWithNumpy)
{
    for (const auto& size : {std::pair{16, 12}, std::pair{33, 21}, std::pair{2, 2}, std::pair{5, 3}}) {
        const int w = size.first, h = size.second;
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        for (BayerPattern reference : kPatterns) {
            gFrames.clear();
            // Clip 0: the reference, debayered with its own pattern and the
            // Laplacian method; clips 1 to 4: the same scene through each layout.
            AddImage(*Mosaic(w, h, reference));
            gFrames[0]->SetDebayer(reference, kDebayerLaplacian);
            for (BayerPattern p : kPatterns)
                AddImage(*Mosaic(w, h, p));
            SelectAll();
            ASSERT_TRUE(DebayerClips(DebayerClipsParams{kBayerGRBG, kDebayerBilinear, true}, -1));
            RunJobToEnd();

            // The reference keeps its settings and is rendered in full again.
            EXPECT_EQ(gFrames[0]->GetBayerPattern(), reference);
            EXPECT_EQ(gFrames[0]->GetDebayerMethod(), kDebayerLaplacian);
            EXPECT_FALSE(gFrames[0]->IsDirty());
            EXPECT_EQ(mWindows.Steps(), 4); // clip 0 takes no progress step

            // numpy's choice from the same reference and mosaics.
            const std::string dir = ReferenceScratchDir();
            std::string cases;
            for (int i = 1; i <= 4; ++i) {
                FrameLease original = gFrames[i]->GetOriginal();
                ASSERT_TRUE(original);
                WriteBytes(dir + "/c" + std::to_string(i) + ".raw", Greens(*original));
                cases += "c" + std::to_string(i) + " " + std::to_string(w) + " " + std::to_string(h) + "\n";
            }
            {
                Frame& clip0 = *gFrames[0];
                ASSERT_TRUE(clip0.UpdateFrameDebayerOnly());
                FrameLease ref = clip0.GetModified(false);
                ASSERT_TRUE(ref);
                WriteBytes(dir + "/ref.rgb", Rgb(*ref));
            }
            (void)gFrames[0]->UpdateFrame(false);
            std::FILE* f = std::fopen((dir + "/cases.txt").c_str(), "w");
            ASSERT_NE(f, nullptr);
            std::fputs(cases.c_str(), f);
            std::fclose(f);
            std::string output;
            ASSERT_TRUE(RunPython(kPatternModel, {dir}, &output)) << output;
            const auto lines = Lines(output);
            ASSERT_EQ(lines.size(), 4u) << output;
            for (int i = 1; i <= 4; ++i) {
                Frame& clip = *gFrames[i];
                EXPECT_TRUE(clip.GetDebayerized());
                EXPECT_EQ(clip.GetDebayerMethod(), kDebayerBilinear);
                EXPECT_EQ(clip.GetBayerPattern(), static_cast<BayerPattern>(lines[i - 1].second))
                    << "clip " << i << " reference " << reference;
                // On a frame large enough to show it, the true layout wins.
                if (w >= 16) {
                    EXPECT_EQ(clip.GetBayerPattern(), kPatterns[i - 1]) << "clip " << i << " reference " << reference;
                }
            }
        }
    }
    EXPECT_EQ(mUser.AlertCount(), 0);
}

// Red equal to blue everywhere: patterns that differ only by swapping red and
// blue sites demosaic to the same picture.
Argb GreyishScene(int, int)
{
    return Argb{0xFF, 90, 200, 90};
}

TEST_F(ClipSettingJobsTest, ATieGoesToTheLowerPattern)
{
    // The truth is BGGR (2); RGGB (1) demosaics it identically, so it wins.
    AddImage(*Mosaic(10, 8, kBayerRGGB, &GreyishScene));
    gFrames[0]->SetDebayer(kBayerRGGB, kDebayerNearestNeighbor);
    AddImage(*Mosaic(10, 8, kBayerBGGR, &GreyishScene));
    AddImage(*Mosaic(10, 8, kBayerGBRG, &GreyishScene)); // GBRG (3) ties with GRBG (0)
    // A mosaic that is the same everywhere ties all four: pattern 0.
    auto uniform = MakeImage(10, 8);
    FillFlat(*uniform, 77, 77, 77);
    AddImage(*uniform);
    SelectAll();
    ASSERT_TRUE(DebayerClips(DebayerClipsParams{kBayerGBRG, kDebayerLaplacian, true}, -1));
    RunJobToEnd();
    EXPECT_EQ(gFrames[1]->GetBayerPattern(), kBayerRGGB);
    EXPECT_EQ(gFrames[2]->GetBayerPattern(), kBayerGRBG);
    EXPECT_EQ(gFrames[3]->GetBayerPattern(), kBayerGRBG);
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(gFrames[i]->GetDebayerMethod(), kDebayerLaplacian);
}

TEST_F(ClipSettingJobsTest, FindBayerPatternDirectly)
{
    auto reference = Mosaic(12, 10, kBayerGBRG);
    DebayerizeImageFromGreenChannel(*reference, kBayerGBRG, kDebayerNearestNeighbor);
    for (BayerPattern p : kPatterns) {
        auto raw = Mosaic(12, 10, p);
        auto trial = MakeImage(1, 1);
        EXPECT_EQ(FindBayerPattern(*raw, *reference, *trial), p);
        EXPECT_EQ(trial->Width(), 12);
    }
    // A clip of another size cannot be compared.
    auto small = Mosaic(10, 10, kBayerGBRG);
    auto trial = MakeImage(1, 1);
    EXPECT_EQ(FindBayerPattern(*small, *reference, *trial), -1);
    // AutoDebayer leaves clip 0 and an unmeasurable clip alone.
    Frame* clip0 = AddImage(*Mosaic(12, 10, kBayerGRBG));
    EXPECT_FALSE(AutoDebayer(*clip0, kDebayerBilinear, *reference));
    EXPECT_FALSE(clip0->GetDebayerized());
    Frame* odd = AddImage(*small);
    EXPECT_FALSE(AutoDebayer(*odd, kDebayerBilinear, *reference));
    EXPECT_FALSE(odd->GetDebayerized());
    Frame* good = AddImage(*Mosaic(12, 10, kBayerRGGB));
    EXPECT_TRUE(AutoDebayer(*good, kDebayerBilinear, *reference));
    EXPECT_EQ(good->GetBayerPattern(), kBayerRGGB);
    EXPECT_TRUE(good->IsDirty());
}

TEST_F(ClipSettingJobsTest, AMatchingJobThatCannotStartRendersTheReferenceAgain)
{
    AddImage(*Mosaic(8, 6, kBayerGRBG));
    gFrames[0]->SetDebayer(kBayerGRBG, kDebayerLaplacian);
    (void)gFrames[0]->UpdateFrame(false);
    const std::vector<unsigned char> full = ModifiedRgb(*gFrames[0]);
    AddImage(*Mosaic(8, 6, kBayerRGGB));
    // No persistent selection and no clip under the mouse: refused with a beep.
    EXPECT_FALSE(DebayerClips(DebayerClipsParams{kBayerGRBG, kDebayerBilinear, true}, -1));
    EXPECT_EQ(mUser.BeepCount(), 1);
    EXPECT_FALSE(gFrames[0]->IsDirty());
    EXPECT_EQ(ModifiedRgb(*gFrames[0]), full);
    // Nothing holds clip 0 any more: it can go to disk and back.
    EXPECT_TRUE(gFrames[0]->SendToTempDiskFile());
    EXPECT_TRUE(gFrames[0]->RetrieveFromTempDiskFile());
    // Only the reference selected: nothing to match, the job still ends well.
    ASSERT_TRUE(DebayerClips(DebayerClipsParams{kBayerGRBG, kDebayerBilinear, true}, 0));
    RunJobToEnd();
    EXPECT_EQ(gFrames[0]->GetDebayerMethod(), kDebayerLaplacian);
    EXPECT_FALSE(gFrames[0]->IsDirty());
    EXPECT_FALSE(gFrames[1]->GetDebayerized());
    // Without matching, clip 0 is set like any other.
    ASSERT_TRUE(DebayerClips(DebayerClipsParams{kBayerRGGB, kDebayerNearestNeighbor, false}, 0));
    RunJobToEnd();
    EXPECT_EQ(gFrames[0]->GetBayerPattern(), kBayerRGGB);
    EXPECT_EQ(gFrames[0]->GetDebayerMethod(), kDebayerNearestNeighbor);
}

TEST_F(ClipSettingJobsTest, MatchingWorksOnClipsSwappedToDisk)
{
    AddImage(*Mosaic(16, 12, kBayerBGGR));
    gFrames[0]->SetDebayer(kBayerBGGR, kDebayerBilinear);
    for (BayerPattern p : kPatterns)
        AddImage(*Mosaic(16, 12, p));
    ASSERT_TRUE(gFrames[0]->SendToTempDiskFile());
    for (int i = 1; i <= 4; ++i)
        ASSERT_TRUE(gFrames[i]->SendToTempDiskFile());
    SelectAll();
    ASSERT_TRUE(DebayerClips(DebayerClipsParams{kBayerGRBG, kDebayerNearestNeighbor, true}, -1));
    RunJobToEnd();
    for (int i = 1; i <= 4; ++i)
        EXPECT_EQ(gFrames[i]->GetBayerPattern(), kPatterns[i - 1]) << i;
    EXPECT_FALSE(gFrames[0]->IsDirty());
}

TEST_F(ClipSettingJobsTest, ADemosaicOutOfMemoryEndsTheJobNormally)
{
    for (int i = 0; i < 3; ++i)
        AddImage(*Mosaic(8, 8, kBayerGRBG));
    gNumThreads = 1;
    SelectAll();
    TestMainThreadQueue workerAlerts; // a worker's alert waits for the main thread
    FailNextDemosaicBufferForTesting();
    ASSERT_TRUE(DebayerClips(DebayerClipsParams{kBayerGRBG, kDebayerBilinear, false}, -1));
    RunJobToEnd();
    workerAlerts.Drain();
    // The failing render stopped its range after the out-of-memory alert
    // (the demosaic's and the job's, shown once); the job ended.
    EXPECT_EQ(mUser.AlertCount(), 1);
    EXPECT_TRUE(gFrames[0]->IsDirty());
    EXPECT_TRUE(gFrames[0]->GetDebayerized());
    EXPECT_FALSE(gFrames[2]->GetDebayerized());
    // With matching, a reference that cannot be demosaiced starts nothing.
    for (auto& clip : gFrames)
        clip->UnDebayer();
    gFrames[0]->SetDebayer(kBayerGRBG, kDebayerBilinear);
    const int alerts = mUser.AlertCount();
    FailNextDemosaicBufferForTesting();
    EXPECT_FALSE(DebayerClips(DebayerClipsParams{kBayerGRBG, kDebayerBilinear, true}, -1));
    EXPECT_FALSE(IsJobActive());
    EXPECT_EQ(mUser.AlertCount(), alerts + 1);
    EXPECT_FALSE(gFrames[1]->GetDebayerized());
}

TEST_F(ClipSettingJobsTest, ManyClipsOnManyThreads)
{
    gNumThreads = 8;
    for (int i = 0; i < 24; ++i)
        AddImage(*Mosaic(20, 14, kPatterns[i % 4]));
    gFrames[0]->SetDebayer(kBayerGRBG, kDebayerBilinear);
    SelectAll();
    ASSERT_TRUE(DebayerClips(DebayerClipsParams{kBayerGRBG, kDebayerNearestNeighbor, true}, -1));
    RunJobToEnd();
    for (int i = 1; i < 24; ++i)
        EXPECT_EQ(gFrames[i]->GetBayerPattern(), kPatterns[i % 4]) << i;
    ASSERT_TRUE(NormalizeClips(NormalizeClipsParams{128, kNormalizeByMean}, -1));
    RunJobToEnd();
    ASSERT_TRUE(MedianFilterClips(MedianFilterClipsParams{3, kMedianAbsolute, 64}, -1));
    RunJobToEnd();
    for (auto& clip : gFrames) {
        EXPECT_NE(clip->GetNormalizationFactor(), 1.0);
        EXPECT_EQ(clip->GetMedianFilterThreshold(), 64);
        EXPECT_FALSE(clip->IsDirty());
    }
    EXPECT_EQ(mUser.AlertCount(), 0);
}

} // namespace
