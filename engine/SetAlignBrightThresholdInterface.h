// engine/SetAlignBrightThresholdInterface.h: the dialog that sets the
// alignment brightness threshold, with a preview of clip 0 in the frame
// inspector in which every pixel the threshold leaves out is black.
#pragma once

#include <memory>

#include "shell/DialogInterface.h"

class GWorldWrapper;

// Control IDs of the "SetAlignmentBrightnessThreshold" window ("????" signature).
inline constexpr int kThresholdTextField = 3;

// The arrows' range (256 leaves every pixel out); typed values are kept as typed.
inline constexpr int kAlignThresholdArrowMin = 0;
inline constexpr int kAlignThresholdArrowMax = 256;
inline constexpr int kAlignThresholdBigStep = 10; // Shift with an arrow

// Opened by "OpAB"; held in gSetAlignBrightThresholdInterface while open. The
// threshold being edited becomes gAlignmentBrightnessThreshold on OK only.
// Main thread only.
class SetAlignBrightThresholdInterface final : public DialogInterface {
public:
    // Builds and shows the dialog with the current threshold and the preview.
    // Throws std::bad_alloc (nothing left behind) when the window or the
    // preview image cannot be made.
    SetAlignBrightThresholdInterface();
    ~SetAlignBrightThresholdInterface() override;

    // Arrow keys nudge (right and up raise, left and down lower; Shift by
    // 10); everything else goes to the base.
    int HandleEvent(const DialogEvent& event, bool& done) override;
    void RedrawDialog() override {}

    // The preview, the size of the document (null once the dialog closes).
    const GWorldWrapper* GetMaskImage() const { return mMaskImage.get(); }
    int Threshold() const { return mThreshold; }

    // One step (10 when big) up or down within 0 .. 256; a beep and no change
    // at the end of the range. The field and the preview follow.
    void NudgeValue(bool up, bool big);
    // Takes the number typed into the field as the threshold, as typed, and
    // writes it back (an empty field stays empty and counts as 0).
    void ValidateEditableText();
    // Remakes the preview from clip 0's rendered image and redraws the
    // inspector. A clip 0 that cannot be had leaves the preview as it was.
    void UpdateMaskImage();

protected:
    void commit() override;
    void finish() override;
    void ClearGlobalPointer() override;

private:
    void WriteThreshold();

    std::unique_ptr<GWorldWrapper> mMaskImage;
    int mThreshold = 0;
};
