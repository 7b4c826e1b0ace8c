// engine/CreateHotPixelMaskInterface.h: the hot-pixel mask dialog: a
// brightness threshold and a radius, the image the hot pixels are found in
// (clip 1 or the dark frame), and a live preview of what the mask leaves out.
#pragma once

#include <memory>

#include "shell/DialogInterface.h"
#include "imaging/HotPixels.h"

class GWorldWrapper;

// Control IDs of the "CreateHotPixelMask" window ("????" signature).
inline constexpr int kHotPixelThresholdText = 3;
inline constexpr int kHotPixelRadiusPopup = 4;  // item = radius + 1
inline constexpr int kHotPixelSourceRadios = 5; // 1 clip 1, 2 the dark frame
inline constexpr int kHotPixelPreviewCheckbox = 7;

// Nudge steps of the threshold (arrow keys; with Shift the large one).
inline constexpr int kHotPixelNudgeSmall = 1;
inline constexpr int kHotPixelNudgeLarge = 10;

// Modeless; held in gCreateHotPixelMaskInterface while open (non-null from
// the end of construction to the end of OK or Cancel). Opens with the last
// mask's settings (gPreviousHotPixelMaskThreshold, ...Radius), clip 1 as the
// source (the dark-frame choice is disabled without a dark frame) and the
// preview on. While the preview is on, the mask image (black where the mask
// leaves a pixel in, the source's colours where it takes one out) is shown in
// the frame inspector, or in the dark-frame window when the dark frame is the
// source. OK makes gHotPixelMask from the settings and keeps them as the
// last; Cancel changes nothing. The summed stack stays either way: the mask
// takes effect at the next stacking. Main thread only.
class CreateHotPixelMaskInterface final : public DialogInterface {
public:
    // Throws std::bad_alloc (nothing left behind) when the mask image cannot
    // be made.
    CreateHotPixelMaskInterface();
    ~CreateHotPixelMaskInterface() override;

    int HandleEvent(const DialogEvent& event, bool& done) override;
    void RedrawDialog() override {}
    bool HandleDialogItemHit(int id, bool& done) override;

    // Recomputes the mask image from the source and redraws the window that
    // shows it.
    void UpdateMaskImage();
    // The arrow keys: up by the step unless the threshold is already above
    // 255 (a beep), capped at 256; down unless it is below 1 (a beep),
    // floored at 0. The field shows the new value.
    void NudgeValue(bool up, bool large);
    // The threshold field after each edit: its leading number (0 when none)
    // becomes the threshold and is written back.
    void ValidateEditableText();
    void TogglePreview();

    // The preview image (gImageDim), null once the dialog is closing.
    const GWorldWrapper* GetMaskImage() const;
    bool GetUsingDarkFrame() const;
    bool GetPreviewOn() const;
    HotPixelParams Params() const { return HotPixelParams{mThreshold, mRadius}; }
    // True from the end of construction until the dialog starts to close.
    bool IsShowingPreviews() const;

protected:
    // OK: the new gHotPixelMask (the old one stays when the source cannot be
    // had, with a beep); std::bad_alloc leaves the old one too.
    void commit() override;
    void finish() override;
    void ClearGlobalPointer() override;

private:
    // The source image and what keeps it alive; image null when it cannot be had.
    struct Source;
    Source GetSource() const;
    void RedrawPreviewWindow();

    std::unique_ptr<GWorldWrapper> mMaskImage;
    int mThreshold = kHotPixelThresholdNone;
    int mRadius = 0;
    bool mPreviewOn = true;
    bool mReady = false;
};

// "OpHP": opens the dialog. Refused with a beep while a job runs or a
// dialog reads the clips (this one included), and without clips.
// Throws std::bad_alloc when the dialog cannot be built.
void OpenCreateHotPixelMaskDialog();
