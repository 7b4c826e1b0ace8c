// engine/JobDisplayActions.cpp: the clips window and the frame inspector as the
// display side of job events.
#include "engine/JobDisplayActions.h"

#include "engine/ClipJobs.h"
#include "engine/ClipViewWindow.h"
#include "engine/ClipsWindow.h"

void InstallJobDisplayActions()
{
    FrameJobDisplay& display = GetFrameJobDisplay();
    display.markWorkingClip = [](Frame&, int clip) { MarkWorkingClip(clip); };
    // Flushed at once, so the screen shows the clip before its worker goes on.
    display.drawClip = [](Frame& frame, int) { DrawFrameClip(frame, true); };
    display.updateFrameInspector = &UpdateFrameInspectorWindow;
}
