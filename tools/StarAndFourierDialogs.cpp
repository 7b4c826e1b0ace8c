// tools/StarAndFourierDialogs.cpp: the factories of the star dialog and the
// Fourier-domain editor.
#include "tools/StarAndFourierDialogs.h"

#include "shell/CommandOperations.h"
#include "shell/DialogPointers.h"
#include "tools/FTEditorInterface.h"
#include "tools/StarBeautificationInterface.h"

void InstallStarAndFourierDialogs()
{
    CommandOperations& ops = GetCommandOperations();
    ops.starBeautificationDialog = [] { gStarBeautificationInterface = new StarBeautificationInterface(); };
    ops.ftEditorDialog = [] { gFTEditorInterface = new FTEditorInterface(); };
}
