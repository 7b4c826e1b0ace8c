// files/ImportedClips.h: what picture import and the movie dialogs share: the
// size a new document takes from its first clip, and new clips made whole
// and then appended to the clip list.
#pragma once

#include <memory>

#include "platform/core/Geometry.h"

class Frame;
class GWorldWrapper;

// Makes frame's size (moved to (0, 0)) the document's image size: gImageDim,
// the thumbnail size, a hot-pixel mask of that size with no hot pixel, and
// dark and flat frames of another size released with their windows hidden (a
// clip-less document may still hold them from an earlier one). Main thread,
// no job running, no clips. Throws std::bad_alloc with gImageDim unchanged.
void TakeNewImageDim(Rect frame);

// Sizes the frame inspector window for gImageDim and shows it. Main thread.
void ShowFrameInspectorForImageDim();

// Makes a clip of original (ownership taken; it must have gImageDim's size):
// the modified image as its copy, the thumbnail, the first render. The clip
// is complete before anyone else can see it. Any thread. Throws
// std::bad_alloc with everything made for it released.
std::unique_ptr<Frame> MakeImportedClip(std::unique_ptr<GWorldWrapper> original);

// Appends a complete clip under the clip-list lock, numbering it with the
// list's length at that moment, so clips appended at once by import workers
// and movie dialogs get indices 0..n-1 without gaps or repeats. When free
// memory is low afterwards, the clip goes to its temporary files. Returns the
// clip's index. Any thread; the clip stays valid until the next change of the
// document between jobs.
// roomWasMade: a MemoryReservation covering the clip's images was made
// before they were; free memory then kept the low threshold above them, so
// it is not low now and is not read again.
int AppendImportedClip(std::unique_ptr<Frame> frame, bool roomWasMade = false);
