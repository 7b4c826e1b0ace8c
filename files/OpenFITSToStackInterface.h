// files/OpenFITSToStackInterface.h: the Open FITS dialog: a file name and the
// colour plane of the summed stack that the file's image goes into.
#pragma once

#include "shell/DialogInterface.h"
#include "files/FITSStack.h"

// Control IDs of the "OpenFITS" window ("????" signature).
inline constexpr int kOpenFITSNameText = 3;
inline constexpr int kOpenFITSChannelPopup = 4; // items 1 red, 2 green, 3 blue

// Modeless; held in gOpenFITSToStackInterface while open. OK reads the file
// into the chosen plane. Main thread only.
class OpenFITSToStackInterface final : public DialogInterface {
public:
    OpenFITSToStackInterface();
    ~OpenFITSToStackInterface() override;

    void RedrawDialog() override {}
    // What OK hands to the file layer: the name as typed (255 characters at
    // most) and the popup's channel (red for anything out of range).
    OpenFITSParams Params() const;

protected:
    void commit() override;
    void ClearGlobalPointer() override;
};
