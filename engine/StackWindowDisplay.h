// engine/StackWindowDisplay.h: the summed stack's display on the program's
// windows: the frame-stack window, the progress window, the clips window's
// marks and the menus.
#pragma once

#include <functional>

class Canvas;

// Installs the display the summed stack uses (after WindowInit). Main thread.
void InstallStackWindowDisplay();

// What the open tool dialogs draw over the summed stack in its window, after
// the stack (the star dialog's stars); the tools install it with their
// dialogs. Unset: nothing. Main thread only.
void SetStackOverlay(std::function<void(Canvas& stackCanvas)> overlay);
