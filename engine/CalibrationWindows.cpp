// engine/CalibrationWindows.cpp: taking in a dark or flat frame, and drawing
// the dark-frame and flat-frame windows.
#include "engine/CalibrationWindows.h"

#include <utility>

#include "engine/ClipViewWindow.h"
#include "shell/MainWindowSet.h"
#include "shell/ShellHooks.h"
#include "shell/WindowGeometry.h"
#include "engine/CalibrationFrames.h"
#include "engine/ClipsWindow.h"
#include "engine/Frame.h"
#include "engine/FrameList.h"
#include "imaging/Measurements.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/ShellWindow.h"

namespace {

std::function<const GWorldWrapper*()> sDarkFramePreview;

void DrawFrameWindow(ShellWindow* window, const GWorldWrapper* image)
{
    Canvas* canvas = ContentCanvas(window);
    if (!image || !canvas)
        return;
    canvas->Image().fill(Qt::white);
    canvas->CopyBitsFrom(*image, image->GetDim(), canvas->PortBounds());
    canvas->Flush();
}

// Marks for a new render every clip whose flag says it uses the replaced
// frame; true when there was one.
bool MarkClipsUsing(bool (Frame::*uses)() const, void (Frame::*set)(bool))
{
    bool any = false;
    for (int i = 0, n = FrameCount(); i < n; ++i) {
        Frame* frame = FrameAt(i);
        if (frame && (frame->*uses)()) {
            (frame->*set)(true); // the same value: only the clip's render is outdated
            any = true;
        }
    }
    return any;
}

void ShowFrameWindow(ShellWindow* window, const GWorldWrapper& image, void (*draw)())
{
    if (window) {
        Rect r = MakeRect(0, 0, image.Height(), image.Width());
        SetIdealImageRectBounds(window, r);
        window->SetContentSize(r.Width(), r.Height());
        ShowAndRaise(window);
    }
    draw();
}

void RedrawClipsIf(bool marked)
{
    if (!marked)
        return;
    DrawClipsWindow();
    DrawFrameInspectorWindow();
}

} // namespace

void UseAsDarkFrame(std::unique_ptr<GWorldWrapper> image)
{
    if (!image)
        return;
    gDarkFrame = std::move(image);
    const bool marked = MarkClipsUsing(&Frame::GetDarkFrameSubtracted, &Frame::SetDarkFrameSubtracted);
    ShowFrameWindow(gDarkFrameWindow, *gDarkFrame, &DrawDarkFrameWindow);
    RedrawClipsIf(marked);
}

void UseAsFlatFrame(std::unique_ptr<GWorldWrapper> image)
{
    if (!image)
        return;
    gFlatFrame = std::move(image);
    gAverageFlatFieldValue = CalculateAverageValue(*gFlatFrame, gFlatFrame->GetDim());
    const bool marked = MarkClipsUsing(&Frame::GetFlatFrameDivided, &Frame::SetFlatFrameDivided);
    ShowFrameWindow(gFlatFrameWindow, *gFlatFrame, &DrawFlatFieldWindow);
    RedrawClipsIf(marked);
}

void DrawDarkFrameWindow()
{
    if (!gDarkFrame)
        return;
    const GWorldWrapper* preview = sDarkFramePreview ? sDarkFramePreview() : nullptr;
    DrawFrameWindow(gDarkFrameWindow, preview ? preview : gDarkFrame.get());
}

void DrawFlatFieldWindow()
{
    DrawFrameWindow(gFlatFrameWindow, gFlatFrame.get());
}

void SetDarkFrameWindowPreview(std::function<const GWorldWrapper*()> preview)
{
    sDarkFramePreview = std::move(preview);
}

void InstallCalibrationWindows()
{
    ShellHooks& hooks = GetShellHooks();
    hooks.drawDarkFrameWindow = [] { DrawDarkFrameWindow(); };
    hooks.drawFlatFieldWindow = [] { DrawFlatFieldWindow(); };
}
