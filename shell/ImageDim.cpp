// shell/ImageDim.cpp: the document's image size.
#include "shell/ImageDim.h"

Rect gImageDim;
Rect gSensorDim;
