// platform/qt/Canvas.h: a window's retained drawing surface. The program draws
// into a backing image at any time; the widget shows it when Qt repaints.
// Mouse presses, moves and releases arrive in the canvas's own coordinates.
#pragma once

#include <functional>

#include <QImage>
#include <QWidget>

#include "platform/core/DrawTarget.h"

class Canvas : public QWidget, public DrawTarget {
    Q_OBJECT
public:
    explicit Canvas(QWidget* parent = nullptr);

    // The backing image (the canvas's size, never smaller than 1 x 1, also
    // while hidden). Paint into it with QPainter, then call Flush.
    QImage& Image();
    // Shows what was drawn: repaints the canvas now.
    void Flush();

    // DrawTarget: copies use Qt's unsmoothed scaling; nothing is drawn outside
    // the canvas. Main thread only.
    Rect PortBounds() const override;
    void CopyBitsFrom(const GWorldWrapper& image, const Rect& src, const Rect& dst) override;
    void FillRect(const Rect& r, const RGBColor& colour) override;
    void FrameRect(const Rect& r, const RGBColor& colour) override;
    void DrawLine(Point a, Point b, const RGBColor& colour) override;

    // Mouse input in canvas coordinates. Unset handlers ignore the event.
    using MouseHandler = std::function<void(QPoint position, Qt::KeyboardModifiers modifiers)>;
    void SetPressHandler(MouseHandler handler) { mOnPress = std::move(handler); }
    void SetMoveHandler(MouseHandler handler) { mOnMove = std::move(handler); }
    void SetReleaseHandler(MouseHandler handler) { mOnRelease = std::move(handler); }
    void SetLeaveHandler(std::function<void()> handler) { mOnLeave = std::move(handler); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    // Follows the widget's size; a hidden widget gets no resize events.
    void MatchSize();

    QImage mImage;
    MouseHandler mOnPress, mOnMove, mOnRelease;
    std::function<void()> mOnLeave;
};
