// engine/AlignmentThreshold.h: the brightness below which reference pixels
// take no part in alignment, and the preview of what it leaves.
#pragma once

class GWorldWrapper;

// 0 .. 256 (256 leaves every pixel out); 0 at start. Set by the alignment
// threshold dialog on the main thread while no job runs; alignment commands
// copy it before their job starts. A typed value outside 0 .. 256 is kept as
// typed and acts as the nearer end.
extern int gAlignmentBrightnessThreshold;

// The threshold preview: over the pixels both images share, a pixel of source
// whose red, green or blue is at least threshold has those three copied into
// mask; any other pixel becomes black in mask. mask's alpha bytes and its
// pixels outside source are not written. Any thread; touches only mask.
void MakeAlignmentThresholdMask(const GWorldWrapper& source, int threshold, GWorldWrapper& mask);
