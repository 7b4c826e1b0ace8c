// engine/ReadoutCursor.h: the pixel readout's colour cursor and the way back to
// the arrow. The readout shows it while the mouse is over an image window;
// every way out (leaving the windows, a tool dialog, a movie dialog) goes
// through RestoreArrowCursor. Main thread only.
#pragma once

class QCursor;

// The readout's cursor: a crosshair with red, green and blue arms, outlined
// in black and white so it reads on dark and bright skies alike; its hot spot
// is the sample point at the centre of the crosshair.
const QCursor& ReadoutCursor();

// Shows the readout's cursor and sets gCursor. Showing it again changes
// nothing: the cursor is pushed once however often this is called.
void ShowReadoutCursor();

// Back to the arrow: takes away the readout's cursor if it is shown and
// clears gCursor.
void RestoreArrowCursor();
