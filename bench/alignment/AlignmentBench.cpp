// bench/alignment/AlignmentBench.cpp: the time each alignment method takes
// per clip on 640 x 480 clips, through the program's own commands and jobs:
// alignment by difference at its three search sizes, by brightness centroid,
// by cross-correlation and rotational alignment at its three search sizes,
// over square bounds rectangles of side 64, 128 and 256 at the image's
// centre, with 1 and 8 threads.
//
// Prints one line a method, side and thread count:
//   alignment <method> bounds=<side> threads=<t> ms_per_clip=<x> memcpy_ms=<y> ratio=<x/y>
// where ms_per_clip is the job's wall time (command to final) over the clips
// it aligned, and memcpy_ms the time of copying one clip's pixel bytes, one
// thread, measured in the same run. Cross-correlation always runs on one
// worker (the program shares its transform tables); its threads= is the
// setting the user had.
//
// First, for each side, the difference measurement alone:
//   difference_kernel bounds=<side> ns_per_offset_pixel=<x> opencv_ns_per_offset_pixel=<y> ratio=<x/y>
// the time of measuring clip 1's red channel against clip 0's (threshold 0,
// the reference prepared once, as an alignment job does) over the bounds
// rectangle at every offset of -9 ... 9 rows and columns (the widest search's
// reach) in one call, as a search pass measures its offsets, per offset and
// rect pixel; against OpenCV's matchTemplate
// (TM_SQDIFF) of clip 0's red plane over that rectangle in clip 1's red plane
// around it, the same offsets, on one thread. Both are the fastest of a few
// repetitions.
//
// Usage: bench_alignment [clips]   (default 33: the reference and 32 to align)
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "shell/AlignmentModes.h"
#include "app/Commands.h"
#include "shell/OperationBoundsRect.h"
#include "shell/ShellSettings.h"
#include "bench/support/BenchSession.h"
#include "engine/AlignByCentroid.h"
#include "engine/AlignByCrossCorrelation.h"
#include "engine/AlignByDifference.h"
#include "engine/Frame.h"
#include "engine/FrameList.h"
#include "engine/RotationalAlignment.h"
#include "imaging/Measurements.h"
#include "platform/core/GWorldWrapper.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kDefaultClips = 33;
constexpr int kMaxShift = 6; // pixels
constexpr int kMaxTurn = 12; // thousandths of a turn
constexpr int kBoundsSides[] = {64, 128, 256};
constexpr int kThreadCounts[] = {1, 8};
constexpr int kKernelReach = 9;   // offsets -9 ... 9 rows and columns
constexpr int kKernelRepeats = 5; // the fastest counts

struct Method {
    const char* name;
    AlignmentModes modes; // the digit key the user holds while clicking
    std::function<void()> command;
};

std::vector<Method> Methods()
{
    std::vector<Method> methods;
    for (int size = 0; size < 3; ++size) {
        AlignmentModes m;
        m.autoAlignmentSearchSize = size;
        methods.push_back({size == 0   ? "difference_size0"
                           : size == 1 ? "difference_size1"
                                       : "difference_size2",
                           m, &AutoAlignFramesByDifference});
    }
    AlignmentModes centroid;
    centroid.alignByCentroid = true;
    methods.push_back({"centroid", centroid, &AutoAlignFramesByCentroid});
    AlignmentModes correlation;
    correlation.alignByCrossCorrelation = true;
    methods.push_back({"cross_correlation", correlation, &AutoAlignFramesByCrossCorrelation});
    for (int size = 0; size < 3; ++size) {
        AlignmentModes m;
        m.autoRotationalAlignmentSearchSize = size;
        methods.push_back({size == 0   ? "rotational_size0"
                           : size == 1 ? "rotational_size1"
                                       : "rotational_size2",
                           m, &AutoRotationallyAlignFramesByDifference});
    }
    return methods;
}

// Every clip back to no offsets and no rotation, and rendered, as before the
// user's first alignment.
bool ResetClips(BenchSession& session)
{
    ClearFrameAlignment(); // the Option-click: a job over every selected clip, clip 0 included
    if (!session.RunJobToEnd())
        return false;
    for (int i = 0; i < FrameCount(); ++i)
        if (!FrameAt(i)->UpdateFrame(false))
            return false;
    return session.Quiet("resetting the clips");
}

// Seconds of one alignment job over the selected clips; negative on failure.
double TimeAlignment(BenchSession& session, const Method& method)
{
    SetAlignmentModes(method.modes);
    const auto start = BenchClock::now();
    method.command();
    const bool ended = session.RunJobToEnd();
    const double seconds = SecondsBetween(start, BenchClock::now());
    SetAlignmentModes(AlignmentModes{});
    if (!ended || !session.Quiet(method.name))
        return -1.0;
    return seconds;
}

// The square bounds rectangle of side at the image's centre, as the user draws it.
Rect CentredBounds(int side)
{
    return MakeRect(kHeight / 2 - side / 2, kWidth / 2 - side / 2, kHeight / 2 + side / 2 - 1,
                    kWidth / 2 + side / 2 - 1);
}

// The red component of image over rect as an 8-bit plane.
cv::Mat RedPlane(const GWorldWrapper& image, Rect rect)
{
    cv::Mat plane(rect.Height(), rect.Width(), CV_8UC1);
    for (int y = 0; y < rect.Height(); ++y) {
        const uint8_t* p = image.PixelRow(rect.top + y) + 4 * rect.left;
        uint8_t* out = plane.ptr<uint8_t>(y);
        for (int x = 0; x < rect.Width(); ++x)
            out[x] = p[4 * x + 1];
    }
    return plane;
}

// The difference_kernel line of one side; false when the clips cannot be had.
bool TimeDifferenceKernel(int side)
{
    FrameLease reference = FrameAt(0)->GetModified(true);
    FrameLease clip = FrameAt(1)->GetModified(true);
    if (!reference || !clip)
        return false;
    const Rect bounds = CentredBounds(side);
    const int offsets = (2 * kKernelReach + 1) * (2 * kKernelReach + 1);
    const double work = static_cast<double>(offsets) * bounds.Width() * bounds.Height();

    std::vector<Rect> moved;
    for (int v = -kKernelReach; v <= kKernelReach; ++v)
        for (int h = -kKernelReach; h <= kKernelReach; ++h)
            moved.push_back(MakeRect(bounds.top + v, bounds.left + h, bounds.bottom + v, bounds.right + h));
    std::vector<double> values(moved.size());
    double ours = 1e30, sink = 0.0;
    for (int r = 0; r < kKernelRepeats; ++r) {
        const auto start = BenchClock::now();
        const PreparedDifference prepared(*reference, bounds, 1, 0); // once a job, as the alignment does
        prepared.AgainstEach(*clip, true, moved.data(), offsets, values.data()); // as a search pass does
        ours = std::min(ours, SecondsBetween(start, BenchClock::now()));
        sink += values[0];
    }

    cv::setNumThreads(1);
    const cv::Mat templ = RedPlane(*reference, bounds);
    const cv::Mat image = RedPlane(*clip, MakeRect(bounds.top - kKernelReach, bounds.left - kKernelReach,
                                                   bounds.bottom + kKernelReach, bounds.right + kKernelReach));
    cv::Mat result;
    double theirs = 1e30;
    for (int r = 0; r < kKernelRepeats; ++r) {
        const auto start = BenchClock::now();
        cv::matchTemplate(image, templ, result, cv::TM_SQDIFF);
        theirs = std::min(theirs, SecondsBetween(start, BenchClock::now()));
        sink += result.at<float>(0, 0);
    }
    if (sink < 0.0)
        return false; // keeps the measurements from being optimised away
    const double x = ours * 1e9 / work, y = theirs * 1e9 / work;
    std::printf("difference_kernel bounds=%d ns_per_offset_pixel=%.4f opencv_ns_per_offset_pixel=%.4f ratio=%.2f\n",
                side, x, y, x / y);
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const int clips = argc > 1 ? std::atoi(argv[1]) : kDefaultClips;
    if (clips < 2 || clips > 65535) {
        std::fprintf(stderr, "usage: bench_alignment [clips]   (2 to 65535, default %d)\n", kDefaultClips);
        return 2;
    }
    BenchSession session("alignment");
    if (!session.Ok()) {
        std::fprintf(stderr, "alignment: no scratch folder\n");
        return 1;
    }
    // Clips of a planet that wanders and turns a little, as in a capture.
    std::vector<PlanetPicture> pictures(static_cast<std::size_t>(clips));
    std::mt19937 random(2024);
    std::uniform_int_distribution<int> shift(-kMaxShift, kMaxShift), turn(-kMaxTurn, kMaxTurn);
    for (PlanetPicture& p : pictures) {
        p.shift = MakePoint(shift(random), shift(random));
        p.turns = turn(random) / 1000.0;
    }
    gNumThreads = 8;
    if (!WritePlanetPictures(session.Scratch(), kWidth, kHeight, pictures) || !OpenPictures(session, pictures) ||
        !session.Quiet("the import")) {
        std::fprintf(stderr, "alignment: the clips could not be made\n");
        return 1;
    }
    GetCommandOperations().persistantSelectAllFrames();
    const double memcpyMs = 1000.0 / MemcpyFramesPerSecond(kWidth, kHeight, 1000);

    int status = 0;
    for (int side : kBoundsSides)
        if (!TimeDifferenceKernel(side)) {
            std::fprintf(stderr, "alignment: difference_kernel bounds=%d failed\n", side);
            status = 1;
        }
    for (const Method& method : Methods())
        for (int side : kBoundsSides) {
            gOperationBoundsRect = CentredBounds(side);
            for (int threads : kThreadCounts) {
                gNumThreads = threads;
                if (!ResetClips(session)) {
                    status = 1;
                    continue;
                }
                const double seconds = TimeAlignment(session, method);
                if (seconds < 0.0) {
                    std::fprintf(stderr, "alignment: %s bounds=%d threads=%d failed\n", method.name, side, threads);
                    status = 1;
                    continue;
                }
                const double ms = seconds * 1000.0 / (clips - 1);
                std::printf("alignment %s bounds=%d threads=%d ms_per_clip=%.3f memcpy_ms=%.4f ratio=%.1f\n",
                            method.name, side, threads, ms, memcpyMs, ms / memcpyMs);
                std::fflush(stdout);
            }
        }
    return status;
}
