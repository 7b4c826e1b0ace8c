// shell/MainWindowSet.cpp: the main windows' pointers and closing the document.
#include "shell/MainWindowSet.h"

#include "platform/qt/Canvas.h"
#include "platform/qt/ShellWindow.h"
#include "shell/ImageDim.h"
#include "shell/OperationBoundsRect.h"
#include "shell/ShellHooks.h"

ShellWindow* gClipsWindow = nullptr;
ShellWindow* gFrameInspectorWindow = nullptr;
ShellWindow* gFrameStackWindow = nullptr;
ShellWindow* gDarkFrameWindow = nullptr;
ShellWindow* gFlatFrameWindow = nullptr;
ShellWindow* gCommandsWindow = nullptr;
ShellWindow* gHintsWindow = nullptr;
ShellWindow* gPixelValuesWindow = nullptr;

namespace {

void EraseCanvas(ShellWindow* window)
{
    if (Canvas* canvas = ContentCanvas(window)) {
        canvas->Image().fill(Qt::white);
        canvas->update();
    }
}

} // namespace

std::array<ShellWindow*, 7> MenuBarWindows()
{
    return {gClipsWindow,     gFrameInspectorWindow, gFrameStackWindow, gDarkFrameWindow,
            gFlatFrameWindow, gCommandsWindow,       gHintsWindow};
}

Canvas* ContentCanvas(ShellWindow* window)
{
    return window ? qobject_cast<Canvas*>(window->centralWidget()) : nullptr;
}

bool IsMainWindow(const QWidget* window)
{
    if (!window)
        return false;
    for (ShellWindow* w : MenuBarWindows())
        if (w == window)
            return true;
    return false;
}

void ShowAndRaise(ShellWindow* window)
{
    if (!window)
        return;
    window->show();
    window->raise();
    window->activateWindow();
}

int VisibleMainWindows()
{
    int shown = 0;
    for (ShellWindow* w : MenuBarWindows())
        if (w && w->isVisible())
            ++shown;
    return shown;
}

void KeepHomeWindow()
{
    if (gCommandsWindow && VisibleMainWindows() == 0)
        ShowAndRaise(gCommandsWindow);
}

void CloseMainWindow()
{
    ShellHooks& hooks = GetShellHooks();
    EraseCanvas(gClipsWindow);
    TellShell(hooks.destroyClips);
    TellShell(hooks.deleteFrameStack);
    TellShell(hooks.releaseCalibration);
    gImageDim = Rect{};
    gSensorDim = Rect{};
    TellShell(hooks.resetClipsWindowState);
    gOperationBoundsRect = kNoBoundsRect;
    if (gClipsWindow) {
        gClipsWindow->SetContentSize(1, 1);
        gClipsWindow->hide();
    }
    for (ShellWindow* w : {gFrameInspectorWindow, gFrameStackWindow, gDarkFrameWindow, gFlatFrameWindow})
        if (w)
            w->hide();
    UpdateMenuState();
    KeepHomeWindow();
}
