// bench/pipeline/PipelineBench.cpp: a user's session on synthetic frames,
// timed stage by stage: picture files handed to the program (the picture
// import job), every clip selected and aligned by difference over a bounds
// rectangle (search size 0, as while "1" is held), then the summed stack,
// each through the program's own commands and jobs, with 1 and 8 threads.
//
// Prints one line a stage and thread count:
//   pipeline <stage> frames=<n> threads=<t> fps=<x> <reference>_fps=<y> ratio=<x/y>
// with stages import, align, stack and total. The references are measured in
// the same run: png_decode (the same files decoded by QImageReader alone, on
// as many plain threads, each picture freed before the next, so that its
// memory is reused; the faster of a pass before the session and one after
// it, against the faster of two imports) for import and total, memcpy (one
// clip's bytes copied, one thread) for align and stack. The import is also set against png_decode_kept, the same
// decoding with every picture kept until the pass ends, as the import keeps
// every clip: that reference pays for fresh memory as the import does.
//
// Usage: bench_pipeline [frames]   (default 1000; a few dozen for a quick run)
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <QImage>
#include <QImageReader>
#include <QString>

#include "shell/AlignmentModes.h"
#include "app/Commands.h"
#include "app/MainWindows.h"
#include "shell/OperationBoundsRect.h"
#include "shell/ShellSettings.h"
#include "bench/support/BenchSession.h"
#include "engine/AlignByDifference.h"
#include "engine/Frame.h"
#include "engine/FrameList.h"
#include "engine/SummedStack.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kDefaultFrames = 1000;
constexpr int kMaxShift = 8;     // pixels
constexpr int kBoundsSide = 128; // the bounds rectangle the user draws on the subject
constexpr int kThreadCounts[] = {1, 8};

// Frames a second of decoding the files with QImageReader alone on threads
// threads. With keep, every picture is held until the pass has ended, as an
// import holds each one it decodes; without, each is freed before the next,
// whose pixels then take the memory it gave back.
double PngDecodeFramesPerSecond(const std::vector<PlanetPicture>& files, int threads, bool keep)
{
    std::atomic<int> failures{0};
    std::atomic<uint32_t> sink{0};
    std::vector<QImage> pictures(keep ? files.size() : 0); // each written by one thread only
    const auto start = BenchClock::now();
    ParallelFor(static_cast<int>(files.size()), threads, [&](int i) {
        QImageReader reader(QString::fromStdString(files[static_cast<std::size_t>(i)].path.string()));
        QImage local;
        QImage& image = keep ? pictures[static_cast<std::size_t>(i)] : local;
        image = reader.read();
        if (image.isNull())
            ++failures;
        else
            sink += image.pixel(kWidth / 2, kHeight / 2);
    });
    const double seconds = SecondsBetween(start, BenchClock::now());
    if (failures > 0)
        std::fprintf(stderr, "pipeline: QImageReader could not decode %d files\n", failures.load());
    return seconds > 0.0 ? files.size() / seconds : 0.0;
}

// Clips whose alignment is not the negated shift of their picture relative
// to clip 0's: the session's result, checked so that a fast wrong run is
// seen. Each such clip is named on stderr.
int MisalignedClips(const std::vector<PlanetPicture>& files)
{
    const int n = FrameCount();
    const int reference = n > 0 ? PlanetPictureNumber(*FrameAt(0)) : -1;
    if (reference < 0 || reference >= static_cast<int>(files.size()))
        return n;
    const Point r = files[static_cast<std::size_t>(reference)].shift;
    int wrong = 0;
    for (int i = 1; i < n; ++i) {
        const int number = PlanetPictureNumber(*FrameAt(i));
        if (number < 0 || number >= static_cast<int>(files.size())) {
            ++wrong;
            continue;
        }
        const Point s = files[static_cast<std::size_t>(number)].shift;
        const Point want = MakePoint(r.v - s.v, r.h - s.h);
        const Point got = FrameAt(i)->GetAlignment(1);
        if (got == want && FrameAt(i)->GetAlignment(2) == want && FrameAt(i)->GetAlignment(3) == want)
            continue;
        ++wrong;
        std::fprintf(stderr,
                     "pipeline: picture %d (shift %d, %d; reference %d, %d) aligned to (%d, %d), not (%d, %d)\n",
                     number, s.v, s.h, r.v, r.h, got.v, got.h, want.v, want.h);
    }
    return wrong;
}

void PrintStage(const char* stage, int frames, int threads, double seconds, const char* reference, double referenceFps)
{
    const double fps = seconds > 0.0 ? frames / seconds : 0.0;
    std::printf("pipeline %s frames=%d threads=%d fps=%.1f %s_fps=%.1f ratio=%.3f\n", stage, frames, threads, fps,
                reference, referenceFps, referenceFps > 0.0 ? fps / referenceFps : 0.0);
    std::fflush(stdout);
}

// One session: import, align, stack. False when a stage failed.
bool RunSession(BenchSession& session, const std::vector<PlanetPicture>& files, int threads, double memcpyFps)
{
    const int n = static_cast<int>(files.size());
    CloseMainWindow();
    gNumThreads = threads;
    // The reference is decoded before and again after the session, and the
    // faster pass counts: on a shared machine the load changes within a run.
    double decodeFps = PngDecodeFramesPerSecond(files, threads, false);
    double keptFps = PngDecodeFramesPerSecond(files, threads, true);
    CommandOperations& ops = GetCommandOperations();

    // The import twice, the document closed between, and the faster counts,
    // as the faster of the reference's two passes does; the session goes on
    // with the clips of the second.
    double importSeconds = 1e30;
    for (int pass = 0; pass < 2; ++pass) {
        if (pass > 0)
            CloseMainWindow();
        const auto start = BenchClock::now();
        // Both checked, so that an alert that ended the import is named too.
        const bool opened = OpenPictures(session, files);
        if (!session.Quiet("the import") || !opened) {
            std::fprintf(stderr, "pipeline: the import made %d clips of %d\n", FrameCount(), n);
            return false;
        }
        importSeconds = std::min(importSeconds, SecondsBetween(start, BenchClock::now()));
    }

    ops.persistantSelectAllFrames();
    gOperationBoundsRect = MakeRect(kHeight / 2 - kBoundsSide / 2, kWidth / 2 - kBoundsSide / 2,
                                    kHeight / 2 + kBoundsSide / 2 - 1, kWidth / 2 + kBoundsSide / 2 - 1);
    AlignmentModes difference;
    difference.autoAlignmentSearchSize = 0;
    SetAlignmentModes(difference);
    const auto alignStart = BenchClock::now();
    AutoAlignFramesByDifference();
    const bool aligned = session.RunJobToEnd() && session.Quiet("the alignment");
    const auto alignEnd = BenchClock::now();
    SetAlignmentModes(AlignmentModes{});
    if (!aligned)
        return false;

    ops.createInitialStack();
    const auto stacked = BenchClock::now();
    if (!HaveSummedStack() || !session.Quiet("stacking")) {
        std::fprintf(stderr, "pipeline: no stack was made\n");
        return false;
    }

    decodeFps = std::max(decodeFps, PngDecodeFramesPerSecond(files, threads, false));
    keptFps = std::max(keptFps, PngDecodeFramesPerSecond(files, threads, true));
    PrintStage("import", n, threads, importSeconds, "png_decode", decodeFps);
    PrintStage("import", n, threads, importSeconds, "png_decode_kept", keptFps);
    PrintStage("align", n, threads, SecondsBetween(alignStart, alignEnd), "memcpy", memcpyFps);
    PrintStage("stack", n, threads, SecondsBetween(alignEnd, stacked), "memcpy", memcpyFps);
    PrintStage("total", n, threads, importSeconds + SecondsBetween(alignStart, stacked), "png_decode", decodeFps);
    if (const int wrong = MisalignedClips(files))
        std::fprintf(stderr, "pipeline: %d of %d clips did not reach their known offsets\n", wrong, n - 1);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const int frames = argc > 1 ? std::atoi(argv[1]) : kDefaultFrames;
    if (frames < 2 || frames > 65535) {
        std::fprintf(stderr, "usage: bench_pipeline [frames]   (2 to 65535, default %d)\n", kDefaultFrames);
        return 2;
    }
    BenchSession session("pipeline");
    if (!session.Ok()) {
        std::fprintf(stderr, "pipeline: no scratch folder\n");
        return 1;
    }
    // The subject wanders up to kMaxShift pixels from the centre.
    std::vector<PlanetPicture> files(static_cast<std::size_t>(frames));
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> shift(-kMaxShift, kMaxShift);
    for (PlanetPicture& f : files)
        f.shift = MakePoint(shift(random), shift(random));
    if (!WritePlanetPictures(session.Scratch(), kWidth, kHeight, files)) {
        std::fprintf(stderr, "pipeline: could not write the frames into %s\n", session.Scratch().c_str());
        return 1;
    }
    const double memcpyFps = MemcpyFramesPerSecond(kWidth, kHeight, frames);
    int status = 0;
    for (int threads : kThreadCounts)
        if (!RunSession(session, files, threads, memcpyFps))
            status = 1;
    return status;
}
