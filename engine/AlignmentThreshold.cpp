// engine/AlignmentThreshold.cpp: the alignment brightness threshold.
#include "engine/AlignmentThreshold.h"

int gAlignmentBrightnessThreshold = 0;
