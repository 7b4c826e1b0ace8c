// bench/files/ReopenBench.cpp: whether a document leaves anything behind once
// it is closed. Each case opens workspaces 1000 times in one process through
// the Open Workspace command's own path (OpenWorkspaceFrom), each closed as
// File ▸ Close closes the clips window or replaced by the next, the event
// loop given its turn after each as it is in the program. The resident set,
// the heap in use and the number of widgets after the first document are
// compared with those after the last (both with the same file open, or none).
// Alerts of the damaged files are answered and counted by the session.
//
// Prints one line a case:
//   reopen <case> opens=<n> rss_first_mb=<r> rss_last_mb=<r> rss_ratio=<last/first>
//          heap_first_kb=<h> heap_last_kb=<h> widgets_first=<w> widgets_last=<w>
// and exits with status 1 when a case's resident set grew by more than 10 %
// or its widgets grew in number.
//
// Usage: bench_reopen [OPENS]   (1000 by default, at least 12)
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>

#include "app/MainWindows.h"
#include "bench/support/BenchSession.h"
#include "files/Workspace.h"
#include "files/WorkspaceFile.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/core/ResidentSet.h"
#include "shell/MainWindowSet.h"

namespace fs = std::filesystem;

namespace {

struct Layout {
    const char* name;
    int width, height, clips;
    bool asPictures, calibration;
};

// Gradients with a few edges, so that picture blocks hold runs and literals.
void DrawPattern(GWorldWrapper& image, int seed)
{
    const int width = image.Width(), height = image.Height();
    for (int y = 0; y < height; ++y) {
        uint8_t* p = image.PixelRow(y);
        for (int x = 0; x < width; ++x, p += 4) {
            p[0] = 0xFF;
            p[1] = static_cast<uint8_t>(x * 255 / width);
            p[2] = static_cast<uint8_t>((y * 31 + seed) & 0xFF);
            p[3] = static_cast<uint8_t>(((x / 3 + y / 2) & 1) ? 200 : seed);
        }
    }
}

// A workspace of the layout with a hot-pixel mask and, when asked, dark and
// flat frames; false when it could not be written.
bool WriteLayout(const fs::path& file, const Layout& l)
{
    WorkspaceWriteRequest request;
    request.header = WorkspaceHeader{.asPictures = l.asPictures,
                                     .numClips = l.clips,
                                     .width = l.width,
                                     .height = l.height,
                                     .alignmentBrightnessThreshold = 40,
                                     .hasDark = l.calibration,
                                     .hasFlat = l.calibration};
    std::vector<uint8_t> mask(static_cast<std::size_t>(l.width) * l.height, 0);
    mask[mask.size() / 3] = mask[mask.size() / 2] = 1;
    request.mask = mask.data();
    const Rect bounds = MakeRect(0, 0, l.height, l.width);
    GWorldWrapper dark(32, bounds, -1), flat(32, bounds, -1), clip(32, bounds, -1);
    DrawPattern(dark, 3);
    DrawPattern(flat, 90);
    if (l.calibration) {
        request.dark = &dark;
        request.flat = &flat;
    }
    request.clips = [&](int i, WorkspaceClipRecord& record, const std::function<bool(const GWorldWrapper&)>& put) {
        record.included = i != 1;
        record.darkFrameSubtracted = l.calibration;
        record.flatFrameDivided = l.calibration && i == 0;
        record.alignment[0][0] = static_cast<int16_t>(i);
        record.alignment[1][1] = static_cast<int16_t>(-i);
        record.normalization = 100000 + 2500 * i;
        record.medianFilterRadius = i % 3;
        record.medianFilterThreshold = 10 * i;
        DrawPattern(clip, 17 * i);
        return put(clip);
    };
    return WriteWorkspaceFile(file, request) == WorkspaceWriteStatus::ok;
}

// The file cut to `keep` of its bytes, or with bytes changed after its
// header: a file the reader refuses or opens in part.
bool Damage(const fs::path& file, double keep, bool scramble)
{
    std::error_code error;
    const auto size = fs::file_size(file, error);
    if (error)
        return false;
    if (scramble) {
        std::FILE* f = std::fopen(file.c_str(), "r+b");
        if (!f)
            return false;
        for (uintmax_t at = 40; at < size; at += size / 7 + 1) {
            std::fseek(f, static_cast<long>(at), SEEK_SET);
            std::fputc(0xA5, f);
        }
        std::fclose(f);
    }
    fs::resize_file(file, static_cast<uintmax_t>(static_cast<double>(size) * keep), error);
    return !error;
}

// The event loop's turn after a command, deferred deletions included.
void ReturnToEventLoop()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

struct Sample {
    int64_t rss;
    std::size_t heap;
    qsizetype widgets;
};

Sample Take()
{
    return Sample{ProcessStatusBytes("VmRSS"), mallinfo2().uordblks, QApplication::allWidgets().size()};
}

// Opens files[i % n] for i in [0, opens), closing each (close) or letting
// the next replace it, and prints the case's line: the figures after the
// first and after the last whole round of the files. False when it grew.
bool RunCase(const char* name, const std::vector<fs::path>& files, int opens, bool close)
{
    Sample first{}, last{};
    for (int i = 0; i < opens; ++i) {
        (void)OpenWorkspaceFrom(files[static_cast<std::size_t>(i) % files.size()]);
        if (close)
            DoWindowHide(gClipsWindow);
        ReturnToEventLoop();
        if ((static_cast<std::size_t>(i) + 1) % files.size() == 0) {
            last = Take();
            if (first.rss == 0)
                first = last;
        }
    }
    CloseMainWindow();
    ReturnToEventLoop();
    const double ratio = static_cast<double>(last.rss) / static_cast<double>(first.rss);
    std::printf("reopen %s opens=%d rss_first_mb=%.1f rss_last_mb=%.1f rss_ratio=%.3f heap_first_kb=%zu "
                "heap_last_kb=%zu widgets_first=%lld widgets_last=%lld\n",
                name, opens, static_cast<double>(first.rss) / (1 << 20), static_cast<double>(last.rss) / (1 << 20),
                ratio, first.heap / 1024, last.heap / 1024, static_cast<long long>(first.widgets),
                static_cast<long long>(last.widgets));
    std::fflush(stdout);
    return ratio <= 1.10 && last.widgets <= first.widgets;
}

} // namespace

int main(int argc, char** argv)
{
    const int opens = argc > 1 ? std::atoi(argv[1]) : 1000;
    if (opens < 12) {
        std::fprintf(stderr, "usage: %s [OPENS]\n", argv[0]);
        return 2;
    }
    BenchSession session("reopen");
    if (!session.Ok())
        return 1;
    const fs::path& folder = session.Scratch();
    // Images of 128 KiB or more are mappings of their own; the small
    // layouts' images come from the heap.
    const Layout layouts[] = {
        {"raw-calibrated", 640, 480, 6, false, true}, {"pictures", 640, 480, 6, true, false},
        {"small-raw", 100, 80, 3, false, true},       {"small-pictures", 96, 70, 4, true, true},
        {"other-size", 317, 203, 2, false, false},     {"tall", 40, 900, 3, true, true},
    };
    std::vector<fs::path> written;
    for (const Layout& l : layouts) {
        written.push_back(folder / (std::string(l.name) + ".work"));
        if (!WriteLayout(written.back(), l)) {
            std::fprintf(stderr, "bench_reopen: cannot write %s\n", written.back().c_str());
            return 1;
        }
    }
    // Files of every size in turn, some refused and some opened in part, as
    // a fuzzer hands them over.
    std::vector<fs::path> mixed = written;
    for (std::size_t i = 0; i < written.size(); ++i) {
        const fs::path damaged = folder / ("damaged-" + std::to_string(i) + ".work");
        fs::copy_file(written[i], damaged);
        if (!Damage(damaged, i % 2 ? 0.6 : 1.0, i % 3 == 0))
            return 1;
        mixed.push_back(damaged);
    }

    bool flat = true;
    flat = RunCase("raw-calibrated", {written[0]}, opens, true) && flat;
    flat = RunCase("pictures", {written[1]}, opens, true) && flat;
    flat = RunCase("small-raw", {written[2]}, opens, true) && flat;
    flat = RunCase("replaced", {written[0], written[3]}, opens, false) && flat;
    flat = RunCase("mixed", mixed, opens, false) && flat;
    return flat ? 0 : 1;
}
