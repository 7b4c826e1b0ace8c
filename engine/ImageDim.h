// engine/ImageDim.h: the size of every clip image of the open document.
#pragma once

#include "platform/core/Geometry.h"

// Top and left 0; empty when no document is open. Main thread writes it while
// no job runs; workers read it.
extern Rect gImageDim;
