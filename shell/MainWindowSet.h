// shell/MainWindowSet.h: the program's eight main windows as every subsystem
// sees them: their pointers, their content canvas, bringing one to the
// front, and closing the document. The program's top makes them
// (app/MainWindows.h) and owns their close boxes.
#pragma once

#include <array>

class Canvas;
class QWidget;
class ShellWindow;

// Each owned for the program's lifetime (made by WindowInit, deleted by
// DestroyMainWindows); null before and after.
extern ShellWindow* gClipsWindow;          // "ClipsWindow": thumbnails; closing it closes the document
extern ShellWindow* gFrameInspectorWindow; // "FrameInspector": one clip at full size
extern ShellWindow* gFrameStackWindow;     // "FrameStack": the summed stack
extern ShellWindow* gDarkFrameWindow;      // "DarkFrame"
extern ShellWindow* gFlatFrameWindow;      // "FlatFrame"
extern ShellWindow* gCommandsWindow;       // "Commands": the home window, shown at start
extern ShellWindow* gHintsWindow;          // "Hints"
extern ShellWindow* gPixelValuesWindow;    // the floating pixel readout; never takes focus

// The seven windows that carry the menu bar, in the order above (null
// entries before they are made).
std::array<ShellWindow*, 7> MenuBarWindows();

// The drawing surface of a window's content (nullptr for the text windows).
Canvas* ContentCanvas(ShellWindow* window);

// True for the seven windows that carry the menu bar.
bool IsMainWindow(const QWidget* window);

// Shows window and brings it to the front.
void ShowAndRaise(ShellWindow* window);

// How many of the seven are shown.
int VisibleMainWindows();
// The commands window is the home window: it is shown again whenever none of
// the seven is.
void KeepHomeWindow();

// Closes the document: every clip, the stack, the dark and flat frames and the
// hot-pixel mask are released (the shell hooks), the image size becomes empty,
// the selections and the bounds rectangle are reset, the image windows are
// hidden and the clips window goes back to 1 x 1. Main thread, no job running.
void CloseMainWindow();
