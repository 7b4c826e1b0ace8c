// engine/NormalizeClipsInterface.h: the normalise dialog: a goal value and a
// method for the selected clips' brightness factor.
#pragma once

#include "engine/ClipSettingDialogs.h"
#include "engine/ClipSettingJobs.h"

// Control IDs of the "NormalizeClips" window ("????" signature).
inline constexpr int kNormalizeGoalText = 3;     // 0 .. 255, clamped as the user types
inline constexpr int kNormalizeMethodRadios = 5; // 1 peak, 2 mean, 3 none

// Held in gNormalizeClipsInterface while open. The goal starts at the top of
// its range at every opening and the method keeps the form's choice; OK
// starts the normalise job (ClipSettingDialog).
class NormalizeClipsInterface final : public ClipSettingDialog<NormalizeClipsInterface, NormalizeClipsParams> {
public:
    NormalizeClipsInterface();
    ~NormalizeClipsInterface() override;

    // The method control's value - 1 (kNormalizeByPeak, kNormalizeByMean, kNormalizeNone).
    int getMethodFromRadioButtons() const;
    NormalizeClipsParams Params() const;

    static NormalizeClipsInterface*& GlobalPointer();
    static bool Run(const NormalizeClipsParams& params, int tempSelection);
};

// Opens the dialog into gNormalizeClipsInterface (nothing when it is open
// already); out of memory: the alert and no dialog. Main thread only.
void OpenNormalizeClipsDialog();
