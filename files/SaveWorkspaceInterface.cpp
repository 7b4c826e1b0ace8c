// files/SaveWorkspaceInterface.cpp: the Save Workspace dialog.
#include "files/SaveWorkspaceInterface.h"

#include "shell/DialogPointers.h"
#include "shell/PascalStrings.h"
#include "engine/CalibrationFrames.h"
#include "engine/FrameList.h"
#include "shell/ImageDim.h"
#include "files/PictOutput.h"
#include "files/Workspace.h"
#include "platform/qt/Controls.h"

std::string WorkspaceEstimateText(int64_t records, int64_t recordBytes, int width, int height)
{
    const int64_t bytes = records * recordBytes + static_cast<int64_t>(width) * height;
    return FloatToString(static_cast<double>(bytes) / 1000000.0, 1);
}

int SaveWorkspaceGroupFirstLabel(bool asPictures, bool allClips)
{
    return (asPictures ? 7 : 1) + (allClips ? 0 : 3);
}

SaveWorkspaceInterface::SaveWorkspaceInterface() : DialogInterface("SaveWorkspace")
{
    const int width = gImageDim.right, height = gImageDim.bottom;
    int64_t clips = 0, included = 0;
    for (const auto& frame : gFrames) {
        ++clips;
        included += frame->GetSumStackIncluded() ? 1 : 0;
    }
    const int64_t calibration = (gDarkFrame ? 1 : 0) + (gFlatFrame ? 1 : 0);
    // A raw record: 27 bytes and three per pixel; a picture record: clip 0's
    // picture, its count and the record.
    const int64_t rawRecord = static_cast<int64_t>(width) * height * 3 + 27;
    const int64_t pictureRecord = DumpPictureSize() + 31;
    const int64_t records[4] = {clips + calibration, included + calibration, clips + calibration,
                                included + calibration};
    const int64_t recordBytes[4] = {rawRecord, rawRecord, pictureRecord, pictureRecord};
    for (int group = 0; group < 4; ++group)
        GetControlByID(window(), kSaveWorkspaceLabelSignature, 3 * group + 2)
            .SetText(WorkspaceEstimateText(records[group], recordBytes[group], width, height));
    RedrawDialog();
}

SaveWorkspaceInterface::~SaveWorkspaceInterface()
{
    ClearGlobalPointer();
}

void SaveWorkspaceInterface::RedrawDialog()
{
    const int first = SaveWorkspaceGroupFirstLabel(control(kSaveWorkspacePicturesCheckbox).Value() != 0,
                                                   control(kSaveWorkspaceAllClipsCheckbox).Value() != 0);
    for (int id = kSaveWorkspaceFirstLabel; id <= kSaveWorkspaceLastLabel; ++id)
        GetControlByID(window(), kSaveWorkspaceLabelSignature, id).SetEnabled(id >= first && id < first + 3);
}

bool SaveWorkspaceInterface::HandleDialogItemHit(int id, bool& done)
{
    if (id == kSaveWorkspacePicturesCheckbox || id == kSaveWorkspaceAllClipsCheckbox) {
        RedrawDialog();
        return true;
    }
    return DialogInterface::HandleDialogItemHit(id, done);
}

void SaveWorkspaceInterface::commit()
{
    (void)PutWorkingSpaceToFile(control(kSaveWorkspacePicturesCheckbox).Value() != 0,
                                control(kSaveWorkspaceAllClipsCheckbox).Value() != 0);
}

void SaveWorkspaceInterface::ClearGlobalPointer()
{
    if (gSaveWorkspaceInterface == this)
        gSaveWorkspaceInterface = nullptr;
}
