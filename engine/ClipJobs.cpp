// engine/ClipJobs.cpp: per-clip jobs and the display of their clip events.
#include "engine/ClipJobs.h"

#include <array>
#include <memory>
#include <new>

#include "engine/CalibrationFrames.h"
#include "engine/ClipJobReadAhead.h"
#include "engine/FrameList.h"
#include "engine/Selection.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/core/StandardAlerts.h"
#include "platform/core/UserInteraction.h"
#include "shell/ShellSettings.h"

namespace {

void ActOnClip(JobEventKind kind, int clipIndex)
{
    // The check and the fetch happen under the clip-list lock, which import
    // workers append under; clips are never removed while a job runs, so the
    // pointer stays good after the lock is released.
    Frame* frame = FrameAt(clipIndex);
    if (!frame)
        return;
    FrameJobDisplay& display = GetFrameJobDisplay();
    switch (kind) {
    case JobEventKind::markClip:
        if (display.markWorkingClip)
            display.markWorkingClip(*frame, clipIndex);
        break;
    case JobEventKind::drawClip:
        if (display.drawClip)
            display.drawClip(*frame, clipIndex);
        break;
    case JobEventKind::updateInspector:
        if (display.updateFrameInspector)
            display.updateFrameInspector(clipIndex);
        break;
    default:
        break;
    }
}

} // namespace

FrameJobDisplay& GetFrameJobDisplay()
{
    static FrameJobDisplay sDisplay;
    static const bool sRouted = [] {
        GetJobHooks().clipEvent = &ActOnClip;
        return true;
    }();
    (void)sRouted;
    return sDisplay;
}

bool RunThreadedFrameProc(FrameJobProc proc, JobFinalProc finalProc, int numCustomMutexes, int tempSelection,
                          bool withCancel)
{
    if (!CanStartJob())
        return false;
    if (tempSelection == kTempSelectionAtStart)
        tempSelection = gTempSelectionIndex;

    // The workers get the selection as it is now: the clip under the mouse
    // changes with every move during the job.
    const std::vector<int> selection = gPersistantSelectionIndices;
    const int n = static_cast<int>(selection.size());
    if (n == 0 && (tempSelection < 0 || tempSelection >= FrameCount())) {
        SysBeep();
        return false;
    }

    std::vector<JobWorker> workers;
    std::function<void()> lock, unlock;
    try {
        std::vector<FrameJobRange> items;
        for (const JobRange& range : SplitFrameJobRanges(n, gNumThreads)) {
            FrameJobRange item;
            item.range = range;
            if (range.first < 0)
                item.clips.push_back(tempSelection);
            else
                item.clips.assign(selection.begin() + range.first, selection.begin() + range.end);
            items.push_back(std::move(item));
        }
        // The clips on disk come back ahead of the workers; every worker's
        // lane ends with its work, the last one stopping the helpers before
        // the job can end.
        std::vector<std::vector<int>> lanes;
        for (const FrameJobRange& item : items)
            lanes.push_back(item.clips);
        if (std::shared_ptr<ClipJobReadAhead> readAhead = ClipJobReadAhead::Start(lanes))
            for (std::size_t i = 0; i < items.size(); ++i)
                items[i].readAhead = std::make_shared<const ClipJobLane>(readAhead, static_cast<int>(i));
        for (FrameJobRange& item : items)
            workers.push_back([proc, item = std::move(item)] {
                struct EndLane {
                    const ClipJobLane* lane;
                    ~EndLane()
                    {
                        if (lane)
                            lane->End();
                    }
                } end{item.readAhead.get()};
                proc(item);
            });
        // The dark and flat frames, as they are when the job starts, stay
        // locked while the job reads them.
        auto locked = std::make_shared<std::array<const GWorldWrapper*, 2>>();
        lock = [locked] {
            *locked = {gDarkFrame.get(), gFlatFrame.get()};
            for (const GWorldWrapper* image : *locked)
                if (image)
                    (void)image->LockPixels(); // a counter: cannot fail
        };
        unlock = [locked] {
            for (const GWorldWrapper* image : *locked)
                if (image)
                    image->UnlockPixels();
        };
    } catch (const std::bad_alloc&) {
        DoNotEnougMemoryForOperationDialog();
        return false;
    }

    return RunThreadedProcWithActions(std::move(workers), n == 0 ? 1 : n, finalProc, numCustomMutexes, withCancel,
                                      std::move(lock), std::move(unlock));
}

void ReachedClipOfRange(const FrameJobRange& range, int position)
{
    if (range.readAhead)
        range.readAhead->Reached(position);
}

void ForEachClipOfRange(const FrameJobRange& range, const std::function<bool(Frame& frame, int clipIndex)>& work,
                        bool updateInspector)
{
    for (std::size_t position = 0; position < range.clips.size(); ++position) {
        const int clipIndex = range.clips[position];
        ReachedClipOfRange(range, static_cast<int>(position));
        Frame* frame = FrameAt(clipIndex);
        if (!frame)
            continue; // a stale index: nothing to work on
        Thread_MarkWorkingClip(clipIndex);
        const bool goOn = work(*frame, clipIndex);
        Thread_DrawClip(clipIndex);
        if (updateInspector)
            Thread_UpdateFrameInspectorWindow(clipIndex);
        if (!goOn || !Thread_IncrementWorkingDialogProgressBar())
            return;
    }
}
