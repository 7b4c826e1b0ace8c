// shell/SliderDrawing.cpp: drawing a custom slider into the current port and
// following its thumb.
#include "shell/SliderDrawing.h"

#include <cmath>

#include <QColor>

#include "shell/PointerInput.h"
#include "platform/core/DrawTarget.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/CanvasDrawing.h"

namespace {

constexpr RGBColor kSliderWhite{0xFFFF, 0xFFFF, 0xFFFF};
constexpr RGBColor kSliderBlack{0, 0, 0};
constexpr RGBColor kSliderGrey{0x8000, 0x8000, 0x8000};

Canvas* CurrentCanvas()
{
    return dynamic_cast<Canvas*>(GetPort());
}

} // namespace

Rect SliderThumbRect(Point position, double thumbOffset)
{
    const double left = std::trunc(position.h + 2 + thumbOffset);
    const double right = std::trunc(position.h + 2 + kSliderThumbWidth + thumbOffset);
    return MakeRect(position.v, static_cast<int>(left), position.v + kSliderHeight, static_cast<int>(right));
}

bool PointInSliderRect(QPoint p, const Rect& r)
{
    return p.x() >= r.left && p.x() < r.right && p.y() >= r.top && p.y() < r.bottom;
}

void DrawHorizontalSlider(Point position, const SliderLayout& layout, double thumbOffset, const std::string& valueText,
                          bool dimmed)
{
    const RGBColor ink = dimmed ? kSliderGrey : kSliderBlack;
    DrawTarget* port = GetPort();
    if (!port)
        return;
    const int h = position.h, v = position.v;
    port->FillRect(MakeRect(v, h, v + kSliderHeight, h + layout.eraseWidth), kSliderWhite);
    const int trackY = v + kSliderTrackInset, trackX = h + kSliderTrackInset;
    port->DrawLine(MakePoint(trackY, trackX), MakePoint(trackY, trackX + layout.trackSpan), ink);
    port->FillRect(SliderThumbRect(position, thumbOffset), ink);
    if (Canvas* canvas = CurrentCanvas()) {
        DrawCanvasText(canvas->Image(), h + layout.textLeft, v + kSliderTextBaseline, valueText, CanvasFont::plain9,
                       QColor(ink.red >> 8, ink.green >> 8, ink.blue >> 8));
        canvas->Flush();
    }
}

QPoint TrackSliderDrag(QPoint start, const std::function<void(QPoint position)>& onMove)
{
    if (PointerScriptForTesting())
        return TrackMouseDrag(nullptr, onMove);
    Canvas* canvas = CurrentCanvas();
    if (!canvas)
        return start;
    return TrackMouseDrag(canvas, onMove);
}
