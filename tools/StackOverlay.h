// tools/StackOverlay.h: what the open tools draw over the summed stack in its
// window. InstallStarAndFourierDialogs hands it to the stack window
// (SetStackOverlay), whose redraw calls it after it has drawn the stack.
#pragma once

class Canvas;

// Draws the overlay of the tool dialog that has one while it is open and not
// closing (the star dialog's stars); nothing otherwise. Main thread only.
void DrawToolOverlayOnStack(Canvas& stackCanvas);
