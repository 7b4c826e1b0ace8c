// app/DocumentHooks.cpp: the engine behind the shell's document hooks.
#include "app/DocumentHooks.h"

#include "app/Commands.h"
#include "shell/ShellHooks.h"
#include "engine/SumStackDialogInterface.h"
#include "engine/CalibrationFrames.h"
#include "engine/ClipSelection.h"
#include "engine/FrameList.h"
#include "engine/SummedStack.h"
#include "platform/core/GWorldWrapper.h"

void InstallDocumentHooks()
{
    ShellHooks& hooks = GetShellHooks();
    hooks.clipsExist = [] { return FrameCount() > 0; };
    hooks.stackExists = [] { return HaveSummedStack(); };
    hooks.darkFrameExists = [] { return gDarkFrame != nullptr; };
    hooks.flatFrameExists = [] { return gFlatFrame != nullptr; };
    hooks.destroyClips = [] {
        // Only between jobs (quit and close are refused during one); each
        // clip removes its own temporary files.
        ClearPersistantSelection();
        gFrames.clear();
    };
    hooks.deleteFrameStack = [] { DeleteFrameStack(); };
    hooks.releaseCalibration = [] {
        gDarkFrame.reset();
        gFlatFrame.reset();
        gHotPixelMask.Clear();
    };
    hooks.drawFrameStackWindow = [] { DrawFrameStackWindow(); };

    CommandOperations& ops = GetCommandOperations();
    ops.createInitialStack = [] { CreateInitialStack(); };
    ops.transformStack = [](int item) { TransformStack(item); };
    ops.resampleStack = [](int item) { ResampleStack(item); };
    ops.projectStack = [] {
        if (!HaveSummedStack())
            return;
        // A filter dialog shows its own picture: its preview, rectangle and
        // saved planes decide what each part of the stack shows.
        if (SumStackDialogInterface* dialog = SumStackDialogInterface::OpenDialog())
            dialog->ChannelsChanged();
        else
            ProjectStackIntoFrameStackGWorld(false);
    };
    ops.deleteFrameStack = [] { DeleteFrameStack(); };
}
