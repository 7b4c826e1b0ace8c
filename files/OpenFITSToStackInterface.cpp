// files/OpenFITSToStackInterface.cpp: the Open FITS dialog.
#include "files/OpenFITSToStackInterface.h"

#include "shell/DialogPointers.h"
#include "platform/qt/Controls.h"

OpenFITSToStackInterface::OpenFITSToStackInterface() : DialogInterface("OpenFITS")
{
}

OpenFITSToStackInterface::~OpenFITSToStackInterface()
{
    ClearGlobalPointer();
}

OpenFITSParams OpenFITSToStackInterface::Params() const
{
    OpenFITSParams params;
    char name[256];
    getEditableTextCStr(kControlSignature, kOpenFITSNameText, name, sizeof name);
    params.name = name;
    const int channel = control(kOpenFITSChannelPopup).Value() - 1;
    params.channel = (channel >= kRedChannel && channel <= kBlueChannel) ? channel : kRedChannel;
    return params;
}

void OpenFITSToStackInterface::commit()
{
    OpenFITSToStack(Params());
}

void OpenFITSToStackInterface::ClearGlobalPointer()
{
    if (gOpenFITSToStackInterface == this)
        gOpenFITSToStackInterface = nullptr;
}
