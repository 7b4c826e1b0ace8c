// engine/ClipListEdits.h: changes of the clip list made on the main thread:
// deleting clips, choosing the reference clip, and re-rendering every clip.
#pragma once

#include <vector>

// Destroys the clips whose entry in remove is true (entries past the list
// are ignored), keeps the others in order and renumbers them; their
// temporary files go with them. Returns how many were removed. The
// selections are left to the caller. Main thread, while no worker runs.
int RemoveClips(const std::vector<bool>& remove);

// Deletes the persistently selected clips, or without a persistent
// selection the clip under the mouse; nothing without either. Then the
// temporary selection is cleared, the summed stack discarded, swapped-out
// clips brought back while memory allows and the clips window laid out
// again; deleting every clip closes the document. Deleting clip 0 makes the
// next clip the reference. Refused with a beep while a job runs or a dialog
// reads the clips. Main thread.
void DeleteFrames();

// Swaps the clip under the mouse with clip 0 (the reference), renumbering
// both; the summed stack and the selections' indices stay. Nothing without a
// clip under the mouse; refused with a beep while a job runs or a dialog
// reads the clips. Main thread.
void SetReferenceFrame();

// Re-renders every clip in a job (clip 0 first, on the main thread) and
// discards the summed stack; used when the rotation method changes.
// Refused with a beep while a job runs or a dialog reads the clips.
void UpdateFrames();
