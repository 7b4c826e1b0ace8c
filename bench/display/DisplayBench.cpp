// bench/display/DisplayBench.cpp: drawing a clip into the frame inspector and
// an image into a dialog's thumbnail, against Qt's own path in the same run
// (the whole image converted to a QImage, then drawn scaled by QPainter).
//
// Prints, per case:
//   display <case> <w>x<h>-><dw>x<dh> blit_ms=<x> qpainter_ms=<y> speedup=<y/x>
#include <QApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <memory>

#include "platform/core/GWorldWrapper.h"
#include "platform/qt/CanvasDrawing.h"

namespace {

using Clock = std::chrono::steady_clock;

void Fill(GWorldWrapper& image)
{
    uint32_t s = 12345;
    for (int y = 0; y < image.Height(); ++y) {
        uint8_t* row = image.PixelRow(y);
        for (int x = 0; x < 4 * image.Width(); ++x) {
            s = s * 1664525u + 1013904223u;
            row[x] = static_cast<uint8_t>(s >> 24);
        }
    }
}

// Qt's path: convert every source pixel, then let QPainter scale.
void QPainterPath(QImage& target, const GWorldWrapper& image, const QRect& dst)
{
    QImage pixels(image.Width(), image.Height(), QImage::Format_RGB32);
    for (int y = 0; y < image.Height(); ++y) {
        const uint8_t* row = image.PixelRow(y);
        auto* out = reinterpret_cast<QRgb*>(pixels.scanLine(y));
        for (int x = 0; x < image.Width(); ++x, row += 4)
            out[x] = qRgb(row[1], row[2], row[3]);
    }
    QPainter painter(&target);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(dst, pixels);
}

template <typename Draw> double BestMs(Draw&& draw, int repeats)
{
    double best = 1e30;
    for (int run = 0; run < 5; ++run) {
        const auto t0 = Clock::now();
        for (int i = 0; i < repeats; ++i)
            draw();
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count() / repeats;
        best = std::min(best, ms);
    }
    return best;
}

void Case(const char* name, int w, int h, int dw, int dh, int repeats)
{
    GWorldWrapper image(32, MakeRect(0, 0, h, w), -1);
    Fill(image);
    QImage target(dw + 20, dh + 20, QImage::Format_RGB32);
    const QRect dst(10, 10, dw, dh);
    const double blit = BestMs([&] { BlitImageScaled(target, image, dst); }, repeats);
    const double qt = BestMs([&] { QPainterPath(target, image, dst); }, repeats);
    std::printf("display %s %dx%d->%dx%d blit_ms=%.3f qpainter_ms=%.3f speedup=%.2f\n", name, w, h, dw, dh, blit, qt,
                qt / blit);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Case("inspector", 1920, 1080, 800, 450, 20);
    Case("inspector", 640, 480, 800, 600, 20);
    Case("thumbnail", 1920, 1080, 160, 90, 50);
    Case("thumbnail", 4091, 3000, 160, 117, 10);
    return 0;
}
