// engine/DebayerClips.cpp: debayer settings for the selected clips, the
// pattern search against clip 0, and taking the settings off again.
#include "engine/DebayerClips.h"

#include <algorithm>
#include <new>

#include "engine/ClipJobs.h"
#include "engine/ClipCommandGate.h"
#include "engine/ClipSettingJobs.h"
#include "engine/Frame.h"
#include "engine/FrameList.h"
#include "shell/ScratchImages.h"
#include "engine/Selection.h"
#include "imaging/Measurements.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/core/UserInteraction.h"

namespace {

constexpr int kNumBayerPatterns = 4;

// Clip 0's debayer-only image, which the workers of a matching job compare
// with; leased by the command and released by the final procedure, so that
// nobody renders or swaps it meanwhile. Main thread only.
FrameLease sReferenceLease;

void Thread_DebayerClips(const FrameJobRange& range, DebayerClipsParams params, const GWorldWrapper* reference)
{
    FrameJobRange clips = range;
    if (params.matchToReference) {
        // The reference keeps its own settings and takes no progress step.
        clips.clips.erase(std::remove(clips.clips.begin(), clips.clips.end(), 0), clips.clips.end());
    }
    ForEachClipOfRange(clips, [&params, reference](Frame& frame, int) {
        if (params.matchToReference)
            (void)AutoDebayer(frame, params.method, *reference); // a clip that cannot be read keeps its settings
        else
            frame.SetDebayer(params.pattern, params.method);
        (void)frame.UpdateFrame(false); // a clip that cannot come back renders when it next can
        return true;
    });
}

// Clip 0 goes back to its full render: the matching job left it showing
// its debayer-only image.
void RenderReferenceAgain()
{
    sReferenceLease.reset();
    if (Frame* reference = FrameAt(0)) {
        try {
            (void)reference->UpdateFrame(false); // left dirty when it cannot come back: it renders when next drawn
        } catch (const std::bad_alloc&) {
            // The failing step showed the out-of-memory alert; the clip stays dirty.
        }
    }
}

void Thread_DebayerClipsFinal()
{
    if (sReferenceLease)
        RenderReferenceAgain();
    FinishClipSettingsJob();
}

// Unlike setting a pattern, taking it off leaves the frame inspector alone.
void Thread_UnDebayer(const FrameJobRange& range)
{
    ForEachClipOfRange(
        range,
        [](Frame& frame, int) {
            frame.UnDebayer();
            (void)frame.UpdateFrame(false);
            return true;
        },
        false);
}

} // namespace

int FindBayerPattern(const GWorldWrapper& raw, const GWorldWrapper& reference, GWorldWrapper& trial)
{
    if (raw.Width() != reference.Width() || raw.Height() != reference.Height())
        return -1;
    const Rect whole = MakeRect(0, 0, static_cast<int16_t>(raw.Height()), static_cast<int16_t>(raw.Width()));
    int best = -1;
    double bestDifference = 0.0;
    for (BayerPattern p = 0; p < kNumBayerPatterns; ++p) {
        trial = raw;
        DebayerizeImageFromGreenChannel(trial, p, kDebayerNearestNeighbor);
        const double difference = CalculateDifference(reference, trial, false, true, whole, whole, 0, 0);
        // Strictly smaller: a tie keeps the lower pattern.
        if (difference >= 0.0 && (best < 0 || difference < bestDifference)) {
            best = p;
            bestDifference = difference;
        }
    }
    return best;
}

bool AutoDebayer(Frame& frame, DebayerMethod method, const GWorldWrapper& reference)
{
    if (frame.GetIndex() == 0)
        return false;
    int pattern = -1;
    {
        const FrameLease original = frame.GetOriginal();
        if (!original)
            return false;
        pattern = FindBayerPattern(*original, reference, ThisThreadScratchImage(original->GetDim()));
    }
    if (pattern < 0)
        return false;
    frame.SetDebayer(pattern, method);
    return true;
}

bool DebayerClips(const DebayerClipsParams& params, int tempSelection)
{
    const GWorldWrapper* reference = nullptr;
    if (params.matchToReference) {
        Frame* clip0 = FrameAt(0);
        if (!clip0) {
            SysBeep();
            return false;
        }
        // The reference as clip 0's own debayer settings make it, with no
        // further step; it stays dirty for its full render at the end.
        try {
            if (!clip0->UpdateFrameDebayerOnly()) {
                SysBeep(); // clip 0 could not be brought back
                return false;
            }
        } catch (const std::bad_alloc&) {
            return false; // the demosaic showed the out-of-memory alert
        }
        sReferenceLease = clip0->GetModified(false);
        if (!sReferenceLease) {
            RenderReferenceAgain();
            SysBeep();
            return false;
        }
        reference = sReferenceLease.get();
    }
    const bool started = RunThreadedFrameProc(
        [params, reference](const FrameJobRange& range) { Thread_DebayerClips(range, params, reference); },
        &Thread_DebayerClipsFinal, 0, tempSelection);
    if (!started && sReferenceLease)
        RenderReferenceAgain();
    return started;
}

void UnDebayer()
{
    if (RefuseClipChange())
        return;
    if (gTempSelectionIndex == -1 && gPersistantSelectionIndices.empty()) {
        SysBeep();
        return;
    }
    (void)RunThreadedFrameProc(&Thread_UnDebayer, &FinishClipSettingsJob, 0); // reports its own refusals
}
