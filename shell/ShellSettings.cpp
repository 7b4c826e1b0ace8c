// shell/ShellSettings.cpp: the menu-driven settings and their start values.
#include "shell/ShellSettings.h"

int gNumThreads = 4;
bool gSyncThreadDisplay = true;
bool gMinimalVisualFeedback = false;
int gMaxClipWidthOrHeight = 64;
bool gAlignChannelsSeparately = false;
int gRotationMethod = 1;
bool gRedChannelOn = true;
bool gGreenChannelOn = true;
bool gBlueChannelOn = true;
bool gCursor = false;
