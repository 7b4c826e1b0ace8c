// bench/support/BenchSession.cpp: the program started for a benchmark, and
// the synthetic frames and memory-copy reference the benchmarks share.
#include "bench/support/BenchSession.h"

#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <numbers>
#include <system_error>
#include <vector>

#include <atomic>
#include <cstdio>
#include <thread>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QImageWriter>
#include <QString>
#include <QTimer>

#include "app/Application.h"
#include "app/Commands.h"
#include "shell/Jobs.h"
#include "app/MainWindows.h"
#include "engine/Frame.h"
#include "engine/FrameList.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/core/TempFolder.h"
#include "platform/core/UserInteraction.h"
#include "platform/qt/SettingsStore.h"

namespace {

constexpr int kJobTimeoutMs = 10 * 60 * 1000;

// Answers every alert with its cancel button and counts alerts and beeps;
// beeps may come from workers.
class CountingInteraction final : public UserInteraction {
public:
    bool RunAlert(const AlertRequest& request) override
    {
        std::lock_guard<std::mutex> lock(mMutex);
        ++mAlerts;
        mLastTitle = request.title;
        return false;
    }
    void Beep() override
    {
        std::lock_guard<std::mutex> lock(mMutex);
        ++mBeeps;
    }
    int Take(std::string* lastTitle)
    {
        std::lock_guard<std::mutex> lock(mMutex);
        const int n = mAlerts + mBeeps;
        if (lastTitle)
            *lastTitle = mLastTitle;
        mAlerts = mBeeps = 0;
        mLastTitle.clear();
        return n;
    }

private:
    std::mutex mMutex; // guards the three fields below
    int mAlerts = 0;
    int mBeeps = 0;
    std::string mLastTitle;
};

// One round of a well-mixing 32-bit integer hash: every output bit depends
// on every input bit.
uint32_t Mix(uint32_t h)
{
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

// A hash of (x, y, seed) for the frames' noise: the same frame every run,
// and noise of different seeds unrelated (noise repeated from frame to frame
// would be a fixed pattern that alignment locks onto).
uint32_t Hash(uint32_t x, uint32_t y, uint32_t seed)
{
    return Mix(x + Mix(y + Mix(seed)));
}

// The offscreen platform warns of every window operation it cannot do
// (raise, size hints); those lines would bury the results.
QtMessageHandler sPreviousMessageHandler = nullptr;

void QuietOffscreenWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("This plugin does not support")))
        return;
    if (sPreviousMessageHandler)
        sPreviousMessageHandler(type, context, message);
}

uint8_t Clamp8(double v)
{
    return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

} // namespace

struct BenchSession::Impl {
    std::filesystem::path scratch;
    std::unique_ptr<QApplication> application;
    CountingInteraction interaction;
};

double SecondsBetween(BenchClock::time_point a, BenchClock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

std::filesystem::path MakeScratchFolder(const std::string& prefix)
{
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec)
        base = "/tmp";
    std::string pattern = (base / (prefix + "-XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data()))
        return {};
    return std::filesystem::path(buffer.data());
}

BenchSession::BenchSession(const std::string& name) : mImpl(std::make_unique<Impl>())
{
    mImpl->scratch = MakeScratchFolder("velmora-" + name);
    if (mImpl->scratch.empty())
        return;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    sPreviousMessageHandler = qInstallMessageHandler(&QuietOffscreenWarnings);
    static int argc = 1;
    static char program[] = "velmora-bench";
    static char* argv[] = {program, nullptr};
    mImpl->application = std::make_unique<QApplication>(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    SetSettingsFileForTesting((mImpl->scratch / "preferences.ini").string());
    StartShell({});
    // The shell installed its message boxes; nobody would answer them here.
    SetUserInteraction(&mImpl->interaction);
}

BenchSession::~BenchSession()
{
    if (mImpl->application) {
        (void)RunJobToEnd(); // no job may outlive its clips
        CloseMainWindow();
        EndShell();
        SetUserInteraction(nullptr);
        RemovePrivateTempFolder();
        mImpl->application.reset();
        qInstallMessageHandler(sPreviousMessageHandler);
    }
    if (!mImpl->scratch.empty()) {
        std::error_code ignored; // a folder left in /tmp is no failure of the run
        std::filesystem::remove_all(mImpl->scratch, ignored);
    }
}

bool BenchSession::Ok() const
{
    return mImpl->application != nullptr;
}

const std::filesystem::path& BenchSession::Scratch() const
{
    return mImpl->scratch;
}

bool BenchSession::RunJobToEnd()
{
    // A blocking loop, as the program's own: polling processEvents would keep
    // a processor busy that the workers need.
    bool timedOut = false;
    if (IsJobActive()) {
        QEventLoop loop;
        QElapsedTimer elapsed;
        elapsed.start();
        QTimer check;
        check.setInterval(2);
        QObject::connect(&check, &QTimer::timeout, &loop, [&] {
            timedOut = elapsed.elapsed() > kJobTimeoutMs;
            if (!IsJobActive() || timedOut)
                loop.quit();
        });
        check.start();
        loop.exec();
    }
    QCoreApplication::processEvents();
    return !timedOut;
}

bool BenchSession::Quiet(const std::string& what)
{
    std::string title;
    const int n = mImpl->interaction.Take(&title);
    if (n > 0)
        std::fprintf(stderr, "%d alerts or beeps during %s (last alert \"%s\")\n", n, what.c_str(), title.c_str());
    return n == 0;
}

void ParallelFor(int n, int threads, const std::function<void(int i)>& body)
{
    if (n <= 0)
        return;
    threads = std::max(1, std::min(threads, n));
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        const int first = static_cast<int>(static_cast<long>(n) * t / threads);
        const int end = static_cast<int>(static_cast<long>(n) * (t + 1) / threads);
        pool.emplace_back([first, end, &body] {
            for (int i = first; i < end; ++i)
                body(i);
        });
    }
    for (std::thread& thread : pool)
        thread.join();
}

double MemcpyFramesPerSecond(int width, int height, int frames)
{
    // Sources enough to leave the caches, as the clips of a document do.
    constexpr int kSources = 16;
    const Rect bounds = MakeRect(0, 0, height, width);
    std::vector<std::unique_ptr<GWorldWrapper>> sources;
    for (int i = 0; i < kSources; ++i) {
        sources.push_back(std::make_unique<GWorldWrapper>(32, bounds, -1));
        DrawPlanetFrame(*sources.back(), Point{}, 0.0, static_cast<uint32_t>(i));
    }
    GWorldWrapper target(32, bounds, -1);
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
    double best = 1e30;
    for (int pass = 0; pass < 3; ++pass) {
        const auto start = BenchClock::now();
        for (int f = 0; f < frames; ++f) {
            const GWorldWrapper& source = *sources[static_cast<std::size_t>(f % kSources)];
            for (int y = 0; y < height; ++y)
                std::memcpy(target.PixelRow(y), source.PixelRow(y), rowBytes);
        }
        best = std::min(best, SecondsBetween(start, BenchClock::now()));
    }
    volatile uint8_t sink = target.PixelRow(height / 2)[4 * (width / 2) + 1];
    (void)sink;
    return best > 0.0 ? frames / best : 0.0;
}

void DrawPlanetFrame(GWorldWrapper& image, Point shift, double turns, uint32_t seed)
{
    const int width = image.Width(), height = image.Height();
    const double cx = width / 2 + shift.h, cy = height / 2 + shift.v;
    const double radius = 0.35 * std::min(width, height);
    const double angle = 2.0 * std::numbers::pi * turns;
    const double c = std::cos(angle), s = std::sin(angle);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = image.PixelRow(y);
        for (int x = 0; x < width; ++x) {
            const double dx = x - cx, dy = y - cy;
            const double r2 = dx * dx + dy * dy;
            double value = 8.0; // the sky
            if (r2 < radius * radius) {
                // Surface coordinates, turned with the planet.
                const double u = c * dx + s * dy, v = -s * dx + c * dy;
                value = 50.0 + 140.0 * std::sqrt(1.0 - r2 / (radius * radius)) +
                        25.0 * std::sin(u / 6.3) * std::sin(v / 8.7) + 18.0 * std::sin((u + 2.0 * v) / 15.1) +
                        40.0 * std::exp(-((u - 40.0) * (u - 40.0) + (v + 25.0) * (v + 25.0)) / 180.0) -
                        35.0 * std::exp(-((u + 55.0) * (u + 55.0) + (v - 30.0) * (v - 30.0)) / 320.0);
            }
            const double noise = static_cast<double>(Hash(x, y, seed) & 7u) - 3.5;
            row[4 * x] = 0xFF;
            row[4 * x + 1] = Clamp8(value + noise);
            row[4 * x + 2] = Clamp8(0.85 * value + noise);
            row[4 * x + 3] = Clamp8(0.65 * value + noise);
        }
    }
}

QImage ToRgbQImage(const GWorldWrapper& image)
{
    QImage out(image.Width(), image.Height(), QImage::Format_RGB32);
    for (int y = 0; y < image.Height(); ++y) {
        const uint8_t* row = image.PixelRow(y);
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < image.Width(); ++x)
            line[x] = qRgb(row[4 * x + 1], row[4 * x + 2], row[4 * x + 3]);
    }
    return out;
}

bool WritePlanetPictures(const std::filesystem::path& folder, int width, int height,
                         std::vector<PlanetPicture>& pictures)
{
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%05zu.png", i);
        pictures[i].path = folder / name;
    }
    std::atomic<int> failures{0};
    const int processors = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    ParallelFor(static_cast<int>(pictures.size()), processors, [&](int i) {
        const PlanetPicture& picture = pictures[static_cast<std::size_t>(i)];
        GWorldWrapper image(32, MakeRect(0, 0, height, width), -1);
        DrawPlanetFrame(image, picture.shift, picture.turns, static_cast<uint32_t>(i + 1));
        uint8_t* first = image.PixelRow(0);
        first[1] = static_cast<uint8_t>(i & 0xFF);
        first[2] = static_cast<uint8_t>((i >> 8) & 0xFF);
        QImageWriter writer(QString::fromStdString(picture.path.string()), "png");
        if (!writer.write(ToRgbQImage(image)))
            ++failures;
    });
    return failures == 0;
}

int PlanetPictureNumber(Frame& frame)
{
    FrameLease original = frame.GetOriginal();
    if (!original)
        return -1;
    const uint8_t* first = original->PixelRow(0);
    return first[1] | (first[2] << 8);
}

bool OpenPictures(BenchSession& session, const std::vector<PlanetPicture>& pictures)
{
    std::vector<std::string> paths;
    for (const PlanetPicture& picture : pictures)
        paths.push_back(picture.path.string());
    const int before = FrameCount();
    GetCommandOperations().openDocuments(paths);
    return session.RunJobToEnd() && FrameCount() == before + static_cast<int>(pictures.size());
}
