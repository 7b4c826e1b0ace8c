// app/MainWindows.h: the program's eight main windows, their close boxes and
// remembered positions, and closing the document.
#pragma once

class Canvas;
class QWidget;
class ShellWindow;

// Each owned for the program's lifetime (until DestroyMainWindows).
extern ShellWindow* gClipsWindow;          // "ClipsWindow": thumbnails; closing it closes the document
extern ShellWindow* gFrameInspectorWindow; // "FrameInspector": one clip at full size
extern ShellWindow* gFrameStackWindow;     // "FrameStack": the summed stack
extern ShellWindow* gDarkFrameWindow;      // "DarkFrame"
extern ShellWindow* gFlatFrameWindow;      // "FlatFrame"
extern ShellWindow* gCommandsWindow;       // "Commands": the home window, shown at start
extern ShellWindow* gHintsWindow;          // "Hints"
extern ShellWindow* gPixelValuesWindow;    // the floating pixel readout; never takes focus

// Creates the windows in the order above, hidden, each with a menu bar of
// the menu model, stored-position windows at their stored place, the clips
// window 1 x 1. Needs the interface file registered and MenuBarInit done.
void WindowInit();
// Deletes them all (end of the program, tests).
void DestroyMainWindows();

// The drawing surface of a window's content (nullptr for the text windows).
Canvas* ContentCanvas(ShellWindow* window);

// True for the seven windows that carry the menu bar.
bool IsMainWindow(const QWidget* window);

// The close box of a window: hides it, with these rules:
// - clips window: closes the document; refused with a beep while a job runs
//   or a dialog reads the clips;
// - frame-stack window: also discards the stack; refused with a beep while a
//   dialog reads the clips or the stack;
// - when the hide would leave none of the seven shown, the commands window is
//   shown again; hiding the commands window as the last one asks to quit.
void DoWindowHide(ShellWindow* window);

// "Close" of the File menu: acts on the front window as its close box does
// (clips, frame stack, commands, hints); any other front window: nothing.
void CloseFrontWindow();

// Closes the document: every clip, the stack, the dark and flat frames and the
// hot-pixel mask are released, the image size becomes empty, the selections
// and the bounds rectangle are reset, the image windows are hidden and the
// clips window goes back to 1 x 1. Main thread, no job running.
void CloseMainWindow();

// Shows window and brings it to the front.
void ShowAndRaise(ShellWindow* window);
