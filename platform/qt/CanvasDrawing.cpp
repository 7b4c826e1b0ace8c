// platform/qt/CanvasDrawing.cpp: scaled blits, text and frames on a canvas image.
#include "platform/qt/CanvasDrawing.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>

#include "platform/core/GWorldWrapper.h"

namespace {

bool Drawable(const QImage& target)
{
    return target.format() == QImage::Format_RGB32 || target.format() == QImage::Format_ARGB32;
}

QFont MakeFont(CanvasFont kind)
{
    const QStringList families = QFontDatabase::families();
    QFont font;
    switch (kind) {
    case CanvasFont::monaco9:
        font = families.contains(QStringLiteral("Monaco")) ? QFont(QStringLiteral("Monaco"))
                                                           : QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPixelSize(9);
        break;
    case CanvasFont::plain9:
        font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
        font.setPixelSize(9);
        break;
    case CanvasFont::helvetica12Bold:
        font = families.contains(QStringLiteral("Helvetica")) ? QFont(QStringLiteral("Helvetica"))
                                                              : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
        font.setPixelSize(12);
        font.setBold(true);
        break;
    }
    return font;
}

// Fonts are built once per kind: looking up families on every clip drawn
// would cost more than drawing it.
const QFont& FontFor(CanvasFont kind)
{
    static const QFont sFonts[] = {MakeFont(CanvasFont::monaco9), MakeFont(CanvasFont::plain9),
                                   MakeFont(CanvasFont::helvetica12Bold)};
    return sFonts[static_cast<int>(kind)];
}

} // namespace

void BlitImageScaled(QImage& target, const GWorldWrapper& image, const QRect& dst)
{
    const int sw = image.Width(), sh = image.Height();
    if (!Drawable(target) || sw <= 0 || sh <= 0 || dst.isEmpty())
        return;
    const QRect visible = dst.intersected(target.rect());
    if (visible.isEmpty())
        return;
    // Column table: the source byte offset of each visible destination column.
    std::vector<int> columns(static_cast<std::size_t>(visible.width()));
    for (int x = 0; x < visible.width(); ++x) {
        const int64_t dx = visible.left() + x - dst.left();
        columns[static_cast<std::size_t>(x)] = static_cast<int>(dx * sw / dst.width()) * 4;
    }
    int lastSourceRow = -1;
    const QRgb* lastOut = nullptr;
    for (int y = 0; y < visible.height(); ++y) {
        const int64_t dy = visible.top() + y - dst.top();
        const int sourceRow = static_cast<int>(dy * sh / dst.height());
        auto* out = reinterpret_cast<QRgb*>(target.scanLine(visible.top() + y)) + visible.left();
        if (sourceRow == lastSourceRow) {
            // Enlarging: this row shows the same source row as the one above.
            std::memcpy(out, lastOut, sizeof(QRgb) * static_cast<std::size_t>(visible.width()));
            continue;
        }
        lastSourceRow = sourceRow;
        lastOut = out;
        const uint8_t* row = image.PixelRow(sourceRow);
        if (dst.width() == sw) {
            // At full size the columns follow each other: one straight run.
            const uint8_t* p = row + 4 * static_cast<std::ptrdiff_t>(visible.left() - dst.left());
            for (int x = 0; x < visible.width(); ++x, p += 4)
                out[x] = 0xFF000000u | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
            continue;
        }
        for (int x = 0; x < visible.width(); ++x) {
            const uint8_t* p = row + columns[static_cast<std::size_t>(x)];
            out[x] = 0xFF000000u | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
        }
    }
}

void BlitImage(QImage& target, const GWorldWrapper& image, int left, int top)
{
    BlitImageScaled(target, image, QRect(left, top, image.Width(), image.Height()));
}

void DrawCanvasText(QImage& target, int x, int y, const std::string& text, CanvasFont font, const QColor& colour)
{
    if (text.empty())
        return;
    QPainter painter(&target);
    painter.setFont(FontFor(font));
    painter.setPen(colour);
    painter.drawText(QPoint(x, y), QString::fromStdString(text));
}

int CanvasTextWidth(const std::string& text, CanvasFont font)
{
    return QFontMetrics(FontFor(font)).horizontalAdvance(QString::fromStdString(text));
}

void FillCanvasRect(QImage& target, const QRect& r, const QColor& colour)
{
    const QRect visible = r.intersected(target.rect());
    if (visible.isEmpty())
        return;
    QPainter painter(&target);
    painter.fillRect(visible, colour);
}

void FrameCanvasRect(QImage& target, const QRect& r, int penSize, const QColor& colour)
{
    if (r.isEmpty() || penSize < 1)
        return;
    // A frame wider than half the rectangle fills it, as a pen that large would.
    const int horizontal = std::min(penSize, (r.height() + 1) / 2);
    const int vertical = std::min(penSize, (r.width() + 1) / 2);
    FillCanvasRect(target, QRect(r.left(), r.top(), r.width(), horizontal), colour);
    FillCanvasRect(target, QRect(r.left(), r.bottom() - horizontal + 1, r.width(), horizontal), colour);
    FillCanvasRect(target, QRect(r.left(), r.top(), vertical, r.height()), colour);
    FillCanvasRect(target, QRect(r.right() - vertical + 1, r.top(), vertical, r.height()), colour);
}

void FrameCanvasRectGreyPattern(QImage& target, const QRect& r)
{
    if (r.isEmpty() || !Drawable(target))
        return;
    // The pattern's set bits in black, the others in white (the background),
    // so the frame shows on dark and light pictures alike.
    auto plot = [&target](int x, int y) {
        if (target.rect().contains(x, y))
            reinterpret_cast<QRgb*>(target.scanLine(y))[x] = ((x + y) & 1) == 0 ? 0xFF000000u : 0xFFFFFFFFu;
    };
    for (int x = r.left(); x <= r.right(); ++x) {
        plot(x, r.top());
        plot(x, r.bottom());
    }
    for (int y = r.top(); y <= r.bottom(); ++y) {
        plot(r.left(), y);
        plot(r.right(), y);
    }
}

void DrawCanvasLine(QImage& target, int x0, int y0, int x1, int y1, const QColor& colour)
{
    QPainter painter(&target);
    painter.setPen(QPen(colour, 0));
    painter.setClipRect(target.rect());
    if (x0 == x1 && y0 == y1)
        painter.drawPoint(x0, y0);
    else
        painter.drawLine(x0, y0, x1, y1);
}

void DrawCanvasBar(QImage& target, int x, int yBottom, int height, int penWidth, const QColor& colour)
{
    if (height < 0 || penWidth < 1)
        return;
    FillCanvasRect(target, QRect(x, yBottom - height, penWidth, height + 1), colour);
}
