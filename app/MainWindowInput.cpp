// app/MainWindowInput.cpp: installs the main windows' input handling.
#include "app/MainWindowInput.h"

#include "app/ClipsWindowMouse.h"
#include "app/HeldKeys.h"
#include "shell/InputActions.h"
#include "app/WindowResizing.h"
#include "engine/AlignByCentroid.h"
#include "engine/AlignByCrossCorrelation.h"
#include "engine/AlignByDifference.h"
#include "engine/ClipListEdits.h"
#include "engine/ClipsWindow.h"
#include "engine/RotationalAlignment.h"

void InstallInputActions()
{
    InputActions& a = GetInputActions();
    a.toggleInclusion = [](bool setAll) { ToggleFrameSumStackInclusion(setAll); };
    a.alignByDifference = [] { AutoAlignFramesByDifference(); };
    a.alignByCentroid = [] { AutoAlignFramesByCentroid(); };
    a.alignByCrossCorrelation = [] { AutoAlignFramesByCrossCorrelation(); };
    a.alignRotationally = [] { AutoRotationallyAlignFramesByDifference(); };
    a.clearAlignment = [] { ClearFrameAlignment(); };
    a.addRemoveSelection = [](bool sameAction, QPoint press) { AddRemovePersistantSelectionFrame(sameAction, press); };
    a.nudgeAlignment = [](char key, bool repeat, int level) { NudgeFrameAlignment(key, repeat, level); };
    a.nudgeStack = [](char key) { NudgeFrameStack(key); };
    a.nudgeRotation = [](bool negative, bool repeat, bool big) { NudgeFrameRotation(negative, repeat, big ? 1 : 0); };
    a.deleteFrames = [] { DeleteFrames(); };
    a.setReferenceFrame = [] { SetReferenceFrame(); };
}

void InstallMainWindowInput()
{
    InstallInputActions();
    InstallHeldKeyTracker();
    InstallMainWindowMouse();
    InstallWindowResizing();
}
