// files/SaveFITSInterface.cpp: the Save FITS dialog.
#include "files/SaveFITSInterface.h"

#include "shell/DialogPointers.h"
#include "platform/qt/Controls.h"

SaveFITSInterface::SaveFITSInterface() : DialogInterface("SaveFITS")
{
}

SaveFITSInterface::~SaveFITSInterface()
{
    ClearGlobalPointer();
}

SaveFITSParams SaveFITSInterface::Params() const
{
    SaveFITSParams params;
    char base[256];
    getEditableTextCStr(kControlSignature, kSaveFITSNameText, base, sizeof base);
    params.base = base;
    return params;
}

void SaveFITSInterface::commit()
{
    SaveFITSStack(Params());
}

void SaveFITSInterface::ClearGlobalPointer()
{
    if (gSaveFITSInterface == this)
        gSaveFITSInterface = nullptr;
}
