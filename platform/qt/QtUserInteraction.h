// platform/qt/QtUserInteraction.h: message boxes and the system beep as the
// program's user interaction, and the Qt event queue as its main-thread poster.
#pragma once

// Installs the Qt user interaction and main-thread poster. Call once, on the
// main thread, after the QApplication exists.
void InstallQtUserInteraction();
