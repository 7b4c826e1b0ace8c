// engine/ClipOperationCommands.cpp: the clip operations behind the menu commands.
#include "engine/ClipOperationCommands.h"

#include "shell/CommandOperations.h"
#include "engine/ClipListEdits.h"
#include "engine/ClipResizing.h"
#include "engine/ClipSorting.h"

void InstallClipOperationCommands()
{
    CommandOperations& ops = GetCommandOperations();
    ops.crop = [] { Crop(); };
    ops.resample = [](int method, double factor) { Resample(method, factor); };
    ops.sortClips = [](int item) { SortClips(item); };
    ops.updateFrames = [] { UpdateFrames(); };
}
