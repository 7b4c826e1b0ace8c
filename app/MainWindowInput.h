// app/MainWindowInput.h: keys, clicks, hover, resizing and zooming of the
// main windows, installed together.
#pragma once

// Call once after WindowInit.
void InstallMainWindowInput();
