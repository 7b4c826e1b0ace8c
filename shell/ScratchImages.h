// shell/ScratchImages.h: the scratch image of each thread and the worker's
// slot in the running job.
#pragma once

#include <memory>
#include <vector>

#include "platform/core/Geometry.h"

class GWorldWrapper;

// Slot of the calling worker in the running job (0 .. threads - 1), or
// kNoThreadSlot on the main thread and any thread outside a job. The job
// framework calls SetThisThreadIndex once when each worker starts (and
// kNoThreadSlot when it ends); no list search, no waiting.
constexpr int kNoThreadSlot = -1;
int getThisThreadIndex();
void SetThisThreadIndex(int slot);

// One scratch image per worker slot. Only the main thread changes the
// vector's length, and only while no worker runs; each worker touches only
// the entry of its own slot.
extern std::vector<std::unique_ptr<GWorldWrapper>> gTempGWs;

// Brings gTempGWs to exactly count images of gImageDim: deletes the last
// entries or appends new (white) ones; entries of the right size stay as
// they are, entries of another size are remade. The main thread's spare
// image (imaging/SpareImage.h) is freed first; a worker's goes when the
// worker ends. Main thread, no worker running. Throws std::bad_alloc
// (entries made so far stay).
void CreateTempGWWs(int count);

// The calling thread's scratch image, remade by this thread when its size
// differs from dim: a worker's gTempGWs entry, or for any other thread
// (the main thread included) an image of its own, never a worker's.
// Throws std::bad_alloc.
GWorldWrapper& ThisThreadScratchImage(Rect dim);
