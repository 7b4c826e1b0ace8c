// engine/AlignmentThreshold.h: the brightness below which reference pixels
// take no part in alignment.
#pragma once

// 0 .. 256 (256 leaves every pixel out); 0 at start. Set by the alignment
// threshold dialog on the main thread while no job runs; alignment commands
// copy it before their job starts.
extern int gAlignmentBrightnessThreshold;
