// engine/CalibrationJobs.h: switching dark-frame subtraction and flat-field
// division on and off for the selected clips, in a job.
#pragma once

class Frame;

// The Control-click (dark) and Control-Shift-click (flat) of the clips
// window, force being Command. Refused with a beep while a job runs or a
// dialog reads the clips, and with a beep when there is no dark (flat) frame.
// Nothing happens, silently, without a clip under the mouse or when a
// persistent selection exists that does not hold that clip. Otherwise a job
// over the selection sets each clip's flag and re-renders it: without force
// each clip's own flag is inverted; with force every clip takes one value,
// the inverse of the clicked clip's flag when a persistent selection exists,
// else off. The job's end discards the summed stack and redraws the clips
// window and the frame inspector. Main thread only.
void SubtractDarkFrame(bool force);
void DivideFlatFrame(bool force);

// One clip's step: sets its flag to value when forced, else inverts it, and
// returns true; false (the flag untouched, nothing shown) when there is no
// dark (flat) frame: a job counts such clips and its end beeps once for them.
// Any thread, while the main thread does not change the frames.
bool SubtractDarkFrameFromOneFrame(Frame* frame, bool force, bool value);
bool DivideFlatFrameFromOneFrame(Frame* frame, bool force, bool value);
