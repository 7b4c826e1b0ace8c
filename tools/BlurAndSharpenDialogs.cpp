// tools/BlurAndSharpenDialogs.cpp: the factories of the Gaussian blur and
// unsharp mask dialogs.
#include "tools/BlurAndSharpenDialogs.h"

#include "shell/CommandOperations.h"
#include "shell/DialogPointers.h"
#include "tools/GaussianBlurInterface.h"
#include "tools/UnsharpMaskInterface.h"

void InstallBlurAndSharpenDialogs()
{
    CommandOperations& ops = GetCommandOperations();
    ops.gaussianBlurDialog = [] { gGaussianBlurInterface = new GaussianBlurInterface(); };
    ops.unsharpMaskDialog = [] { gUnsharpMaskInterface = new UnsharpMaskInterface(); };
}
