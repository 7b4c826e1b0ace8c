// bench/stack/StackBench.cpp: summing rendered clips into the stack's three
// planes, against a memory copy of the same clip bytes on as many threads in
// the same run; the Stack command through its menu item against the summing
// alone; and the swap of a clip to its temporary files and back.
//
// Arguments pick parts: stack, command, swap, peer (none: all).
// Prints, per size and thread count (1 and 8):
//   stack <w>x<h> n=<N> threads=<t> velmora_gbps=<x> memcpy_gbps=<y> ratio=<x/y>
// then, per thread count:
//   stack_command clips=200 threads=<t> command_ms=<c> core_ms=<k> ratio=<c/k>
// and per size:
//   swap <w>x<h> out_mbps=<x> in_mbps=<y> memcpy_mbps=<z>
// where the byte counts are the clips' pixel bytes (4 per pixel); then the
// peer, per thread count, the same 200 clips written as 16-bit FITS files and
// summed by Siril's command-line program (`stack ... sum`, `setcpu` threads):
//   stack_peer clips=200 size=640x480 threads=<t> velmora_command_ms=<v> siril_stack_ms=<s> siril_process_ms=<p> ratio=<s/v>
// siril_stack_ms is the execution time Siril reports for its stack command,
// siril_process_ms the whole program run; a ratio above 1 means Velmora's
// Stack command is the faster. Siril is installed by scripts/bench; without
// it the line says so.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/Commands.h"
#include "app/MainWindows.h"
#include "shell/ShellSettings.h"
#include "bench/support/BenchSession.h"
#include "engine/Frame.h"
#include "engine/FrameList.h"
#include "shell/ImageDim.h"
#include "engine/StackDisplay.h"
#include "engine/SummedStack.h"
#include "platform/core/FreeMemory.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/core/TempFolder.h"
#include "platform/qt/MenuModel.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

// Noise with a few smooth areas, as real frames are neither flat nor random.
void FillFrame(GWorldWrapper& image, uint32_t seed)
{
    uint32_t s = seed;
    for (int y = 0; y < image.Height(); ++y) {
        uint8_t* row = image.PixelRow(y);
        for (int x = 0; x < image.Width(); ++x) {
            s = s * 1664525u + 1013904223u;
            const uint8_t noise = static_cast<uint8_t>(s >> 27);
            row[4 * x] = 0xFF;
            row[4 * x + 1] = static_cast<uint8_t>(((x + y) >> 3) + noise);
            row[4 * x + 2] = static_cast<uint8_t>((x >> 2) + noise);
            row[4 * x + 3] = static_cast<uint8_t>((y >> 2) + noise);
        }
    }
}

void MakeClips(int width, int height, int count)
{
    gFrames.clear();
    gImageDim = MakeRect(0, 0, height, width);
    for (int i = 0; i < count; ++i) {
        auto original = std::make_unique<GWorldWrapper>(32, gImageDim, -1);
        FillFrame(*original, static_cast<uint32_t>(i + 1));
        auto modified = std::make_unique<GWorldWrapper>(32, gImageDim, -1);
        *modified = *original;
        auto frame = std::make_unique<Frame>(i, original.release(), modified.release());
        // A few aligned clips, as after alignment: per-channel offsets differ.
        if (i % 4 == 1) {
            frame->SetAlignment(MakePoint(1, -2), 1);
            frame->SetAlignment(MakePoint(-1, 1), 3);
        }
        frame->UpdateFrame(false); // rendered now, so the timing sees only the sums
        gFrames.push_back(std::move(frame));
    }
}

// The best of this many runs counts for the stack alone and for the Stack
// command: each takes a few milliseconds, where this machine's noise is of
// the same size.
constexpr int kStackRuns = 5;

// Best of kStackRuns: seconds of CreateInitialStack with the display installed now.
double BestStackSeconds()
{
    double best = 1e30;
    for (int run = 0; run < kStackRuns; ++run) {
        const auto t0 = Clock::now();
        if (!CreateInitialStack())
            std::fprintf(stderr, "stack failed\n");
        best = std::min(best, Seconds(t0, Clock::now()));
    }
    return best;
}

// Best of kStackRuns: seconds of the Stack command chosen from its menu.
double BestCommandSeconds()
{
    double best = 1e30;
    for (int run = 0; run < kStackRuns; ++run) {
        const auto t0 = Clock::now();
        if (!MenuHandler(FourCC("OpSF"), 0, 0) || !HaveSummedStack())
            std::fprintf(stderr, "stack command failed\n");
        best = std::min(best, Seconds(t0, Clock::now()));
    }
    return best;
}

void BenchStack(int width, int height, int count)
{
    MakeClips(width, height, count);
    const double bytes = static_cast<double>(width) * height * 4 * count;
    // The sums alone: no windows to draw into.
    StackDisplay& shown = GetStackDisplay();
    SetStackDisplay(nullptr);
    for (int threads : {1, 8}) {
        gNumThreads = threads;
        const double best = BestStackSeconds();
        // The reference: every clip's pixel bytes copied row by row into one
        // image, the rows split over the same number of threads.
        GWorldWrapper target(32, gImageDim, -1);
        std::vector<FrameLease> leases;
        for (const auto& frame : gFrames)
            leases.push_back(frame->GetModified(false));
        double copyBest = 1e30;
        for (int run = 0; run < 3; ++run) {
            const auto t0 = Clock::now();
            ParallelFor(threads, threads, [&](int t) {
                const int y0 = height * t / threads, y1 = height * (t + 1) / threads;
                for (const FrameLease& lease : leases)
                    for (int y = y0; y < y1; ++y)
                        std::memcpy(target.PixelRow(y), lease->PixelRow(y), static_cast<std::size_t>(width) * 4);
            });
            copyBest = std::min(copyBest, Seconds(t0, Clock::now()));
        }
        volatile uint8_t sink = target.PixelRow(height / 2)[5];
        (void)sink;
        const double velmora = bytes / best / 1e9, reference = bytes / copyBest / 1e9;
        std::printf("stack %dx%d n=%d threads=%d velmora_gbps=%.3f memcpy_gbps=%.3f ratio=%.3f\n", width, height,
                    count, threads, velmora, reference, velmora / reference);
        std::fflush(stdout);
    }
    SetStackDisplay(&shown);
    DeleteFrameStack();
    gFrames.clear();
}

// The Stack command chosen from its menu, with the clips window showing the
// clips and the progress window up, against CreateInitialStack with no
// windows to draw into.
void BenchStackCommand(int count)
{
    MakeClips(640, 480, count);
    GetCommandOperations().relayoutClipsWindow();
    for (int threads : {1, 8}) {
        gNumThreads = threads;
        const double command = BestCommandSeconds();
        StackDisplay& shown = GetStackDisplay();
        SetStackDisplay(nullptr);
        const double core = BestStackSeconds();
        SetStackDisplay(&shown);
        std::printf("stack_command clips=%d threads=%d command_ms=%.1f core_ms=%.1f ratio=%.3f\n", count, threads,
                    command * 1e3, core * 1e3, command / core);
        std::fflush(stdout);
    }
    DeleteFrameStack();
    gFrames.clear();
}

void BenchSwap(int width, int height)
{
    MakeClips(width, height, 2);
    Frame& frame = *gFrames[1];
    const double bytes = static_cast<double>(width) * height * 4 * 2; // original and modified
    double outBest = 1e30, inBest = 1e30;
    for (int run = 0; run < 5; ++run) {
        const auto t0 = Clock::now();
        if (!frame.SendToTempDiskFile())
            std::fprintf(stderr, "swap-out failed\n");
        const auto t1 = Clock::now();
        if (!frame.RetrieveFromTempDiskFile())
            std::fprintf(stderr, "swap-in failed\n");
        const auto t2 = Clock::now();
        outBest = std::min(outBest, Seconds(t0, t1));
        inBest = std::min(inBest, Seconds(t1, t2));
    }
    GWorldWrapper copy(32, gImageDim, -1);
    double copyBest = 1e30;
    for (int run = 0; run < 5; ++run) {
        const auto t0 = Clock::now();
        FrameLease original = frame.GetOriginal();
        FrameLease modified = frame.GetModified(false);
        copy = *original;
        copy = *modified;
        copyBest = std::min(copyBest, Seconds(t0, Clock::now()));
    }
    std::printf("swap %dx%d out_mbps=%.1f in_mbps=%.1f memcpy_mbps=%.1f\n", width, height, bytes / outBest / 1e6,
                bytes / inBest / 1e6, bytes / copyBest / 1e6);
    std::fflush(stdout);
    gFrames.clear();
}


// One FITS header card: keyword, value indicator and the value right-aligned
// in columns 11-30.
std::string FitsCard(const char* keyword, const std::string& value)
{
    char card[81];
    std::snprintf(card, sizeof card, "%-8s= %20s", keyword, value.c_str());
    std::string text(card);
    text.resize(80, ' ');
    return text;
}

// A clip's original image as a 16-bit FITS file of three planes (red, green,
// blue), each 8-bit sample scaled to the full 16-bit range.
bool WriteFits16(const std::filesystem::path& path, const GWorldWrapper& image)
{
    const int w = image.Width(), h = image.Height();
    std::string header = FitsCard("SIMPLE", "T") + FitsCard("BITPIX", "16") + FitsCard("NAXIS", "3") +
                         FitsCard("NAXIS1", std::to_string(w)) + FitsCard("NAXIS2", std::to_string(h)) +
                         FitsCard("NAXIS3", "3") + FitsCard("BZERO", "32768") + FitsCard("BSCALE", "1");
    header += std::string("END").append(77, ' ');
    header.resize((header.size() + 2879) / 2880 * 2880, ' ');
    std::vector<uint8_t> data(static_cast<std::size_t>(w) * h * 3 * 2);
    std::size_t at = 0;
    for (int c = 0; c < 3; ++c)
        for (int y = h - 1; y >= 0; --y) { // FITS rows run bottom to top
            const uint8_t* row = image.PixelRow(y);
            for (int x = 0; x < w; ++x) {
                const int stored = row[4 * x + 1 + c] * 257 - 32768; // big-endian, offset by BZERO
                data[at++] = static_cast<uint8_t>((stored >> 8) & 0xFF);
                data[at++] = static_cast<uint8_t>(stored & 0xFF);
            }
        }
    data.resize((data.size() + 2879) / 2880 * 2880, 0);
    std::ofstream out(path, std::ios::binary);
    out.write(header.data(), static_cast<std::streamsize>(header.size()));
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(out);
}

// Runs Siril's command-line program on script in folder; returns the
// execution time it reports for its stack command (-1 when it failed) and
// sets *processSeconds to the whole run.
double RunSirilStack(const std::filesystem::path& folder, const std::string& script, double* processSeconds)
{
    const std::filesystem::path scriptPath = folder / "stack.ssf";
    const std::filesystem::path logPath = folder / "siril.log";
    std::ofstream(scriptPath) << script;
    const std::string command = "siril-cli -d '" + folder.string() + "' -s '" + scriptPath.string() + "' >'" +
                                logPath.string() + "' 2>&1";
    const auto t0 = Clock::now();
    const int status = std::system(command.c_str());
    *processSeconds = Seconds(t0, Clock::now());
    if (status != 0)
        return -1.0;
    // "log: Stacked sequence successfully." is followed by
    // "log: Execution time: <t> s." (or "<m> min <s> s").
    std::ifstream log(logPath);
    std::string line;
    bool stacked = false;
    while (std::getline(log, line)) {
        if (line.find("Stacked sequence successfully") != std::string::npos)
            stacked = true;
        const std::size_t at = line.find("Execution time:");
        if (stacked && at != std::string::npos) {
            // sscanf counts conversions, not the literals after them, so the
            // unit is read as a word and compared whole.
            double minutes = 0.0, value = 0.0;
            char unit[8] = {};
            const char* text = line.c_str() + at + std::strlen("Execution time:");
            if (std::sscanf(text, " %lf min %lf s", &minutes, &value) == 2)
                return minutes * 60.0 + value;
            if (std::sscanf(text, " %lf %7[a-z]", &value, unit) == 2) {
                if (std::strcmp(unit, "s") == 0)
                    return value;
                if (std::strcmp(unit, "ms") == 0)
                    return value / 1000.0;
            }
        }
    }
    return -1.0;
}

// The Stack command against Siril's sum stack of the same clips as 16-bit
// FITS files, at 1 and 8 threads.
void BenchPeerSiril(const std::filesystem::path& scratch, int count)
{
    if (std::system("command -v siril-cli >/dev/null 2>&1") != 0) {
        std::printf("stack_peer siril=unavailable (no siril-cli; scripts/bench stack installs the siril package)\n");
        std::fflush(stdout);
        return;
    }
    MakeClips(640, 480, count);
    const std::filesystem::path folder = scratch / "siril";
    std::filesystem::create_directories(folder);
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "frame_%05d.fit", i + 1);
        FrameLease original = gFrames[static_cast<std::size_t>(i)]->GetOriginal();
        if (!original || !WriteFits16(folder / name, *original)) {
            std::fprintf(stderr, "stack_peer: could not write %s\n", name);
            return;
        }
    }
    GetCommandOperations().relayoutClipsWindow();
    // A first run makes Siril's sequence file and reads the frames into the
    // page cache, as Velmora's clips are in memory.
    double process = 0.0;
    (void)RunSirilStack(folder, "requires 1.0.0\nstack frame_ sum -out=warm\n", &process);
    for (int threads : {1, 8}) {
        gNumThreads = threads;
        const double command = BestCommandSeconds();
        const std::string script = "requires 1.0.0\nsetcpu " + std::to_string(threads) + "\nstack frame_ sum -out=sum" +
                                   std::to_string(threads) + "\n";
        double siril = 1e30, sirilProcess = 1e30;
        for (int run = 0; run < 2; ++run) {
            const double s = RunSirilStack(folder, script, &process);
            if (s < 0.0) {
                std::printf("stack_peer siril=failed (see %s)\n", (folder / "siril.log").c_str());
                std::fflush(stdout);
                return;
            }
            siril = std::min(siril, s);
            sirilProcess = std::min(sirilProcess, process);
        }
        std::printf("stack_peer clips=%d size=640x480 threads=%d velmora_command_ms=%.1f siril_stack_ms=%.1f "
                    "siril_process_ms=%.1f ratio=%.2f\n",
                    count, threads, command * 1e3, siril * 1e3, sirilProcess * 1e3, siril / command);
        std::fflush(stdout);
    }
    DeleteFrameStack();
    gFrames.clear();
    std::filesystem::remove_all(folder);
}

} // namespace

// Arguments name the parts to run (stack, command, swap, peer); none runs all.
int main(int argc, char** argv)
{
    auto wanted = [&](const char* part) {
        if (argc < 2)
            return true;
        for (int i = 1; i < argc; ++i)
            if (std::strcmp(argv[i], part) == 0)
                return true;
        return false;
    };
    BenchSession session("stack");
    if (!session.Ok()) {
        std::fprintf(stderr, "stack: no scratch folder\n");
        return 1;
    }
    // Plenty of memory as far as the policy knows: nothing is swapped while
    // the sums are timed.
    SetFreeMemForTesting([] { return int64_t{1} << 40; });
    // The swap goes to the program's own folder (the user's cache folder,
    // on disk), not to /tmp, which may be memory.
    gMaxClipDim = MakeRect(0, 0, 96, 128);
    gRotationMethod = 1;
    if (wanted("stack")) {
        BenchStack(640, 480, 200);
        BenchStack(1920, 1080, 200);
    }
    if (wanted("command"))
        BenchStackCommand(200);
    if (wanted("swap")) {
        BenchSwap(640, 480);
        BenchSwap(1920, 1080);
    }
    if (wanted("peer"))
        BenchPeerSiril(session.Scratch(), 200);
    return 0;
}
