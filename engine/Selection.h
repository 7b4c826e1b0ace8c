// engine/Selection.h: the clips picked in the clips window: the persistent
// selection and the clip under the mouse.
#pragma once

#include <vector>

// Clip indices in the order they were picked, without duplicates. Main thread
// only; it changes only while no job runs (jobs copy it when they start).
extern std::vector<int> gPersistantSelectionIndices;

// The clip under the mouse in the clips window, -1 for none. Main thread only;
// it follows the mouse during jobs too, so jobs copy it when they start.
extern int gTempSelectionIndex;
