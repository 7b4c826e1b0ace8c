// engine/CalibrationWindows.h: the dark and flat frames as the document
// takes them in, and their two windows.
#pragma once

#include <functional>
#include <memory>

class GWorldWrapper;

// Makes image (not null, any size) the document's dark frame, freeing the
// one it replaces, or its flat frame, whose mean red, green and blue
// component (gAverageFlatFieldValue) is then taken over all its pixels.
// Clips that subtract the dark frame (divide by the flat frame) are marked
// for a new render, so that none keeps a render made with the old frame;
// the summed stack stays. The frame's window is sized to the frame (the
// largest size with its aspect that fits the screen when it does not fit
// whole), shown, brought to the front and drawn; the clips window and the
// frame inspector are redrawn when clips were marked. Main thread, while no
// job runs. The workspace reader uses these as the file commands do.
void UseAsDarkFrame(std::unique_ptr<GWorldWrapper> image);
void UseAsFlatFrame(std::unique_ptr<GWorldWrapper> image);

// Draw the dark (flat) frame scaled to the window's content; nothing without
// the frame. The dark-frame window shows the preview instead while one is set
// and gives an image. Main thread only.
void DrawDarkFrameWindow();
void DrawFlatFieldWindow();

// What the dark-frame window shows instead of the dark frame (the hot-pixel
// dialog's mask while it works from the dark frame), or null to show the dark
// frame. Unset: the dark frame. Main thread only.
void SetDarkFrameWindowPreview(std::function<const GWorldWrapper*()> preview);

// Installs the two windows' redraws into the shell hooks. Main thread, at
// start-up.
void InstallCalibrationWindows();
