// tools/StarAndFourierDialogs.cpp: the factories of the star dialog and the
// Fourier-domain editor.
#include "tools/StarAndFourierDialogs.h"

#include "engine/StackWindowDisplay.h"
#include "shell/CommandOperations.h"
#include "shell/DialogPointers.h"
#include "tools/FTEditorInterface.h"
#include "tools/StackOverlay.h"
#include "tools/StarBeautificationInterface.h"

void InstallStarAndFourierDialogs()
{
    CommandOperations& ops = GetCommandOperations();
    ops.starBeautificationDialog = [] { gStarBeautificationInterface = new StarBeautificationInterface(); };
    ops.ftEditorDialog = [] { gFTEditorInterface = new FTEditorInterface(); };
    SetStackOverlay(&DrawToolOverlayOnStack);
}
