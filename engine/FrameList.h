// engine/FrameList.h: the clip list of the open document.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "engine/Frame.h"

// Every clip, owned; clip i has index i. Clip 0 is the reference of alignment
// and difference sorting and is never swapped out to make room.
// Threads: the main thread reorders and removes clips only while no job runs.
// During a job, clips are appended (picture import, movie dialogs) under
// gFramesMutex, and everyone else reads the list under it too (FrameAt,
// FrameCount); a clip's own state is guarded by the clip.
extern std::vector<std::unique_ptr<Frame>> gFrames;
extern std::mutex gFramesMutex; // guards gFrames' length and element pointers during jobs

// Clip i, or null when i is outside the list. Takes gFramesMutex; the pointer
// stays valid while no job has ended (clips are deleted only between jobs).
Frame* FrameAt(int i);
// Number of clips, under gFramesMutex.
int FrameCount();
// Appends frame (taking ownership) under gFramesMutex; returns its index.
int AppendFrame(std::unique_ptr<Frame> frame);

// For the dialogs that preview clip 0 as rendered: renders it (when dirty)
// and returns; throws std::bad_alloc, for the command's out-of-memory alert,
// when clip 0 exists but its render cannot be had (a clip that cannot come
// back from its temporary files, or no memory to render it). Without clips
// it does nothing. Main thread, no job running.
void RequireFirstClipRender();
