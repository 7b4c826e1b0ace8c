// shell/ShellSettings.h: the settings the menu commands change, read across the
// program. Main thread writes them; jobs read the thread settings at start.
#pragma once

// Number of worker threads a job may use: 1, 2, 3, 4, 6, 8, 12, 16, 24, 32, 48
// or 64. 4 until the preference is read.
extern int gNumThreads;
// Workers wait for the screen after each display event (default true).
extern bool gSyncThreadDisplay;
// Workers post no clip or inspector redraws (default false).
extern bool gMinimalVisualFeedback;
// Larger side of a clip slot in the clips window: 32, 64 or 128 (default 64).
extern int gMaxClipWidthOrHeight;
// Alignment treats the three colour channels separately (not saved).
extern bool gAlignChannelsSeparately;
// Rotation interpolation: 1 nearest neighbour (the start value), 2 bilinear.
extern int gRotationMethod;
// Channels shown of the summed stack; all on at start (not saved).
extern bool gRedChannelOn;
extern bool gGreenChannelOn;
extern bool gBlueChannelOn;
// True while the pixel-value cursor is shown.
extern bool gCursor;
