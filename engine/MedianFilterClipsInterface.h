// engine/MedianFilterClipsInterface.h: the median-filter dialog: radius,
// absolute or relative threshold for the selected clips' selective median filter.
#pragma once

#include "engine/ClipSettingDialogs.h"
#include "engine/ClipSettingJobs.h"

// Control IDs of the "MedianFilterClips" window ("????" signature).
inline constexpr int kMedianRadiusMenu = 3;    // item n = radius n, 1 .. kMedianFilterMaxRadius
inline constexpr int kMedianMethodRadios = 6;  // 1 absolute, 2 relative
inline constexpr int kMedianThresholdText = 8; // 0 .. 256, clamped as the user types

// Held in gMedianFilterClipsInterface while open. Shows the settings last
// taken with OK (radius 1, absolute, threshold 0 at first); OK keeps them and
// starts the median-filter job (ClipSettingDialog).
class MedianFilterClipsInterface final : public ClipSettingDialog<MedianFilterClipsInterface, MedianFilterClipsParams> {
public:
    MedianFilterClipsInterface();
    ~MedianFilterClipsInterface() override;

    MedianFilterClipsParams Params() const;

    static MedianFilterClipsInterface*& GlobalPointer();
    static bool Run(const MedianFilterClipsParams& params, int tempSelection);
};

// Opens the dialog into gMedianFilterClipsInterface (nothing when it is open
// already); out of memory: the alert and no dialog. Main thread only.
void OpenMedianFilterClipsDialog();

// The settings the next dialog shows (those last taken with OK).
MedianFilterClipsParams LastMedianFilterClipsSettings();
// Puts the remembered settings back to those of a new program.
void ResetMedianFilterClipsSettingsForTesting();
