// app/MainWindowInput.h: keys, clicks, hover, resizing and zooming of the
// main windows, installed together.
#pragma once

// Call once after WindowInit.
void InstallMainWindowInput();

// Sets every entry of the input table (shell/InputActions.h) whose operation
// exists to that operation; part of InstallMainWindowInput.
void InstallInputActions();
