// files/DumpWorkspaceInterface.h: the clip export dialog: every clip or the
// included ones written as numbered picture files under a base name.
#pragma once

#include <string>

#include "shell/DialogInterface.h"

// Controls of the "DumpWorkspace" window: the check box and the base name
// ("????"), and the labels ("Spac") 7-9 (all clips; 8 its estimate) and
// 10-12 (included clips; 11 its estimate).
inline constexpr int kDumpWorkspaceAllClipsCheckbox = 3;
inline constexpr int kDumpWorkspaceBaseNameText = 5;
inline constexpr const char* kDumpWorkspaceLabelSignature = "Spac";
inline constexpr int kDumpWorkspaceFirstLabel = 7;
inline constexpr int kDumpWorkspaceLastLabel = 12;

// Modeless; held in gDumpWorkspaceInterface while open. Opened on a document
// with clips. OK asks for a folder and writes the files (DumpWorkspace).
// Main thread only.
class DumpWorkspaceInterface final : public DialogInterface {
public:
    DumpWorkspaceInterface();
    ~DumpWorkspaceInterface() override;

    // Enables labels 7-9 when all clips are chosen, else 10-12.
    void RedrawDialog() override;
    bool HandleDialogItemHit(int id, bool& done) override;
    std::string BaseName() const;

protected:
    void commit() override;
    void ClearGlobalPointer() override;
};
