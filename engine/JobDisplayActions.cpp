// engine/JobDisplayActions.cpp: the clips window and the frame inspector as the
// display side of job events.
#include "engine/JobDisplayActions.h"

#include "engine/ClipViewWindow.h"
#include "shell/Jobs.h"
#include "engine/ClipsWindow.h"

void InstallJobDisplayActions()
{
    JobHooks& hooks = GetJobHooks();
    hooks.markWorkingClip = [](Frame&, int clip) { MarkWorkingClip(clip); };
    // Flushed at once, so the screen shows the clip before its worker goes on.
    hooks.drawClip = [](Frame& frame, int) { DrawFrameClip(frame, true); };
    hooks.updateFrameInspector = &UpdateFrameInspectorWindow;
}
