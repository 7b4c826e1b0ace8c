// engine/CalibrationJobs.cpp: the dark and flat commands, their workers and
// their finals.
#include "engine/CalibrationJobs.h"

#include <algorithm>
#include <atomic>

#include "engine/ClipViewWindow.h"
#include "engine/ClipJobs.h"
#include "engine/CalibrationFrames.h"
#include "engine/ClipCommandGate.h"
#include "engine/ClipsWindow.h"
#include "engine/Frame.h"
#include "engine/FrameList.h"
#include "engine/Selection.h"
#include "engine/SummedStack.h"
#include "platform/core/UserInteraction.h"

namespace {

// The running job's settings, written by the command before the job starts
// and only read by its workers.
bool sSubtractDarkFrame = false;       // the dark flag a forced job sets
bool sDivideFlatFrame = false;         // the flat flag a forced job sets
bool sForceMatchTempSelection = false; // set that value instead of inverting each clip's flag
// Clips the workers found no frame for; the final beeps once for them all
// (workers never touch the user interface).
std::atomic<int> sClipsWithoutFrame{0};

// What tells the two commands apart.
struct CalibrationFlag {
    bool (*frameExists)();
    bool (Frame::*get)() const;
    void (Frame::*set)(bool);
    bool* forcedValue;
    FrameJobProc worker;
    JobFinalProc final;
};

bool DarkFrameExists()
{
    return gDarkFrame != nullptr;
}

bool FlatFrameExists()
{
    return gFlatFrame != nullptr;
}

bool SwitchOneFrame(const CalibrationFlag& flag, Frame* frame, bool force, bool value)
{
    if (!flag.frameExists())
        return false;
    if (!frame)
        return false;
    (frame->*flag.set)(force ? value : !(frame->*flag.get)());
    return true;
}

void Thread_SwitchFlag(const FrameJobRange& range, bool (*step)(Frame*, bool, bool), bool value)
{
    const bool force = sForceMatchTempSelection;
    ForEachClipOfRange(range, [step, force, value](Frame& frame, int) {
        if (step(&frame, force, value))
            (void)frame.UpdateFrame(false); // a clip that cannot come back renders when it next can
        else
            ++sClipsWithoutFrame;
        return true;
    });
}

void Thread_SubtractDarkFrame(const FrameJobRange& range)
{
    Thread_SwitchFlag(range, &SubtractDarkFrameFromOneFrame, sSubtractDarkFrame);
}

void Thread_DivideFlatFrame(const FrameJobRange& range)
{
    Thread_SwitchFlag(range, &DivideFlatFrameFromOneFrame, sDivideFlatFrame);
}

// The job framework unlocks the calibration frames once the final has run.
void Thread_SwitchFlagFinal()
{
    if (sClipsWithoutFrame.exchange(0) > 0)
        SysBeep();
    DeleteFrameStack();
    DrawClipsWindow();
    DrawFrameInspectorWindow();
}

void Thread_SubtractDarkFrameFinal()
{
    Thread_SwitchFlagFinal();
}

void Thread_DivideFlatFrameFinal()
{
    Thread_SwitchFlagFinal();
}

const CalibrationFlag kDarkFlag{&DarkFrameExists,    &Frame::GetDarkFrameSubtracted, &Frame::SetDarkFrameSubtracted,
                                &sSubtractDarkFrame, &Thread_SubtractDarkFrame,      &Thread_SubtractDarkFrameFinal};
const CalibrationFlag kFlatFlag{&FlatFrameExists,  &Frame::GetFlatFrameDivided, &Frame::SetFlatFrameDivided,
                                &sDivideFlatFrame, &Thread_DivideFlatFrame,     &Thread_DivideFlatFrameFinal};

void StartSwitchJob(const CalibrationFlag& flag, bool force)
{
    if (RefuseClipChange())
        return;
    if (!flag.frameExists()) {
        SysBeep();
        return;
    }
    Frame* clicked = FrameAt(gTempSelectionIndex);
    if (!clicked)
        return;
    const std::vector<int>& selection = gPersistantSelectionIndices;
    const bool persistent = !selection.empty();
    if (persistent && std::find(selection.begin(), selection.end(), gTempSelectionIndex) == selection.end())
        return;
    sForceMatchTempSelection = force;
    sClipsWithoutFrame = 0;
    *flag.forcedValue = persistent ? !(clicked->*flag.get)() : false;
    (void)RunThreadedFrameProc(flag.worker, flag.final, 0); // reports its own refusals
}

} // namespace

bool SubtractDarkFrameFromOneFrame(Frame* frame, bool force, bool value)
{
    return SwitchOneFrame(kDarkFlag, frame, force, value);
}

bool DivideFlatFrameFromOneFrame(Frame* frame, bool force, bool value)
{
    return SwitchOneFrame(kFlatFlag, frame, force, value);
}

void SubtractDarkFrame(bool force)
{
    StartSwitchJob(kDarkFlag, force);
}

void DivideFlatFrame(bool force)
{
    StartSwitchJob(kFlatFlag, force);
}
