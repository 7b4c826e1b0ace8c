// files/WorkspaceCommands.cpp: the workspace and clip export commands.
#include "files/WorkspaceCommands.h"

#include "shell/CommandOperations.h"
#include "shell/DialogPointers.h"
#include "engine/FrameList.h"
#include "files/DumpWorkspaceInterface.h"
#include "files/SaveWorkspaceInterface.h"
#include "files/Workspace.h"
#include "platform/core/UserInteraction.h"

namespace {

// Both dialogs describe the clips (their estimates start from clip 0).
bool HaveClips()
{
    if (FrameCount() > 0)
        return true;
    SysBeep();
    return false;
}

} // namespace

void InstallWorkspaceCommands()
{
    CommandOperations& ops = GetCommandOperations();
    ops.openWorkingSpace = [] { OpenWorkingSpace(); };
    ops.saveWorkspaceDialog = [] {
        if (!gSaveWorkspaceInterface && HaveClips())
            gSaveWorkspaceInterface = new SaveWorkspaceInterface();
    };
    ops.dumpWorkspaceDialog = [] {
        if (!gDumpWorkspaceInterface && HaveClips())
            gDumpWorkspaceInterface = new DumpWorkspaceInterface();
    };
}
