// tests/gui/ImportTestSupport.h: what the import and movie dialog tests
// share: a document reset around each test, jobs run to their end through
// the Qt event loop, scripted answers, and pictures written with known pixels.
#pragma once

#include <atomic>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QImageWriter>

#include <gtest/gtest.h>

#include "engine/ClipJobs.h"
#include "shell/Jobs.h"
#include "shell/QtMainThreadQueue.h"
#include "shell/ShellSettings.h"
#include "engine/CalibrationFrames.h"
#include "engine/Frame.h"
#include "engine/FrameList.h"
#include "shell/ImageDim.h"
#include "shell/ScratchImages.h"
#include "engine/Selection.h"
#include "engine/SummedStack.h"
#include "files/OpenImagesAndMovies.h"
#include "platform/core/FreeMemory.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/core/MainThread.h"
#include "tests/gui/GuiTestApp.h"
#include "tests/support/FakeProgressWindows.h"
#include "tests/support/ScriptedInteraction.h"
#include "tests/support/TestImages.h"
#include "tests/unit/MediaFixtures.h"

// A job or a dialog that has not finished by then has hung.
inline constexpr int kImportTimeoutMs = 60000;

// Lets the event loop run until done() holds; false on timeout.
inline bool RunEventsUntil(const std::function<bool()>& done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > kImportTimeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    }
    QCoreApplication::processEvents();
    return true;
}

inline bool RunJobToEnd()
{
    return RunEventsUntil([] { return !IsJobActive(); });
}

inline QImage ToQImage(const Rgb8Picture& p)
{
    QImage image(p.width, p.height, QImage::Format_RGB32);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            image.setPixel(x, y, qRgb(p.At(x, y, 0), p.At(x, y, 1), p.At(x, y, 2)));
    return image;
}

inline QImage ToQImage16(const Rgb16Picture& p, bool grey)
{
    QImage image(p.width, p.height, grey ? QImage::Format_Grayscale16 : QImage::Format_RGBX64);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            if (grey)
                reinterpret_cast<uint16_t*>(image.scanLine(y))[x] = p.At(x, y, 0);
            else
                image.setPixelColor(x, y, QColor::fromRgba64(p.At(x, y, 0), p.At(x, y, 1), p.At(x, y, 2)));
        }
    return image;
}

// 16-bit samples as every 8-bit reader shows them: round(v / 257).
inline Rgb8Picture Narrowed(const Rgb16Picture& wide)
{
    Rgb8Picture p{wide.width, wide.height, std::vector<uint8_t>(wide.rgb.size())};
    for (std::size_t i = 0; i < wide.rgb.size(); ++i)
        p.rgb[i] = static_cast<uint8_t>(std::lround(wide.rgb[i] / 257.0));
    return p;
}

inline void WriteQImage(const QImage& image, const std::filesystem::path& file, const char* format)
{
    QImageWriter writer(QString::fromStdString(file.string()), format);
    writer.setQuality(100);
    ASSERT_TRUE(writer.write(image)) << file << ": " << writer.errorString().toStdString();
}

// True when image holds want, each component within tolerance.
inline bool HoldsPicture(const GWorldWrapper& image, const Rgb8Picture& want, int tolerance, std::string* where)
{
    if (image.Width() != want.width || image.Height() != want.height) {
        *where = "size " + std::to_string(image.Width()) + "x" + std::to_string(image.Height());
        return false;
    }
    for (int y = 0; y < want.height; ++y)
        for (int x = 0; x < want.width; ++x) {
            const Argb p = GetPixel(image, x, y);
            const int got[3] = {p.r, p.g, p.b};
            for (int c = 0; c < 3; ++c)
                if (std::abs(got[c] - want.At(x, y, c)) > tolerance) {
                    *where = "(" + std::to_string(x) + ", " + std::to_string(y) + ") channel " + std::to_string(c) +
                             ": " + std::to_string(got[c]) + " for " + std::to_string(want.At(x, y, c));
                    return false;
                }
        }
    return true;
}

// The clip list as indices, to check numbering.
inline std::vector<int> ClipIndices()
{
    std::vector<int> indices;
    for (int i = 0; i < FrameCount(); ++i)
        indices.push_back(FrameAt(i)->GetIndex());
    return indices;
}

// An empty document before and after each test, jobs through the Qt event
// loop with a recording progress window, and the wrong-size question
// answered by the test.
class ImportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GuiTestApp();
        InstallQtJobEvents();
        mProgress = std::make_unique<FakeProgressWindows>();
        JobHooks& hooks = GetJobHooks();
        hooks.askWrongImageDim = [this] {
            ++mQuestions;
            if (mOnQuestion)
                mOnQuestion();
            return mAcceptOtherSizes;
        };
        GetFrameJobDisplay().drawClip = nullptr;
        GetFrameJobDisplay().markWorkingClip = nullptr;
        GetFrameJobDisplay().updateFrameInspector = nullptr;
        // Alerts of workers reach the main thread through the event loop.
        SetMainThreadPoster(
            [](std::function<void()> task) { QMetaObject::invokeMethod(qApp, std::move(task), Qt::QueuedConnection); });
        gNumThreads = 1;
        ResetDocument();
    }
    void TearDown() override
    {
        EXPECT_TRUE(RunJobToEnd());
        QCoreApplication::processEvents(); // deferred deletions
        ResetDocument();
        mProgress.reset();
        SetFreeMemForTesting(nullptr);
        GetJobHooks().askWrongImageDim = nullptr;
        SetMainThreadPoster(nullptr);
    }
    static void ResetDocument()
    {
        gFrames.clear();
        gTempGWs.clear();
        gImageDim = Rect{};
        gHotPixelMask.Clear();
        gDarkFrame.reset();
        gFlatFrame.reset();
        gTempSelectionIndex = -1;
    }
    void Import(const std::vector<std::filesystem::path>& files)
    {
        std::vector<std::string> paths;
        for (const auto& f : files)
            paths.push_back(f.string());
        OpenImagesAndMovies(&paths);
        ASSERT_TRUE(RunJobToEnd());
    }
    int AlertsTitled(const std::string& title) const
    {
        int n = 0;
        for (const auto& shown : mAlerts.Alerts())
            n += shown.request.title == title;
        return n;
    }

    ScriptedInteraction mAlerts;
    std::unique_ptr<FakeProgressWindows> mProgress;
    std::atomic<int> mQuestions{0};
    bool mAcceptOtherSizes = true;
    std::function<void()> mOnQuestion;
    ScratchFolder mDir;
};
