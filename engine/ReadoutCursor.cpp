// engine/ReadoutCursor.cpp: the readout's colour cursor, drawn by the program.
#include "engine/ReadoutCursor.h"

#include <algorithm>

#include <QApplication>
#include <QColor>
#include <QCursor>
#include <QPainter>
#include <QPixmap>

#include "shell/ShellSettings.h"

namespace {

constexpr int kCursorSide = 32;
constexpr int kHotSpot = 15;
constexpr int kGap = 3;   // the sample point itself stays uncovered
constexpr int kArm = 11;  // from the gap to the arm's end

// True while the readout's cursor is on Qt's override stack.
bool sShown = false;

QPixmap DrawReadoutCursor()
{
    QPixmap pixmap(kCursorSide, kCursorSide);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    const int c = kHotSpot;
    struct Arm {
        int x0, y0, x1, y1;
        QColor colour;
    };
    const Arm arms[] = {
        {c - kGap - kArm, c, c - kGap, c, QColor(255, 64, 64)},  // left: red
        {c + kGap, c, c + kGap + kArm, c, QColor(64, 255, 64)},  // right: green
        {c, c - kGap - kArm, c, c - kGap, QColor(80, 140, 255)}, // up: blue
        {c, c + kGap, c, c + kGap + kArm, QColor(255, 255, 255)}, // down: white
    };
    // A black outline under every arm, then the arm itself.
    for (const Arm& arm : arms) {
        painter.fillRect(QRect(QPoint(std::min(arm.x0, arm.x1) - 1, std::min(arm.y0, arm.y1) - 1),
                               QPoint(std::max(arm.x0, arm.x1) + 1, std::max(arm.y0, arm.y1) + 1)),
                         Qt::black);
    }
    for (const Arm& arm : arms)
        painter.fillRect(QRect(QPoint(arm.x0, arm.y0), QPoint(arm.x1, arm.y1)), arm.colour);
    // A white ring with a black rim around the sample point.
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(Qt::black, 1));
    painter.drawRect(c - kGap, c - kGap, 2 * kGap, 2 * kGap);
    painter.setPen(QPen(Qt::white, 1));
    painter.drawRect(c - kGap + 1, c - kGap + 1, 2 * kGap - 2, 2 * kGap - 2);
    return pixmap;
}

} // namespace

const QCursor& ReadoutCursor()
{
    static const QCursor cursor(DrawReadoutCursor(), kHotSpot, kHotSpot);
    return cursor;
}

void ShowReadoutCursor()
{
    if (!sShown) {
        QApplication::setOverrideCursor(ReadoutCursor());
        sShown = true;
    }
    gCursor = true;
}

void RestoreArrowCursor()
{
    if (sShown) {
        QApplication::restoreOverrideCursor();
        sShown = false;
    }
    gCursor = false;
}
