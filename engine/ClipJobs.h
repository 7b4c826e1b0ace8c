// engine/ClipJobs.h: per-clip jobs over the selected clips, built on the job
// framework of shell/Jobs.h, and the display side of their clip events.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "shell/JobSplit.h"
#include "shell/Jobs.h"

class ClipJobLane;
class Frame;

// What one worker of a frame job is given.
struct FrameJobRange {
    JobRange range;         // positions in the persistent selection; (-1, 0) = the temporary selection
    std::vector<int> clips; // the clip indices of those positions, as the selection was when the job started
    // This worker's lane of the job's read-ahead of clips on disk; null when none.
    std::shared_ptr<const ClipJobLane> readAhead;
};
using FrameJobProc = std::function<void(const FrameJobRange&)>;

// For RunThreadedFrameProc: use gTempSelectionIndex as it is at the start.
constexpr int kTempSelectionAtStart = -2;

// Starts a per-clip job over the persistent selection, cut into ranges by
// SplitFrameJobRanges over gNumThreads, or over the single clip
// tempSelection (gTempSelectionIndex by default; batch dialogs pass the clip
// they saved) when the persistent selection is empty. Locks the dark and
// flat frames' pixels for the job; the clips on disk come back ahead of the
// workers (engine/ClipJobReadAhead.h). finalProc (may be null) runs on the main
// thread once every worker is done. Returns at once: true when the job
// started. False, with nothing changed, when a job already runs (a beep),
// the temporary selection is not a clip (a beep), or the job's objects
// cannot be made (the out-of-memory alert). Main thread only; never from a
// final procedure.
// withCancel false shows the progress window without Cancel, for jobs that
// must reach every clip (crop and resample leave no clip at the old size).
[[nodiscard]] bool RunThreadedFrameProc(FrameJobProc proc, JobFinalProc finalProc, int numCustomMutexes,
                                        int tempSelection = kTempSelectionAtStart, bool withCancel = true);

// A frame worker is at clips[position] of its range: the clips before are
// done with, and those after are brought back from disk ahead of it.
void ReachedClipOfRange(const FrameJobRange& range, int position);

// The usual frame-worker loop over the clips of range: clips outside the clip
// list are passed over; for each other clip: ReachedClipOfRange, Thread_MarkWorkingClip,
// work(frame, index) (false ends the range), Thread_DrawClip,
// Thread_UpdateFrameInspectorWindow unless updateInspector is false, then a
// progress step (false ends it). Worker side.
void ForEachClipOfRange(const FrameJobRange& range, const std::function<bool(Frame& frame, int clipIndex)>& work,
                        bool updateInspector = true);

// Display actions of the clip events of any job, for a clip in the list
// (checked and fetched under the clip-list lock, which is not held while
// acting); an index outside the list is ignored. Main thread only.
struct FrameJobDisplay {
    std::function<void(Frame& frame, int clipIndex)> markWorkingClip;
    std::function<void(Frame& frame, int clipIndex)> drawClip;
    std::function<void(int clipIndex)> updateFrameInspector;
};
// The installed actions; the first call routes the job framework's clip
// events (JobHooks::clipEvent) to them. Main thread only, not while a job runs.
FrameJobDisplay& GetFrameJobDisplay();
