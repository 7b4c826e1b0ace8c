// engine/AlignmentAndSortDialogs.cpp: the threshold and band-sort dialogs' commands.
#include "engine/AlignmentAndSortDialogs.h"

#include "shell/CommandOperations.h"
#include "shell/DialogPointers.h"
#include "engine/ClipSorting.h"
#include "engine/FrequencyBandSortInterface.h"
#include "engine/SetAlignBrightThresholdInterface.h"

void InstallAlignmentAndSortDialogs()
{
    GetCommandOperations().alignBrightThresholdDialog = [] {
        gSetAlignBrightThresholdInterface = new SetAlignBrightThresholdInterface();
    };
    SetSortBySpectrumDialogFactory([](int bins) { gSortBySpectrumInterface = new SortBySpectrumInterface(0, bins); });
}
