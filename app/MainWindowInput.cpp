// app/MainWindowInput.cpp: installs the main windows' input handling.
#include "app/MainWindowInput.h"

#include "app/ClipsWindowMouse.h"
#include "app/HeldKeys.h"
#include "shell/InputActions.h"
#include "app/WindowResizing.h"

void InstallMainWindowInput()
{
    InstallInputActions();
    InstallHeldKeyTracker();
    InstallMainWindowMouse();
    InstallWindowResizing();
}
