// engine/ClipCommandGate.cpp: the common refusal of clip-changing commands.
#include "engine/ClipCommandGate.h"

#include "shell/Jobs.h"
#include "shell/ShellHooks.h"
#include "platform/core/UserInteraction.h"

bool RefuseClipChange()
{
    if (IsJobActive() || clipChangesBlocked()) {
        SysBeep();
        return true;
    }
    return false;
}
