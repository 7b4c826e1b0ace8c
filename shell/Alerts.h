// shell/Alerts.h: the image-width rule and the program's small modal windows.
// The standard alerts themselves are in platform/core/StandardAlerts.h.
#pragma once

#include "platform/core/Geometry.h"
#include "platform/core/StandardAlerts.h"

// Widest image, in pixels, that stacking and alignment accept (right edge).
constexpr int kMaxImageWidth = 4091;

extern const char* const kImageWidthWarningTitle;
extern const char* const kImageWidthErrorTitle;
extern const char* const kImageWidthMessage;

// The width alert: a warning with Continue and Cancel (true for Continue) or
// an error with one button (false). Main thread only.
bool DoImageWidthAlert(bool isWarning);

// True when rect (or, when null, the document's size) is at most 4091 pixels
// wide; otherwise shows the width alert and returns its answer. Main thread only.
bool VerifyImageWidth(const Rect* rect, bool isWarning);
// The same rule for a frame of width x height, as a warning: the check a
// movie's frame size meets before any frame is decoded.
bool VerifyFrameWidth(int width, int height);

// False while any dialog that reads the clips or the stack when it ends is
// open (the file dialogs included); hovering over clips then leaves the
// display alone.
bool permitClipUpdates();
