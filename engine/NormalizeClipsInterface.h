// engine/NormalizeClipsInterface.h: the normalise dialog: a goal value and a
// method for the selected clips' brightness factor.
#pragma once

#include "shell/DialogInterface.h"
#include "engine/ClipSettingJobs.h"

// Control IDs of the "NormalizeClips" window ("????" signature).
inline constexpr int kNormalizeGoalText = 3;     // 0 .. 255, clamped as the user types
inline constexpr int kNormalizeMethodRadios = 5; // 1 peak, 2 mean, 3 none

// Modeless; held in gNormalizeClipsInterface while open. Remembers the clip
// under the mouse when it opens; OK starts the normalise job over the
// selection (or that clip); Cancel changes nothing. Main thread only.
class NormalizeClipsInterface final : public DialogInterface {
public:
    NormalizeClipsInterface();
    ~NormalizeClipsInterface() override;

    void RedrawDialog() override {}
    // The method control's value - 1 (kNormalizeByPeak, kNormalizeByMean, kNormalizeNone).
    int getMethodFromRadioButtons() const;
    NormalizeClipsParams Params() const;

protected:
    void commit() override; // normalizeClips
    void ClearGlobalPointer() override;
};

// Opens the dialog into gNormalizeClipsInterface (nothing when it is open
// already); out of memory: the alert and no dialog. Main thread only.
void OpenNormalizeClipsDialog();
