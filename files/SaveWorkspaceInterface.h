// files/SaveWorkspaceInterface.h: the Save Workspace dialog: pictures or raw
// bytes, all clips or the included ones, and the size of each choice.
#pragma once

#include <cstdint>
#include <string>

#include "shell/DialogInterface.h"

// Controls of the "SaveWorkspace" window: check boxes ("????") and the
// twelve labels ("Spac") in four groups of three — 1-3 raw and all clips,
// 4-6 raw and included clips, 7-9 pictures and all clips, 10-12 pictures and
// included clips; the middle label of each group shows its estimate.
inline constexpr int kSaveWorkspacePicturesCheckbox = 3;
inline constexpr int kSaveWorkspaceAllClipsCheckbox = 4;
inline constexpr const char* kSaveWorkspaceLabelSignature = "Spac";
inline constexpr int kSaveWorkspaceFirstLabel = 1;
inline constexpr int kSaveWorkspaceLastLabel = 12;

// The estimate of a workspace in megabytes (1,000,000 bytes) with one
// decimal, truncated: (records × recordBytes + width × height) / 1,000,000,
// in 64 bits (the mask, then one record per clip and calibration frame).
std::string WorkspaceEstimateText(int64_t records, int64_t recordBytes, int width, int height);

// The first label of the group the check boxes choose (1, 4, 7 or 10).
int SaveWorkspaceGroupFirstLabel(bool asPictures, bool allClips);

// Modeless; held in gSaveWorkspaceInterface while open. Opened on a document
// with clips. OK asks for the file and saves (PutWorkingSpaceToFile). Main
// thread only.
class SaveWorkspaceInterface final : public DialogInterface {
public:
    SaveWorkspaceInterface();
    ~SaveWorkspaceInterface() override;

    // Enables the three labels of the chosen group and disables the others.
    void RedrawDialog() override;
    bool HandleDialogItemHit(int id, bool& done) override;

protected:
    void commit() override;
    void ClearGlobalPointer() override;
};
