// files/SaveFITSInterface.h: the Save FITS dialog: the base name of the three
// files (one per colour plane) the summed stack is saved as.
#pragma once

#include "shell/DialogInterface.h"
#include "files/FITSStack.h"

// Control ID of the "SaveFITS" window ("????" signature).
inline constexpr int kSaveFITSNameText = 3;

// Modeless; held in gSaveFITSInterface while open. OK saves base-R.fit,
// base-G.fit and base-B.fit. Main thread only.
class SaveFITSInterface final : public DialogInterface {
public:
    SaveFITSInterface();
    ~SaveFITSInterface() override;

    void RedrawDialog() override {}
    SaveFITSParams Params() const;

protected:
    void commit() override;
    void ClearGlobalPointer() override;
};
