// engine/DebayerClips.h: the jobs that give the selected clips debayer
// settings (one pattern for all, or each clip's pattern found by comparison
// with clip 0) or take them away again.
#pragma once

#include "imaging/Demosaic.h"

class Frame;
class GWorldWrapper;

struct DebayerClipsParams {
    BayerPattern pattern = kBayerGRBG; // used when not matching
    DebayerMethod method = kDebayerLaplacian;
    bool matchToReference = false; // each clip's pattern found against clip 0
};

// The pattern p (0 .. 3) for which raw (a mosaic in its green bytes),
// demosaiced with p by nearest neighbour in trial, differs least from
// reference (CalculateDifference over the whole image, channel 0, threshold
// 0); on a tie the lower pattern. -1 when raw and reference differ in size.
// trial is resized to raw's size and left holding the last trial. Throws
// std::bad_alloc (after the out-of-memory alert) when the demosaic cannot
// get its buffer. Any thread; reference is only read.
int FindBayerPattern(const GWorldWrapper& raw, const GWorldWrapper& reference, GWorldWrapper& trial);

// Gives frame the pattern FindBayerPattern finds for its original against
// reference, with method: SetDebayer, which leaves the clip dirty for its
// full render. Nothing for clip 0 itself, nor when the original cannot be had
// or measured (false then). Uses the calling thread's scratch image for the
// trials. A worker of a job, or the main thread while none runs.
bool AutoDebayer(Frame& frame, DebayerMethod method, const GWorldWrapper& reference);

// Starts the job over the selected clips (the persistent selection, or
// without one the clip tempSelection) that gives each the pattern and method
// of params, or with matchToReference each its own pattern found against clip
// 0 as clip 0's own debayer settings render it (clip 0 itself is passed over
// and keeps its settings); every clip is rendered, and at the end the summed
// stack is discarded and the windows redrawn. Returns whether the job
// started; a refused job leaves clip 0 as it was. Main thread only.
[[nodiscard]] bool DebayerClips(const DebayerClipsParams& params, int tempSelection);

// Takes the debayer setting off the selected clips in a job and renders them.
// With no clip selected (neither the clip under the mouse nor a persistent
// selection) one beep; refused with a beep while a job runs or a dialog that
// reads the clips is open. Main thread only.
void UnDebayer();
