// engine/ImageDim.cpp: the document's image size.
#include "engine/ImageDim.h"

Rect gImageDim;
Rect gSensorDim;
