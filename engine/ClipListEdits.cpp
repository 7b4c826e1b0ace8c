// engine/ClipListEdits.cpp: deleting clips, the reference clip, re-rendering.
#include "engine/ClipListEdits.h"

#include <memory>
#include <mutex>
#include <utility>

#include "engine/ClipViewWindow.h"
#include "engine/ClipJobs.h"
#include "shell/MainWindowSet.h"
#include "engine/ClipCommandGate.h"
#include "engine/ClipSelection.h"
#include "engine/ClipsWindow.h"
#include "engine/Frame.h"
#include "engine/FrameList.h"
#include "engine/MemoryPolicy.h"
#include "engine/Selection.h"
#include "engine/SummedStack.h"

namespace {

void Thread_UpdateFrames(const FrameJobRange& range)
{
    ForEachClipOfRange(range, [](Frame& frame, int) {
        (void)frame.UpdateFrame(true); // a clip that cannot come back renders when it next can
        return true;
    });
}

void Thread_UpdateFramesFinal()
{
    PersistantSelectNoFrames(false);
    DeleteFrameStack();
    DrawClipsWindow();
    DrawFrameInspectorWindow();
}

} // namespace

int RemoveClips(const std::vector<bool>& remove)
{
    std::vector<std::unique_ptr<Frame>> removed;
    {
        std::lock_guard<std::mutex> lock(gFramesMutex);
        std::vector<std::unique_ptr<Frame>> kept;
        kept.reserve(gFrames.size());
        for (std::size_t i = 0; i < gFrames.size(); ++i)
            (i < remove.size() && remove[i] ? removed : kept).push_back(std::move(gFrames[i]));
        gFrames = std::move(kept);
        for (std::size_t i = 0; i < gFrames.size(); ++i)
            gFrames[i]->SetIndex(static_cast<int>(i));
    }
    // Destroyed outside the list lock: each removes its temporary files.
    return static_cast<int>(removed.size());
}

void DeleteFrames()
{
    if (RefuseClipChange())
        return;
    const int n = FrameCount();
    std::vector<bool> remove(static_cast<std::size_t>(n), false);
    bool any = false;
    if (!gPersistantSelectionIndices.empty()) {
        for (int clip : gPersistantSelectionIndices)
            if (clip >= 0 && clip < n)
                remove[static_cast<std::size_t>(clip)] = any = true;
    } else if (gTempSelectionIndex >= 0 && gTempSelectionIndex < n) {
        remove[static_cast<std::size_t>(gTempSelectionIndex)] = any = true;
    }
    if (!any)
        return;
    RemoveClips(remove);
    ClearPersistantSelection();
    EraseTempSelection();
    DeleteFrameStack();
    const bool clipsRemain = FrameCount() > 0;
    if (clipsRemain)
        SaturateMemory();
    DrawClipsWindow();
    UpdateFrameInspectorWindow(gTempSelectionIndex);
    if (clipsRemain)
        FitClipsWindowToNumFrames(true);
    else
        CloseMainWindow();
}

void SetReferenceFrame()
{
    if (RefuseClipChange())
        return;
    const int k = gTempSelectionIndex;
    if (k < 0 || k >= FrameCount())
        return;
    {
        std::lock_guard<std::mutex> lock(gFramesMutex);
        std::swap(gFrames[0], gFrames[static_cast<std::size_t>(k)]);
        gFrames[0]->SetIndex(0);
        gFrames[static_cast<std::size_t>(k)]->SetIndex(k);
    }
    DrawClipsWindow();
    UpdateFrameInspectorWindow(k);
}

void UpdateFrames()
{
    if (RefuseClipChange())
        return;
    if (FrameCount() == 0)
        return;
    PersistantSelectAllFrames();
    // Clip 0 first: the others are measured and shown against it.
    (void)FrameAt(0)->UpdateFrame(true); // a reference that cannot come back renders when it next can
    if (!RunThreadedFrameProc(&Thread_UpdateFrames, &Thread_UpdateFramesFinal, 0))
        PersistantSelectNoFrames(false);
}
