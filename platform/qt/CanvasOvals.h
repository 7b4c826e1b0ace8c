// platform/qt/CanvasOvals.h: ovals on a canvas's backing image: filled discs
// (a brush preview) and one-pixel outlines (marks over a picture), inscribed
// in a rectangle whose right and bottom edges are excluded. No smoothing, so
// the pixels are the same on every screen. Main thread only.
#pragma once

#include <QColor>
#include <QImage>
#include <QRect>

// Fills the oval inscribed in r (nothing for an empty r).
void FillCanvasOval(QImage& target, const QRect& r, const QColor& colour);
// Draws the one-pixel outline of the oval inscribed in r, inside r.
void FrameCanvasOval(QImage& target, const QRect& r, const QColor& colour);
