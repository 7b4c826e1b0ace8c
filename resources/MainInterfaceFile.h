// resources/MainInterfaceFile.h: the interface file "main": every window of the
// program by name, its layout compiled from resources/main/<name>.ui.
#pragma once

// Registers each window of "main" with the window registry. Safe to call more
// than once. Main thread only.
void RegisterMainInterfaceFile();

// The program's main windows carry a menu bar over one content widget; these
// names build such windows (the rest are dialogs and small windows).
bool IsMainWindowName(const char* name);
