// engine/DebayerClipsInterface.h: the debayer dialog: a Bayer pattern (or
// matching each clip against clip 0) and a demosaicing method for the
// selected clips.
#pragma once

#include "engine/ClipSettingDialogs.h"
#include "engine/DebayerClips.h"

// Control IDs of the "DebayerClips" window ("????" signature). Only one of
// the two pattern menus shows: the five-item one, whose last item matches each
// clip against clip 0, when clip 0 is debayered; the four-item one otherwise.
inline constexpr int kDebayerPatternMenuWithMatch = 3; // items 1 .. 4 patterns 0 .. 3, 5 match
inline constexpr int kDebayerPatternMenu = 4;          // items 1 .. 4 patterns 0 .. 3
inline constexpr int kDebayerMethodMenu = 8;           // items 1 .. 3 methods 0 .. 2
inline constexpr int kDebayerMatchItem = 5;

// Held in gDebayerClipsInterface while open. Shows the settings last taken
// with OK (pattern 0, the Laplacian method, no matching at first); OK keeps
// them and starts the debayer job (ClipSettingDialog).
class DebayerClipsInterface final : public ClipSettingDialog<DebayerClipsInterface, DebayerClipsParams> {
public:
    DebayerClipsInterface();
    ~DebayerClipsInterface() override;

    DebayerClipsParams Params() const;

    static DebayerClipsInterface*& GlobalPointer();
    static bool Run(const DebayerClipsParams& params, int tempSelection);
};

// Opens the dialog into gDebayerClipsInterface (nothing when it is open
// already); out of memory: the alert and no dialog. Main thread only.
void OpenDebayerClipsDialog();

// The settings the next dialog shows (those last taken with OK).
DebayerClipsParams LastDebayerClipsSettings();
// Puts the remembered settings back to those of a new program.
void ResetDebayerClipsSettingsForTesting();
