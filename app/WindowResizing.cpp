// app/WindowResizing.cpp: aspect-kept resizing and zooming.
#include "app/WindowResizing.h"

#include <cstdint>
#include <map>

#include <QSize>

#include "app/MainWindows.h"
#include "shell/Preferences.h"
#include "shell/ShellHooks.h"
#include "shell/WindowGeometry.h"
#include "engine/CalibrationFrames.h"
#include "engine/ClipsWindow.h"
#include "shell/ImageDim.h"
#include "engine/SummedStack.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/qt/ShellWindow.h"

namespace {

// Our own SetContentSize calls come back as resizes: they are not the user's.
bool sCorrecting = false;

// Per window, the user's size that its last correction replaced; forgotten
// once the window manager has put it back, or the next user size differs.
std::map<const ShellWindow*, QSize> sCorrectedFrom;

void RedrawImageWindow(const ShellWindow* window)
{
    ShellHooks& hooks = GetShellHooks();
    if (window == gFrameInspectorWindow)
        TellShell(hooks.drawFrameInspectorWindow);
    else if (window == gFrameStackWindow)
        TellShell(hooks.drawFrameStackWindow);
    else if (window == gDarkFrameWindow)
        TellShell(hooks.drawDarkFrameWindow);
    else if (window == gFlatFrameWindow)
        TellShell(hooks.drawFlatFieldWindow);
}

} // namespace

int AspectKeptHeight(int imageWidth, int imageHeight, int width)
{
    if (imageWidth <= 0 || imageHeight <= 0)
        return -1;
    return static_cast<int>(int64_t(imageHeight) * width / imageWidth);
}

void WindowImageSize(const ShellWindow* window, int& width, int& height)
{
    width = height = 0;
    const GWorldWrapper* image = nullptr;
    if (window == gFrameInspectorWindow) {
        width = gImageDim.Width();
        height = gImageDim.Height();
        return;
    }
    if (window == gFrameStackWindow)
        image = gFrameStack.get();
    else if (window == gDarkFrameWindow)
        image = gDarkFrame.get();
    else if (window == gFlatFrameWindow)
        image = gFlatFrame.get();
    if (image) {
        width = image->Width();
        height = image->Height();
    }
}

void HandleUserResize(ShellWindow* window)
{
    if (sCorrecting || !window)
        return;
    if (window == gClipsWindow) {
        if (FitClipsWindowToNumFrames(false))
            SaveClipsWindowWidthPreference(window->ContentSize().width());
        UpdateSelectedFrameClipFromMouse();
        DrawClipsWindow();
        return;
    }
    int imageWidth = 0, imageHeight = 0;
    WindowImageSize(window, imageWidth, imageHeight);
    const int width = window->ContentSize().width();
    const int height = AspectKeptHeight(imageWidth, imageHeight, width);
    if (height < 0)
        return;
    if (height != window->ContentSize().height()) {
        sCorrecting = true;
        window->SetContentSize(width, height);
        sCorrecting = false;
    }
    TellShell(GetShellHooks().updatePixelReadout);
    RedrawImageWindow(window);
}

void HandleLiveResize(ShellWindow* window)
{
    if (sCorrecting || !window)
        return;
    if (window == gClipsWindow) {
        DrawClipsWindow();
        return;
    }
    TellShell(GetShellHooks().updatePixelReadout);
    RedrawImageWindow(window);
}

void HandleResizeSettled(ShellWindow* window)
{
    if (sCorrecting || !window)
        return;
    const QSize user = window->ContentSize();
    const auto previous = sCorrectedFrom.find(window);
    if (previous != sCorrectedFrom.end() && previous->second == user) {
        sCorrectedFrom.erase(previous);
        HandleLiveResize(window);
        return;
    }
    HandleUserResize(window);
    if (window->ContentSize() != user)
        sCorrectedFrom[window] = user;
    else
        sCorrectedFrom.erase(window);
}

void DoWindowZoom(ShellWindow* window)
{
    int imageWidth = 0, imageHeight = 0;
    WindowImageSize(window, imageWidth, imageHeight);
    if (imageWidth <= 0 || imageHeight <= 0)
        return;
    window->raise();
    window->activateWindow();
    Rect rect = MakeRect(0, 0, static_cast<int16_t>(imageHeight), static_cast<int16_t>(imageWidth));
    const QSize content = window->ContentSize();
    if (content.width() == imageWidth && content.height() == imageHeight)
        SetMaxImageRectBounds(window, rect);
    sCorrecting = true;
    window->SetContentSize(rect.Width(), rect.Height());
    sCorrecting = false;
    RedrawImageWindow(window);
}

void InstallWindowResizing()
{
    sCorrectedFrom.clear();
    for (ShellWindow* window :
         {gClipsWindow, gFrameInspectorWindow, gFrameStackWindow, gDarkFrameWindow, gFlatFrameWindow}) {
        window->onResized = [window] { HandleLiveResize(window); };
        window->onResizeSettled = [window] { HandleResizeSettled(window); };
    }
    for (ShellWindow* window : {gFrameInspectorWindow, gFrameStackWindow, gDarkFrameWindow, gFlatFrameWindow})
        window->onZoomRequest = [window] { DoWindowZoom(window); };
}
