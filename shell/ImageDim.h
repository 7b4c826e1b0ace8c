// shell/ImageDim.h: the size of every clip image of the open document.
#pragma once

#include "platform/core/Geometry.h"

// Top and left 0; empty when no document is open. Main thread writes it while
// no job runs; workers read it.
extern Rect gImageDim;

// The size of the images the clips were cropped from (the sensor's), which
// the dark and flat frames keep and the clips' calibration rectangles point
// into; empty when the clips were never cropped. Set by the first crop,
// cleared by a resample and with the document. Main thread, no job running.
extern Rect gSensorDim;
