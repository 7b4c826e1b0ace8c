// platform/qt/ModalLoop.h: an application-modal loop for one window.
#pragma once

class QWidget;

// Control IDs that end a modal window: OK (or the default button) and Cancel.
inline constexpr int kControlOK = 1000;
inline constexpr int kControlCancel = 2;

// Shows window application-modal and runs a nested event loop until control
// 1000 or control 2 is hit, Esc is pressed or the window is closed (both count
// as control 2), or the application exits (also 2). Hides the window and
// returns the ending control. The caller keeps ownership. Events of workers
// keep arriving meanwhile. Main thread only.
int RunAppModalWindow(QWidget* window);
