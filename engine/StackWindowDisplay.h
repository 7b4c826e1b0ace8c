// engine/StackWindowDisplay.h: the summed stack's display on the program's
// windows: the frame-stack window, the progress window, the clips window's
// marks and the menus.
#pragma once

// Installs the display the summed stack uses (after WindowInit). Main thread.
void InstallStackWindowDisplay();
