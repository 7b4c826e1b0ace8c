// app/InputActions.cpp: the commands reached from keys and clicks.
#include "app/InputActions.h"

#include "engine/AlignByDifference.h"
#include "engine/ClipListEdits.h"
#include "engine/ClipsWindow.h"

InputActions& GetInputActions()
{
    static InputActions sActions;
    return sActions;
}

void InstallInputActions()
{
    InputActions& a = GetInputActions();
    a.toggleInclusion = [](bool setAll) { ToggleFrameSumStackInclusion(setAll); };
    a.alignByDifference = [] { AutoAlignFramesByDifference(); };
    a.clearAlignment = [] { ClearFrameAlignment(); };
    a.addRemoveSelection = [](bool sameAction) { AddRemovePersistantSelectionFrame(sameAction); };
    a.nudgeAlignment = [](char key, bool repeat, int level) { NudgeFrameAlignment(key, repeat, level); };
    a.nudgeStack = [](char key) { NudgeFrameStack(key); };
    a.deleteFrames = [] { DeleteFrames(); };
    a.setReferenceFrame = [] { SetReferenceFrame(); };
}
