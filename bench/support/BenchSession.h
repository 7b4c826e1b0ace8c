// bench/support/BenchSession.h: what the benchmarks that drive the program's
// own commands share: the program started on the offscreen platform with its
// preferences in a scratch folder, alerts answered and counted, jobs run to
// their end through the event loop, a memory-copy reference, and synthetic
// frames of a textured planet.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/Geometry.h"

class Frame;
class GWorldWrapper;
class QImage;

using BenchClock = std::chrono::steady_clock;

// Seconds from a to b.
double SecondsBetween(BenchClock::time_point a, BenchClock::time_point b);

// A new, empty folder made with mkdtemp under the system's temporary folder,
// named prefix-XXXXXX; an empty path when it cannot be made.
std::filesystem::path MakeScratchFolder(const std::string& prefix);

// The program as a user starts it (StartShell), on the offscreen platform
// unless QT_QPA_PLATFORM names another, with its preferences in a scratch
// folder that goes with the session (swapped-out clips go where the program
// puts them, onto disk).
// Alerts are answered with their cancel button and counted, so a benchmark
// never waits for a user. One session per process; main thread only.
class BenchSession {
public:
    explicit BenchSession(const std::string& name);
    ~BenchSession();
    BenchSession(const BenchSession&) = delete;
    BenchSession& operator=(const BenchSession&) = delete;

    // False when the scratch folder could not be made (nothing else works then).
    bool Ok() const;
    const std::filesystem::path& Scratch() const;

    // Lets the event loop run until no job is active; false when one is
    // still running after ten minutes.
    bool RunJobToEnd();

    // True when no alert was shown and no beep sounded since the last call;
    // otherwise says so on stderr, naming what (the stage) and the last
    // alert's title.
    bool Quiet(const std::string& what);

private:
    struct Impl;
    std::unique_ptr<Impl> mImpl;
};

// Runs body(i) for every i in [0, n) on up to threads plain threads, each
// taking one contiguous chunk; returns when all are done.
void ParallelFor(int n, int threads, const std::function<void(int i)>& body);

// Frames a second of copying one width x height clip's pixel bytes (4 a
// pixel) into another, one thread, best of three passes over frames clips:
// the machine's own speed, against which the benchmarks give ratios.
double MemcpyFramesPerSecond(int width, int height, int frames);

// The synthetic subject: a textured disc ("planet") on a dark sky with a
// little noise, its centre moved shift from the image's centre and its
// surface turned by turns (fractions of a whole turn, clockwise on screen)
// about that centre. Different seeds give different noise only.
void DrawPlanetFrame(GWorldWrapper& image, Point shift, double turns, uint32_t seed);

// The image as a 32-bit RGB QImage (alpha ignored), for writing picture files.
QImage ToRgbQImage(const GWorldWrapper& image);

// A synthetic picture file and where its subject lies.
struct PlanetPicture {
    std::filesystem::path path;
    Point shift;
    double turns = 0.0;
};

// Writes width x height 8-bit RGB PNG files frame-NNNNN.png into folder (on
// every processor), filling in each path. Picture i shows DrawPlanetFrame
// with its shift and turns and carries i in the red and green bytes of its
// top-left pixel, so that its clip is known whatever order the import makes
// the clips in. False when a file could not be written.
bool WritePlanetPictures(const std::filesystem::path& folder, int width, int height,
                         std::vector<PlanetPicture>& pictures);

// The number a clip made from such a picture carries; -1 when its original
// image cannot be had.
int PlanetPictureNumber(Frame& frame);

// Hands the pictures to the program as files named to it from outside (the
// open-documents request) and lets the import job run to its end, with
// gNumThreads workers. True when every picture became a clip.
bool OpenPictures(BenchSession& session, const std::vector<PlanetPicture>& pictures);
