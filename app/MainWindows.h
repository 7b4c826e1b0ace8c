// app/MainWindows.h: making the program's eight main windows (their pointers
// and closing the document are in shell/MainWindowSet.h), their close boxes
// and remembered positions.
#pragma once

#include "shell/MainWindowSet.h"

// Creates the windows in the order of shell/MainWindowSet.h, hidden, each with a menu bar of
// the menu model, stored-position windows at their stored place, the clips
// window 1 x 1. Needs the interface file registered and MenuBarInit done.
void WindowInit();
// Deletes them all (end of the program, tests).
void DestroyMainWindows();

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
