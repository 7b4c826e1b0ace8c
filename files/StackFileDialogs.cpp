// files/StackFileDialogs.cpp: the stack's file commands and their dialogs.
#include "files/StackFileDialogs.h"

#include "shell/CommandOperations.h"
#include "shell/DialogPointers.h"
#include "files/OpenFITSToStackInterface.h"
#include "files/OpenRAWInterface.h"
#include "files/PictOutput.h"
#include "files/SaveFITSInterface.h"
#include "files/SaveRAWInterface.h"

void InstallStackFileDialogs()
{
    CommandOperations& ops = GetCommandOperations();
    ops.openFITSToStackDialog = [] { gOpenFITSToStackInterface = new OpenFITSToStackInterface(); };
    ops.saveFITSDialog = [] { gSaveFITSInterface = new SaveFITSInterface(); };
    ops.saveRAWDialog = [] { gSaveRAWInterface = new SaveRAWInterface(); };
    ops.openRawAsStack = [] { OpenRawAsStack(); };
    ops.saveStackAsPict = [] { SaveStackAsPict(); };
}
