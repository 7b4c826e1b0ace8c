// app/MainWindows.cpp: window creation, close boxes and positions.
#include "app/MainWindows.h"

#include <map>
#include <string>

#include <QApplication>
#include <QFontDatabase>
#include <QPainter>

#include "app/Commands.h"
#include "app/MenuBar.h"
#include "app/MenuState.h"
#include "shell/OperationBoundsRect.h"
#include "shell/Preferences.h"
#include "shell/ShellHooks.h"
#include "platform/core/UserInteraction.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/InterfaceFile.h"
#include "platform/qt/MenuModel.h"
#include "platform/qt/Modifiers.h"
#include "platform/qt/ShellWindow.h"

namespace {

// Last position written per window key, so a move that ends where it began
// (or our own placement) writes nothing.
std::map<std::string, QPoint> sSavedPositions;

ShellWindow* Create(const char* name)
{
    auto* window = qobject_cast<ShellWindow*>(CreateWindowFromInterface(name));
    Q_ASSERT(window);
    return window;
}

void PlaceAtStoredPosition(ShellWindow* window, const char* key)
{
    const QPoint position = LoadWindowPosPreference(key, window->ContentSize());
    window->MoveContentTo(position);
    sSavedPositions[key] = position;
    window->onMoveSettled = [window, key] {
        const QPoint position = window->ContentTopLeft();
        const auto it = sSavedPositions.find(key);
        if (it != sSavedPositions.end() && it->second == position)
            return;
        sSavedPositions[key] = position;
        SaveWindowPosPreference(key, position);
    };
}

void UseFixedFont(ShellWindow* window)
{
    QFont font = QFontDatabase::families().contains(QStringLiteral("Monaco"))
                     ? QFont(QStringLiteral("Monaco"))
                     : QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(9);
    window->centralWidget()->setFont(font);
}

// Redraw on activation; the image windows only while their image exists.
void RedrawOnActivation(ShellWindow* window, std::function<void()> ShellHooks::*draw,
                        std::function<bool()> ShellHooks::*exists)
{
    window->onActivated = [draw, exists] {
        ShellHooks& hooks = GetShellHooks();
        if (exists && !AskShell(hooks.*exists))
            return;
        TellShell(hooks.*draw);
    };
}

void WireInspectorClicks()
{
    Canvas* canvas = ContentCanvas(gFrameInspectorWindow);
    canvas->SetPressHandler([canvas](QPoint position, Qt::KeyboardModifiers modifiers) {
        if (IsJobRunning())
            return;
        if (modifiers & kControlKey)
            SetPow2OperationsBoundsRect(canvas, position);
        else
            DefineOperationBoundsRect(canvas, position);
    });
}

} // namespace

void WindowInit()
{
    MenuModel& menus = GetMenuModel();
    gClipsWindow = Create("ClipsWindow");
    gClipsWindow->SetContentSize(1, 1);
    gFrameInspectorWindow = Create("FrameInspector");
    gFrameStackWindow = Create("FrameStack");
    gDarkFrameWindow = Create("DarkFrame");
    gFlatFrameWindow = Create("FlatFrame");
    gCommandsWindow = Create("Commands");
    gHintsWindow = Create("Hints");
    for (ShellWindow* window : MenuBarWindows()) {
        menus.InstallMenuBar(window);
        window->onCloseRequest = [window] { DoWindowHide(window); };
    }
    PlaceAtStoredPosition(gFrameInspectorWindow, kFrameInspectorWindowKey);
    PlaceAtStoredPosition(gFrameStackWindow, kFrameStackWindowKey);
    PlaceAtStoredPosition(gDarkFrameWindow, kDarkFrameWindowKey);
    PlaceAtStoredPosition(gFlatFrameWindow, kFlatFrameWindowKey);
    PlaceAtStoredPosition(gCommandsWindow, kCommandsWindowKey);
    PlaceAtStoredPosition(gHintsWindow, kHintsWindowKey);

    gPixelValuesWindow = Create("PixelValues");
    gPixelValuesWindow->setWindowFlags(Qt::Tool | Qt::WindowDoesNotAcceptFocus);
    gPixelValuesWindow->setAttribute(Qt::WA_ShowWithoutActivating);
    gPixelValuesWindow->SetContentSize(150, 230);
    gPixelValuesWindow->onCloseRequest = [] { gPixelValuesWindow->hide(); };

    for (ShellWindow* w : {gClipsWindow, gFrameInspectorWindow, gFrameStackWindow, gPixelValuesWindow})
        UseFixedFont(w);
    // Hovering drives the clip under the mouse and the pixel readout.
    for (ShellWindow* w : {gClipsWindow, gFrameInspectorWindow, gFrameStackWindow, gDarkFrameWindow, gFlatFrameWindow})
        w->centralWidget()->setMouseTracking(true);
    RedrawOnActivation(gClipsWindow, &ShellHooks::drawClipsWindow, nullptr);
    RedrawOnActivation(gFrameInspectorWindow, &ShellHooks::drawFrameInspectorWindow, nullptr);
    RedrawOnActivation(gFrameStackWindow, &ShellHooks::drawFrameStackWindow, &ShellHooks::stackExists);
    RedrawOnActivation(gDarkFrameWindow, &ShellHooks::drawDarkFrameWindow, &ShellHooks::darkFrameExists);
    RedrawOnActivation(gFlatFrameWindow, &ShellHooks::drawFlatFieldWindow, &ShellHooks::flatFrameExists);
    WireInspectorClicks();
}

void DestroyMainWindows()
{
    for (ShellWindow** w : {&gClipsWindow, &gFrameInspectorWindow, &gFrameStackWindow, &gDarkFrameWindow,
                            &gFlatFrameWindow, &gCommandsWindow, &gHintsWindow, &gPixelValuesWindow}) {
        delete *w; // top-level windows: no Qt parent owns them
        *w = nullptr;
    }
    sSavedPositions.clear();
}

void DoWindowHide(ShellWindow* window)
{
    if (!window)
        return;
    if (window == gClipsWindow && (IsJobRunning() || clipChangesBlocked())) {
        // The document stays open, so its window stays too.
        SysBeep();
        return;
    }
    if (window == gFrameStackWindow && clipChangesBlocked()) {
        // An open dialog works on the stack.
        SysBeep();
        return;
    }
    if (window == gCommandsWindow && VisibleMainWindows() == 1 && window->isVisible()) {
        // Hiding the last window would leave the program without a menu bar:
        // that is a quit, refused wherever quit is.
        RequestQuit();
        return;
    }
    window->hide();
    if (window == gClipsWindow)
        CloseMainWindow();
    else if (window == gFrameStackWindow) {
        TellShell(GetShellHooks().deleteFrameStack);
        UpdateMenuState();
    }
    KeepHomeWindow();
}

void CloseFrontWindow()
{
    QWidget* front = QApplication::activeWindow();
    if (front == gClipsWindow || front == gFrameStackWindow || front == gCommandsWindow || front == gHintsWindow)
        DoWindowHide(static_cast<ShellWindow*>(front));
}
