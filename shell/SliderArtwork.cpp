// shell/SliderArtwork.cpp: thumbs and labels of artwork sliders.
#include "shell/SliderArtwork.h"

#include <QColor>

#include "platform/core/DrawTarget.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/CanvasDrawing.h"
#include "platform/qt/MaskedPicture.h"
#include "resources/PictureResources.h"

namespace {

constexpr RGBColor kSliderBackground{0xFFFF, 0xFFFF, 0xFFFF};

Canvas* CurrentCanvas()
{
    return dynamic_cast<Canvas*>(GetPort());
}

} // namespace

bool CanDrawSliderArtwork()
{
    return CurrentCanvas() != nullptr;
}

void EraseSliderArea(const Rect& r)
{
    if (DrawTarget* port = GetPort())
        port->FillRect(r, kSliderBackground);
}

void DrawSliderPicture(int pictureId, int left, int top)
{
    if (Canvas* canvas = CurrentCanvas())
        DrawPictureThroughMask(canvas->Image(), left, top, GetPictureResource(pictureId));
}

void DrawSliderLabel(int left, int baseline, const std::string& text)
{
    if (Canvas* canvas = CurrentCanvas())
        DrawCanvasText(canvas->Image(), left, baseline, text, CanvasFont::plain9, QColor(Qt::black));
}

int SliderLabelWidth(const std::string& text)
{
    return CanvasTextWidth(text, CanvasFont::plain9);
}

void ShowSliderDrawing()
{
    if (Canvas* canvas = CurrentCanvas())
        canvas->Flush();
}
