// tests/unit/SummedStackTest.cpp: building the summed stack against a numpy
// model (sums, coverage, hot pixels), its display projection, binning,
// quarter turns and mirrors, and builds that are cancelled or fail.
#include "engine/SummedStack.h"

#include <array>
#include <climits>
#include <sstream>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "shell/ShellSettings.h"
#include "engine/StackDisplay.h"
#include "platform/core/StandardAlerts.h"
#include "tests/support/ScriptedInteraction.h"
#include "tests/unit/EngineFixture.h"

namespace {

class FakeStackDisplay final : public StackDisplay {
public:
    FakeStackDisplay() { SetStackDisplay(this); }
    ~FakeStackDisplay() override { SetStackDisplay(nullptr); }
    void ShowStackWindow(int w, int h) override { shown.push_back({w, h}); }
    void ResizeStackWindow(int w, int h) override { resized.push_back({w, h}); }
    void HideStackWindows() override { ++hidden; }
    void DrawStackImage(const GWorldWrapper&) override { ++fullDraws; }
    void DrawStackRect(const GWorldWrapper&, Rect r) override { rects.push_back(r); }
    void StackStateChanged() override { ++stateChanges; }
    void OpenProgress(int total) override
    {
        progressTotals.push_back(total);
        progressOpen = true;
    }
    void SetProgress(int value) override { progress.push_back(value); }
    bool ProgressCancelled() override { return cancelAt >= 0 && !progress.empty() && progress.back() >= cancelAt; }
    void CloseProgress() override { progressOpen = false; }
    void MarkWorkingClip(int index) override { marked.push_back(index); }
    void DrawClip(int index) override { drawn.push_back(index); }

    std::vector<std::pair<int, int>> shown, resized;
    int hidden = 0, fullDraws = 0, stateChanges = 0;
    std::vector<Rect> rects;
    std::vector<int> progressTotals, progress, marked, drawn;
    bool progressOpen = false;
    int cancelAt = -1; // cancel once the bar reaches this value
};

class SummedStackTest : public EngineFixture {
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        gRedChannelOn = gGreenChannelOn = gBlueChannelOn = true;
        gNumFramesInStack = 0.0;
    }
    void TearDown() override
    {
        DeleteFrameStack();
        gRedChannelOn = gGreenChannelOn = gBlueChannelOn = true;
        EngineFixture::TearDown();
    }
    static std::vector<double> Plane(const std::unique_ptr<int32_t[]>& plane)
    {
        const std::size_t n = static_cast<std::size_t>(StackWidth()) * static_cast<std::size_t>(StackHeight());
        return std::vector<double>(plane.get(), plane.get() + n);
    }
    // Makes a stack of w × h with the given planes (row-major) directly.
    static void MakeStack(int w, int h, const std::vector<int32_t> planes[3], double n)
    {
        gFrameStack = MakeImage(w, h);
        std::unique_ptr<int32_t[]>* targets[3] = {&gRedStack, &gGreenStack, &gBlueStack};
        for (int c = 0; c < 3; ++c) {
            targets[c]->reset(new int32_t[planes[c].size()]);
            std::copy(planes[c].begin(), planes[c].end(), targets[c]->get());
        }
        gNumFramesInStack = n;
    }
    FakeStackDisplay mDisplay;
};

std::vector<int32_t> RandomPlane(std::size_t n, uint32_t seed, int lo, int hi)
{
    std::vector<int32_t> v(n);
    uint32_t s = seed;
    for (auto& x : v) {
        s = s * 1664525u + 1013904223u;
        x = lo + static_cast<int32_t>((s >> 8) % static_cast<uint32_t>(hi - lo + 1));
    }
    return v;
}

std::vector<unsigned char> RgbBytes(const GWorldWrapper& image)
{
    std::vector<unsigned char> v;
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x) {
            const Argb p = GetPixel(image, x, y);
            v.insert(v.end(), {p.r, p.g, p.b});
        }
    return v;
}

} // namespace

TEST_F(SummedStackTest, SumsCoverageAndHotPixelsMatchAModel)
{
    const int w = 37, h = 23;
    gImageDim = MakeRect(0, 0, h, w);
    const Point offsets[9][3] = {
        {{0, 0}, {0, 0}, {0, 0}},   {{2, -3}, {0, 1}, {-1, 0}}, {{-5, 4}, {3, 3}, {0, -7}},
        {{30, 0}, {0, 0}, {0, 0}},  {{0, -40}, {1, 1}, {2, 2}}, {{-1, -1}, {-1, -1}, {-1, -1}},
        {{4, 4}, {-4, -4}, {0, 9}}, {{1, 0}, {0, 1}, {1, 1}},   {{0, 3}, {0, 0}, {0, 0}},
    };
    std::string offsetText;
    for (int i = 0; i < 9; ++i) {
        Frame* frame = AddClip(w, h, static_cast<uint32_t>(40 + i));
        for (int c = 0; c < 3; ++c) {
            frame->SetAlignment(offsets[i][c], c + 1);
            offsetText += std::to_string(offsets[i][c].v) + " " + std::to_string(offsets[i][c].h) + " ";
        }
    }
    gFrames[2]->SetSumStackIncluded(false);
    gFrames[6]->SetSumStackIncluded(false);
    gHotPixelMask.Reset(w, h);
    for (auto [y, x] : std::vector<std::pair<int, int>>{{0, 0}, {5, 7}, {22, 36}, {10, 20}, {11, 20}})
        gHotPixelMask.pixels[static_cast<std::size_t>(y * w + x)] = 1;

    ASSERT_TRUE(CreateInitialStack());
    EXPECT_EQ(gNumFramesInStack, 7.0);
    EXPECT_EQ(mDisplay.shown.size(), 1u);
    EXPECT_EQ(mDisplay.progressTotals, std::vector<int>{8});
    EXPECT_EQ(mDisplay.progress, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(mDisplay.marked, (std::vector<int>{0, 1, 3, 4, 5, 7, 8}));
    EXPECT_FALSE(mDisplay.progressOpen);

    const std::string dir = ReferenceScratchDir();
    std::vector<unsigned char> images;
    for (int i = 0; i < 9; ++i) {
        const auto bytes = RgbBytes(*gFrames[static_cast<std::size_t>(i)]->GetModified(true));
        images.insert(images.end(), bytes.begin(), bytes.end());
    }
    WriteBytes(dir + "/images", images);
    WriteBytes(dir + "/mask", gHotPixelMask.pixels);
    const char* model = R"(
import sys, numpy as np
d, w, h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
off = np.array([int(t) for t in sys.argv[4].split()]).reshape(9, 3, 2)
excluded = {2, 6}
imgs = np.fromfile(d + '/images', np.uint8).reshape(9, h, w, 3).astype(np.float64)
mask = np.fromfile(d + '/mask', np.uint8).reshape(h, w)
S = np.zeros((3, h, w)); K = np.zeros((3, h, w))
N = 9 - len(excluded)
ys, xs = np.mgrid[0:h, 0:w]
for j in range(9):
    if j in excluded: continue
    for c in range(3):
        v, hh = off[j, c]
        sy, sx = ys - v, xs - hh
        ok = (sy >= 0) & (sy < h) & (sx >= 0) & (sx < w)
        ok[ok] &= mask[sy[ok], sx[ok]] == 0
        S[c][ok] += imgs[j, :, :, c][ok]
        K[c][ok] += 1
part = (K > 0) & (K < N)
S[part] = np.trunc(S[part] + (S[part] / K[part]) * (N - K[part]))
S.astype(np.float64).tofile(d + '/expected')
)";
    std::string out;
    ASSERT_TRUE(RunPython(model, {dir, std::to_string(w), std::to_string(h), offsetText}, &out)) << out;
    const std::vector<double> expected = ReadDoubles(dir + "/expected");
    ASSERT_EQ(expected.size(), static_cast<std::size_t>(3 * w * h));
    const std::size_t n = static_cast<std::size_t>(w * h);
    EXPECT_TRUE(Plane(gRedStack) == std::vector<double>(expected.begin(), expected.begin() + n));
    EXPECT_TRUE(Plane(gGreenStack) == std::vector<double>(expected.begin() + n, expected.begin() + 2 * n));
    EXPECT_TRUE(Plane(gBlueStack) == std::vector<double>(expected.begin() + 2 * n, expected.end()));
    // Stacking again (the previous planes' memory is taken again) gives the same sums.
    const std::vector<double> red = Plane(gRedStack);
    ASSERT_TRUE(CreateInitialStack());
    EXPECT_TRUE(Plane(gRedStack) == red);
}

TEST_F(SummedStackTest, NoClipsOrNoneIncludedGiveABlackStack)
{
    gImageDim = MakeRect(0, 0, 4, 5);
    ASSERT_TRUE(CreateInitialStack());
    EXPECT_EQ(gNumFramesInStack, 1.0);
    EXPECT_TRUE(mDisplay.progressTotals.empty());
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(gRedStack[static_cast<std::size_t>(i)], 0);
    EXPECT_EQ(GetPixel(*gFrameStack, 2, 2).r, 0);

    AddClip(5, 4, 1)->SetSumStackIncluded(false);
    AddClip(5, 4, 2)->SetSumStackIncluded(false);
    ASSERT_TRUE(CreateInitialStack());
    EXPECT_EQ(gNumFramesInStack, 0.0);
    EXPECT_EQ(GetPixel(*gFrameStack, 4, 3), (Argb{0xFF, 0, 0, 0})); // d = 0: all black, alpha untouched
}

TEST_F(SummedStackTest, ASingleShiftedClipLeavesItsUncoveredColumnsEmpty)
{
    gImageDim = MakeRect(0, 0, 6, 8);
    Frame* frame = AddClip(8, 6, 3);
    frame->SetAlignment(MakePoint(0, 3), 1);
    ASSERT_TRUE(CreateInitialStack());
    FrameLease modified = frame->GetModified(false);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) {
            const int32_t red = gRedStack[static_cast<std::size_t>(y * 8 + x)];
            EXPECT_EQ(red, x < 3 ? 0 : GetPixel(*modified, x, y).r) << x << "," << y;
            EXPECT_EQ(gGreenStack[static_cast<std::size_t>(y * 8 + x)], GetPixel(*modified, x, y).g);
        }
    EXPECT_EQ(mDisplay.progressTotals, std::vector<int>{0});
    EXPECT_EQ(mDisplay.progress, std::vector<int>{1});
}

TEST_F(SummedStackTest, ProgressWithTwoClips)
{
    gImageDim = MakeRect(0, 0, 2, 2);
    AddClip(2, 2, 1);
    AddClip(2, 2, 2);
    ASSERT_TRUE(CreateInitialStack());
    EXPECT_EQ(mDisplay.progressTotals, std::vector<int>{1});
    EXPECT_EQ(mDisplay.progress, (std::vector<int>{1, 2}));
}

TEST_F(SummedStackTest, CountsDoNotWrapPastThirtyTwoThousand)
{
    gMaxClipDim = MakeRect(0, 0, 1, 1);
    gImageDim = MakeRect(0, 0, 2, 2);
    const int clips = 40000;
    gFrames.reserve(clips);
    for (int i = 0; i < clips; ++i) {
        auto original = MakeImage(2, 2);
        FillFlat(*original, 1, 2, 3);
        auto modified = MakeImage(2, 2);
        *modified = *original;
        gFrames.push_back(std::make_unique<Frame>(i, original.release(), modified.release()));
    }
    gFrames[7]->SetAlignment(MakePoint(0, 1), 1); // its red column 0 comes from outside
    ASSERT_TRUE(CreateInitialStack());
    EXPECT_EQ(gNumFramesInStack, 40000.0);
    // Column 0 of red: 39,999 clips gave 1 each; rescaled by 40000 / 39999.
    EXPECT_EQ(gRedStack[0], 40000);
    EXPECT_EQ(gRedStack[2], 40000);
    EXPECT_EQ(gRedStack[1], 40000);
    EXPECT_EQ(gGreenStack[0], 80000);
    EXPECT_EQ(gBlueStack[3], 120000);
}

TEST_F(SummedStackTest, ProjectionMatchesAModel)
{
    const int w = 11, h = 7;
    const std::size_t n = static_cast<std::size_t>(w * h);
    const std::vector<int32_t> planes[3] = {RandomPlane(n, 1, -300, 3000), RandomPlane(n, 2, 0, 2000),
                                            RandomPlane(n, 3, -50, 900)};
    const std::string dir = ReferenceScratchDir();
    std::vector<double> all;
    for (const auto& p : planes)
        all.insert(all.end(), p.begin(), p.end());
    WriteDoubles(dir + "/planes", all);
    const char* model = R"(
import sys, numpy as np
d, w, h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
N, grey, offs = float(sys.argv[4]), int(sys.argv[5]), [int(t) for t in sys.argv[6].split()]
t, l, b, r = [int(x) for x in sys.argv[7].split()]
P = np.fromfile(d + '/planes', np.float64).reshape(3, h, w)
t, l, b, r = max(t, 0), max(l, 0), min(b, h), min(r, w)
m = max(0.0, P[:, t:b, l:r].max())
dd = max(N, m / 255.0)
out = np.full((h, w, 3), -1.0)
for c in range(3):
    v, hh = offs[2 * c], offs[2 * c + 1]
    for y in range(t, b):
        for x in range(l, r):
            sy, sx = y + v, x + hh
            if 0 <= sy < h and 0 <= sx < w and dd != 0:
                out[y, x, c] = min(np.trunc(max(P[c, sy, sx], 0) / dd), 255)
            else:
                out[y, x, c] = 0
if grey >= 0:
    for c in range(3): out[t:b, l:r, c] = out[t:b, l:r, grey]
out.tofile(d + '/expected')
print(repr(max(N, m / 255.0)))
)";
    struct Case {
        double n;
        int grey; // -1: all channels; else the one channel shown
        Point offsets[3];
        Rect r;
        bool grow;
    };
    const Case cases[] = {
        {5.0, -1, {{0, 0}, {0, 0}, {0, 0}}, MakeRect(-1, -1, -1, -1), false},
        {5.0, -1, {{1, -2}, {0, 3}, {-4, 0}}, MakeRect(-1, -1, -1, -1), false},
        {20.0, 1, {{0, 0}, {2, 2}, {0, 0}}, MakeRect(-1, -1, -1, -1), false},
        {5.0, -1, {{0, 0}, {0, 0}, {0, 0}}, MakeRect(-1, -1, -1, -1), true},
        {0.0, -1, {{0, 0}, {0, 0}, {0, 0}}, MakeRect(2, 3, 5, 9), false},
        {8.0, 2, {{0, 0}, {0, 0}, {1, 1}}, MakeRect(-3, 5, 4, 40), false},
    };
    for (const Case& c : cases) {
        MakeStack(w, h, planes, c.n);
        FillFlat(*gFrameStack, 77, 77, 77);
        gFrameStackOffsetRed = c.offsets[0];
        gFrameStackOffsetGreen = c.offsets[1];
        gFrameStackOffsetBlue = c.offsets[2];
        gRedChannelOn = c.grey < 0 || c.grey == 0;
        gGreenChannelOn = c.grey < 0 || c.grey == 1;
        gBlueChannelOn = c.grey < 0 || c.grey == 2;
        std::string offsets;
        for (const Point& p : c.offsets)
            offsets += std::to_string(p.v) + " " + std::to_string(p.h) + " ";
        const Rect area = c.r.left == -1 ? MakeRect(0, 0, h, w) : c.r;
        std::string out;
        ASSERT_TRUE(
            RunPython(model,
                      {dir, std::to_string(w), std::to_string(h), std::to_string(c.n), std::to_string(c.grey), offsets,
                       std::to_string(area.top) + " " + std::to_string(area.left) + " " + std::to_string(area.bottom) +
                           " " + std::to_string(area.right)},
                      &out))
            << out;
        const double divisor = std::stod(out);
        mDisplay.rects.clear();
        ProjectStackIntoFrameStackGWorld(c.grow, c.r);
        const std::vector<double> expected = ReadDoubles(dir + "/expected");
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const Argb p = GetPixel(*gFrameStack, x, y);
                const unsigned char got[3] = {p.r, p.g, p.b};
                EXPECT_EQ(p.a, 0xFF);
                for (int ch = 0; ch < 3; ++ch) {
                    const double want = expected[static_cast<std::size_t>((y * w + x) * 3 + ch)];
                    EXPECT_EQ(got[ch], want < 0 ? 77 : want) << x << "," << y << " channel " << ch;
                }
            }
        // Only grow keeps a larger divisor.
        EXPECT_EQ(gNumFramesInStack, c.grow ? divisor : c.n);
        if (c.r.left != -1) {
            ASSERT_EQ(mDisplay.rects.size(), 1u);
            EXPECT_EQ(mDisplay.rects[0], MakeRect(std::max<int>(c.r.top, 0), std::max<int>(c.r.left, 0),
                                                  std::min<int>(c.r.bottom, h), std::min<int>(c.r.right, w)));
        }
    }
    // A sum of exactly 255 N shows 255; a rectangle off the stack projects nothing.
    std::vector<int32_t> exact[3] = {std::vector<int32_t>(n, 255 * 7), std::vector<int32_t>(n, 0),
                                     std::vector<int32_t>(n, 255 * 7 - 1)};
    MakeStack(w, h, exact, 7.0);
    gRedChannelOn = gGreenChannelOn = gBlueChannelOn = true;
    gFrameStackOffsetRed = gFrameStackOffsetGreen = gFrameStackOffsetBlue = Point{};
    ProjectStackIntoFrameStackGWorld(false);
    EXPECT_EQ(GetPixel(*gFrameStack, 3, 3), (Argb{0xFF, 255, 0, 254}));
    FillFlat(*gFrameStack, 9, 9, 9);
    ProjectStackIntoFrameStackGWorld(false, MakeRect(50, 50, 60, 60));
    EXPECT_EQ(GetPixel(*gFrameStack, 0, 0).r, 9);
}

TEST_F(SummedStackTest, PartialRedrawCoversExactlyThePixelsOfTheRectangle)
{
    // Window sizes with other aspects than the stack's, larger and smaller.
    for (auto [sw, sh, ww, wh] :
         std::vector<std::array<int, 4>>{{101, 77, 333, 120}, {640, 480, 200, 300}, {5, 3, 7, 11}, {64, 64, 64, 64}})
        for (Rect r : {MakeRect(0, 0, 1, 1), MakeRect(3, 2, 3 + sh / 2, 2 + sw / 3), MakeRect(0, 0, sh, sw),
                       MakeRect(sh - 1, sw - 1, sh, sw)}) {
            const Rect d = StackRectInWindow(r, sw, sh, ww, wh);
            for (int x = 0; x < ww; ++x) {
                const int source = static_cast<int>(static_cast<int64_t>(x) * sw / ww);
                const bool inside = source >= r.left && source < r.right;
                EXPECT_EQ(inside, x >= d.left && x < d.right) << sw << " " << ww << " x " << x;
            }
            for (int y = 0; y < wh; ++y) {
                const int source = static_cast<int>(static_cast<int64_t>(y) * sh / wh);
                const bool inside = source >= r.top && source < r.bottom;
                EXPECT_EQ(inside, y >= d.top && y < d.bottom) << sh << " " << wh << " y " << y;
            }
        }
    // Drawing the full image clipped to that rectangle equals the full redraw there.
    auto stack = MakeImage(101, 77);
    FillNoise(*stack, 5);
    auto full = MakeImage(333, 120);
    stack->CopyWorldBits(MakeRect(0, 0, 120, 333), full.get());
    const Rect r = MakeRect(10, 20, 30, 50);
    const Rect d = StackRectInWindow(r, 101, 77, 333, 120);
    for (int y = d.top; y < d.bottom; ++y)
        for (int x = d.left; x < d.right; ++x) {
            const int sx = static_cast<int>(static_cast<int64_t>(x) * 101 / 333);
            const int sy = static_cast<int>(static_cast<int64_t>(y) * 77 / 120);
            EXPECT_EQ(GetPixel(*full, x, y), GetPixel(*stack, sx, sy));
        }
}

TEST_F(SummedStackTest, BinningMatchesBlockSums)
{
    const int w = 101, h = 99;
    const std::size_t n = static_cast<std::size_t>(w * h);
    for (int k : {1, 2}) {
        const std::vector<int32_t> planes[3] = {RandomPlane(n, 10, 0, 5000), RandomPlane(n, 11, -100, 100),
                                                RandomPlane(n, 12, 0, 255)};
        MakeStack(w, h, planes, 1.0);
        ResampleStack(k);
        const int b = k + 1;
        ASSERT_EQ(StackWidth(), w / b);
        ASSERT_EQ(StackHeight(), h / b);
        EXPECT_EQ(mDisplay.resized.back(), std::make_pair(w / b, h / b));
        const std::string dir = ReferenceScratchDir();
        std::vector<double> all;
        for (const auto& p : planes)
            all.insert(all.end(), p.begin(), p.end());
        WriteDoubles(dir + "/planes", all);
        std::string out;
        ASSERT_TRUE(RunPython(R"(
import sys, numpy as np
d, w, h, b = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
P = np.fromfile(d + '/planes', np.float64).reshape(3, h, w)
nh, nw = h // b, w // b
Q = P[:, :nh * b, :nw * b].reshape(3, nh, b, nw, b).sum(axis=(2, 4))
Q.tofile(d + '/expected')
print(repr(max(1.0, Q.max() / 255.0)))
)",
                              {dir, std::to_string(w), std::to_string(h), std::to_string(b)}, &out))
            << out;
        const std::vector<double> expected = ReadDoubles(dir + "/expected");
        const std::size_t m = static_cast<std::size_t>(StackWidth() * StackHeight());
        EXPECT_TRUE(Plane(gRedStack) == std::vector<double>(expected.begin(), expected.begin() + m));
        EXPECT_TRUE(Plane(gGreenStack) == std::vector<double>(expected.begin() + m, expected.begin() + 2 * m));
        EXPECT_TRUE(Plane(gBlueStack) == std::vector<double>(expected.begin() + 2 * m, expected.end()));
        EXPECT_EQ(gNumFramesInStack, std::stod(out)); // projected with grow
    }
}

TEST_F(SummedStackTest, BinningSaturatesAndRefusesTinyStacks)
{
    ScriptedInteraction interaction;
    const std::vector<int32_t> big[3] = {std::vector<int32_t>(4, INT32_MAX - 5), std::vector<int32_t>(4, INT32_MIN + 5),
                                         std::vector<int32_t>(4, 1)};
    MakeStack(2, 2, big, 1.0);
    ResampleStack(1);
    ASSERT_EQ(StackWidth(), 1);
    EXPECT_EQ(gRedStack[0], INT32_MAX);
    EXPECT_EQ(gGreenStack[0], INT32_MIN);
    EXPECT_EQ(gBlueStack[0], 4);
    // 1 × 1 cannot be binned by 2 × 2; a 2 × 2 stack not by 3 × 3.
    ResampleStack(1);
    EXPECT_EQ(interaction.BeepCount(), 1);
    EXPECT_EQ(StackWidth(), 1);
    MakeStack(2, 2, big, 1.0);
    ResampleStack(2);
    EXPECT_EQ(interaction.BeepCount(), 2);
    EXPECT_EQ(StackWidth(), 2);
    EXPECT_EQ(gRedStack[3], INT32_MAX - 5);
}

TEST_F(SummedStackTest, TurnsAndMirrorsMatchNumpy)
{
    const int w = 5, h = 3;
    std::vector<int32_t> values(15);
    for (int i = 0; i < 15; ++i)
        values[static_cast<std::size_t>(i)] = i * 10 + 1;
    const std::vector<int32_t> planes[3] = {values, values, values};
    std::string out;
    ASSERT_TRUE(RunPython(R"(
import numpy as np
O = (np.arange(15) * 10 + 1).reshape(3, 5)
for N in (np.rot90(O, -1), np.rot90(O, 2), np.rot90(O, 1), np.fliplr(O), np.flipud(O)):
    print(N.shape[1], N.shape[0], ' '.join(str(v) for v in N.flatten()))
)",
                          {}, &out))
        << out;
    std::istringstream lines(out);
    for (int k = 1; k <= 5; ++k) {
        int ew, eh;
        lines >> ew >> eh;
        std::vector<int32_t> expected(15);
        for (auto& v : expected)
            lines >> v;
        MakeStack(w, h, planes, 1.0);
        TransformStack(k);
        ASSERT_EQ(StackWidth(), ew) << k;
        ASSERT_EQ(StackHeight(), eh) << k;
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), gGreenStack.get())) << k;
    }
    MakeStack(w, h, planes, 1.0);
    TransformStack(1);
    TransformStack(3);
    EXPECT_EQ(StackWidth(), 5);
    EXPECT_TRUE(std::equal(values.begin(), values.end(), gRedStack.get()));
    for (int k : {0, 6}) {
        TransformStack(k);
        EXPECT_TRUE(std::equal(values.begin(), values.end(), gBlueStack.get()));
    }
}

TEST_F(SummedStackTest, CancelLeavesNoStack)
{
    gImageDim = MakeRect(0, 0, 9, 9);
    for (int i = 0; i < 20; ++i)
        AddClip(9, 9, static_cast<uint32_t>(i));
    mDisplay.cancelAt = 12;
    EXPECT_FALSE(CreateInitialStack());
    EXPECT_FALSE(gRedStack);
    EXPECT_FALSE(HaveSummedStack());
    EXPECT_EQ(gNumFramesInStack, 0.0);
    EXPECT_TRUE(mDisplay.shown.empty());
    EXPECT_FALSE(mDisplay.progressOpen);
    EXPECT_EQ(mDisplay.progress.back(), 12);
}

TEST_F(SummedStackTest, InterpolationWarningIsAskedOnceAndCancelChangesNothing)
{
    ScriptedInteraction interaction;
    gImageDim = MakeRect(0, 0, 3, 3);
    AddClip(3, 3, 1);
    ASSERT_TRUE(CreateInitialStack());
    int32_t* before = gRedStack.get();
    AddClip(3, 3, 2)->SetRotation(5);
    AddClip(3, 3, 3)->SetRotation(7);
    interaction.Answer(false);
    EXPECT_FALSE(CreateInitialStack());
    ASSERT_EQ(interaction.AlertCount(), 1);
    const AlertRequest alert = interaction.Alerts()[0].request;
    EXPECT_EQ(alert.title, "Interpolation Warning");
    EXPECT_EQ(alert.message, "Some frames have been rotationally aligned and you have not specified the highest "
                             "quality rotation interpolation method.\n\nAre you sure you want to continue?");
    EXPECT_EQ(alert.defaultText, "Continue");
    EXPECT_EQ(alert.cancelText, "Cancel");
    EXPECT_EQ(gRedStack.get(), before); // the old stack stays
    interaction.Answer(true);
    EXPECT_TRUE(CreateInitialStack());
    EXPECT_EQ(interaction.AlertCount(), 2);
    gRotationMethod = 2;
    EXPECT_TRUE(CreateInitialStack());
    EXPECT_EQ(interaction.AlertCount(), 2); // bilinear: no question
}

TEST_F(SummedStackTest, FailuresEndLikeCancel)
{
    ScriptedInteraction interaction;
    gImageDim = MakeRect(0, 0, 6, 6);
    for (int i = 0; i < 4; ++i)
        AddClip(6, 6, static_cast<uint32_t>(i));
    // Out of memory for the display image.
    FailNextImageAllocationsForTesting(1);
    EXPECT_FALSE(CreateInitialStack());
    EXPECT_FALSE(gRedStack);
    EXPECT_EQ(interaction.AlertCount(), 1);
    EXPECT_EQ(interaction.Alerts()[0].request.title, std::string(kOutOfMemoryTitle));

    // A clip that cannot come back: one stop alert naming it.
    ASSERT_TRUE(gFrames[2]->SendToTempDiskFile());
    std::filesystem::resize_file(gFrames[2]->GetTempFile(0), 600);
    EXPECT_FALSE(CreateInitialStack());
    EXPECT_FALSE(gRedStack);
    EXPECT_EQ(gNumFramesInStack, 0.0);
    EXPECT_FALSE(mDisplay.progressOpen);
    ASSERT_EQ(interaction.AlertCount(), 2);
    EXPECT_EQ(interaction.Alerts()[1].request.kind, kAlertStop);
    EXPECT_NE(interaction.Alerts()[1].request.message.find("Clip 3"), std::string::npos);
    gFrames.erase(gFrames.begin() + 2);
    for (int i = 0; i < 3; ++i)
        gFrames[static_cast<std::size_t>(i)]->SetIndex(i);

    // A clip of another size.
    ASSERT_TRUE(gFrames[1]->SetModified(MakeImage(5, 6).release()));
    ASSERT_TRUE(gFrames[1]->SetOriginal(MakeImage(5, 6).release()));
    EXPECT_FALSE(CreateInitialStack());
    EXPECT_FALSE(gRedStack);
    ASSERT_EQ(interaction.AlertCount(), 3);
    EXPECT_NE(interaction.Alerts()[2].request.message.find("Clip 2"), std::string::npos);

    // Out of memory inside a clip's render: the step's own alert only.
    ASSERT_TRUE(gFrames[1]->SetModified(MakeImage(6, 6).release()));
    ASSERT_TRUE(gFrames[1]->SetOriginal(MakeImage(6, 6).release()));
    FrameRenderSteps failing = DefaultFrameRenderSteps();
    failing.translate = [](GWorldWrapper&, Point, Point, Point) { throw std::bad_alloc(); };
    SetFrameRenderStepsForTesting(&failing);
    EXPECT_FALSE(CreateInitialStack());
    EXPECT_FALSE(gRedStack);
    EXPECT_EQ(gNumFramesInStack, 0.0);
    EXPECT_EQ(interaction.AlertCount(), 3);
    SetFrameRenderStepsForTesting(nullptr);
    EXPECT_TRUE(CreateInitialStack());
    EXPECT_TRUE(HaveSummedStack());
}

TEST_F(SummedStackTest, DeleteFrameStackKeepsTheDivisor)
{
    gImageDim = MakeRect(0, 0, 2, 2);
    AddClip(2, 2, 1);
    ASSERT_TRUE(CreateInitialStack());
    gFrameStackOffsetRed = MakePoint(1, 1);
    gLastStarBrightnessThreshold = 40;
    DeleteFrameStack();
    EXPECT_FALSE(gRedStack);
    EXPECT_FALSE(gFrameStack);
    EXPECT_EQ(gNumFramesInStack, 1.0);
    EXPECT_EQ(gFrameStackOffsetRed, Point{});
    EXPECT_EQ(gLastStarBrightnessThreshold, -1);
    EXPECT_GE(mDisplay.hidden, 1);
}

TEST_F(SummedStackTest, AMaskOfAnotherSizeCountsAsNoHotPixels)
{
    gImageDim = MakeRect(0, 0, 4, 4);
    Frame* frame = AddClip(4, 4, 9);
    gHotPixelMask.Reset(5, 4);
    std::fill(gHotPixelMask.pixels.begin(), gHotPixelMask.pixels.end(), 1);
    ASSERT_TRUE(CreateInitialStack());
    FrameLease modified = frame->GetModified(false);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(gRedStack[static_cast<std::size_t>(y * 4 + x)], GetPixel(*modified, x, y).r);
    // The same mask at the clips' size leaves everything out.
    gHotPixelMask.Reset(4, 4);
    std::fill(gHotPixelMask.pixels.begin(), gHotPixelMask.pixels.end(), 1);
    modified.reset();
    ASSERT_TRUE(CreateInitialStack());
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(gRedStack[static_cast<std::size_t>(i)], 0);
}

TEST_F(SummedStackTest, AStackOfTheSameSizeAgainStartsFromZero)
{
    // The planes of the first stack are taken again for the second: none of
    // their sums may stay, whether the second adds clips or none.
    gImageDim = MakeRect(0, 0, 9, 13);
    for (int i = 0; i < 3; ++i) {
        Frame* frame = AddClip(13, 9, static_cast<uint32_t>(70 + i));
        FrameLease original = frame->GetOriginal();
        FillFlat(*original, static_cast<uint8_t>(10 + i), static_cast<uint8_t>(20 + i), static_cast<uint8_t>(30 + i));
        frame->UpdateFrameMinimal();
    }
    auto expectEverywhere = [](int32_t red, int32_t green, int32_t blue) {
        for (std::size_t i = 0; i < 9 * 13; ++i) {
            ASSERT_EQ(gRedStack[i], red) << i;
            ASSERT_EQ(gGreenStack[i], green) << i;
            ASSERT_EQ(gBlueStack[i], blue) << i;
        }
    };
    ASSERT_TRUE(CreateInitialStack());
    EXPECT_EQ(gRedStack[50], 10 + 11 + 12);
    gFrames[0]->SetSumStackIncluded(false);
    gFrames[2]->SetSumStackIncluded(false);
    ASSERT_TRUE(CreateInitialStack());
    expectEverywhere(11, 21, 31);
    gFrames[1]->SetSumStackIncluded(false);
    ASSERT_TRUE(CreateInitialStack());
    expectEverywhere(0, 0, 0);
}
