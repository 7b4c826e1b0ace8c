// files/DumpWorkspaceInterface.cpp: the clip export dialog.
#include "files/DumpWorkspaceInterface.h"

#include "shell/DialogPointers.h"
#include "engine/FrameList.h"
#include "shell/ImageDim.h"
#include "files/PictOutput.h"
#include "platform/qt/Controls.h"

DumpWorkspaceInterface::DumpWorkspaceInterface() : DialogInterface("DumpWorkspace")
{
    int64_t clips = 0, included = 0;
    for (const auto& frame : gFrames) {
        ++clips;
        included += frame->GetSumStackIncluded() ? 1 : 0;
    }
    const int64_t pictureSize = DumpPictureSize();
    const int width = gImageDim.right, height = gImageDim.bottom;
    GetControlByID(window(), kDumpWorkspaceLabelSignature, 8)
        .SetText(DumpEstimateText(clips, pictureSize, width, height));
    GetControlByID(window(), kDumpWorkspaceLabelSignature, 11)
        .SetText(DumpEstimateText(included, pictureSize, width, height));
    RedrawDialog();
}

DumpWorkspaceInterface::~DumpWorkspaceInterface()
{
    ClearGlobalPointer();
}

void DumpWorkspaceInterface::RedrawDialog()
{
    const int first = control(kDumpWorkspaceAllClipsCheckbox).Value() != 0 ? 7 : 10;
    for (int id = kDumpWorkspaceFirstLabel; id <= kDumpWorkspaceLastLabel; ++id)
        GetControlByID(window(), kDumpWorkspaceLabelSignature, id).SetEnabled(id >= first && id < first + 3);
}

bool DumpWorkspaceInterface::HandleDialogItemHit(int id, bool& done)
{
    if (id == kDumpWorkspaceAllClipsCheckbox) {
        RedrawDialog();
        return true;
    }
    return DialogInterface::HandleDialogItemHit(id, done);
}

std::string DumpWorkspaceInterface::BaseName() const
{
    char base[256];
    getEditableTextCStr(kControlSignature, kDumpWorkspaceBaseNameText, base, sizeof base);
    return base;
}

void DumpWorkspaceInterface::commit()
{
    DumpWorkspace(control(kDumpWorkspaceAllClipsCheckbox).Value() != 0, BaseName());
}

void DumpWorkspaceInterface::ClearGlobalPointer()
{
    if (gDumpWorkspaceInterface == this)
        gDumpWorkspaceInterface = nullptr;
}
