// engine/SumStackDialogInterface.h: the base of the dialogs that filter the
// summed stack in place: the planes and the shown image saved at opening, a
// preview switch (control 3), arrow-key nudging, and on closing the saved
// planes restored (Cancel) or the filtered ones kept (OK).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "shell/DialogInterface.h"
#include "imaging/SumPlanes.h"
#include "platform/core/Geometry.h"

class GWorldWrapper;

inline constexpr int kDialogPreview = 3;        // check box
inline constexpr int kDialogHistogramScale = 4; // selector of the histograms' vertical scale

class SumStackDialogInterface : public DialogInterface {
public:
    // Saves the three planes and the display image with all channels shown
    // (the window keeps showing the channel chosen), sets the preview on and
    // the histogram scale selector to 3. Needs a summed stack. Throws
    // std::bad_alloc with nothing changed and nothing left behind.
    explicit SumStackDialogInterface(const std::string& windowName);
    ~SumStackDialogInterface() override;

    // Arrow keys: right and up nudge up, left and down nudge down, Shift the
    // larger step. A press on the background resets the cursor and goes to
    // processMouse with the press's position in the canvas; when that ends
    // the dialog, nothing else handles the press.
    int HandleEvent(const DialogEvent& event, bool& done) override;
    // 3 toggles the preview; the rest goes to the base.
    bool HandleDialogItemHit(int id, bool& done) override;
    void RedrawDialog() override = 0;

    // where: the press's own position in the canvas's coordinates (the
    // pointer may be far from it by the time the press is handled).
    virtual void processMouse(int modifiers, QPoint where, bool& done) = 0;
    virtual void nudgeSlider(bool up, bool shift) = 0;
    // Switches the preview and shows the stack as ShowStack does.
    virtual void TogglePreview();
    // The View menu changed the channel flags while the dialog is open: the
    // stack is shown again as ShowStack does, not projected whole from the
    // live planes.
    void ChannelsChanged() { ShowStack(); }
    // The open dialog of this kind (at most one is open), or null. Main thread.
    static SumStackDialogInterface* OpenDialog();

    bool preview() const { return mPreview; }
    const GWorldWrapper& unfilteredImage() const { return *mUnfilteredImage; }
    // The planes as they were at opening (width × height of the stack each;
    // empty when the stack had no planes). Filters always start from these.
    const std::vector<int32_t>& savedRed() const { return mSavedRed; }
    const std::vector<int32_t>& savedGreen() const { return mSavedGreen; }
    const std::vector<int32_t>& savedBlue() const { return mSavedBlue; }
    // The saved planes and the live planes of the stack, as the filters read
    // and write them.
    ConstSumPlanes Saved() const;
    SumPlanes Live() const;

protected:
    // The part of the stack a tool that filters only a preview rectangle
    // shows live (an empty rectangle: none yet); nullopt, the default, for a
    // tool that filters the whole stack.
    virtual std::optional<Rect> previewArea() const { return std::nullopt; }
    // Shows the stack with the current channel flags, drawn once: preview
    // off, the saved planes; on, the live planes, or with a preview area the
    // saved planes outside it and the live planes inside (a projection of
    // the whole live stack would rescale the rest of the picture by the
    // rectangle's brightest sum).
    void ShowStack();
    // Cancel: the saved planes go back and are projected; OK: the live planes
    // are projected with growth allowed. Both end with all channels shown.
    void finish() override;

private:
    std::unique_ptr<GWorldWrapper> mUnfilteredImage;
    std::vector<int32_t> mSavedRed, mSavedGreen, mSavedBlue;
    int mSavedWidth = 0, mSavedHeight = 0;
    bool mPreview = true;
};
