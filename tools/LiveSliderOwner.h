// tools/LiveSliderOwner.h: what a tool dialog implements to hear of every
// step of a slider drag, so that its preview follows the thumb.
#pragma once

class LiveSliderOwner {
public:
    // Called on the main thread during a drag, after the slider took its new
    // value and redrew itself; index is the one the dialog passed to the
    // slider's ProcessMouse. The dialog reads the value back with GetValue.
    // Not called for the release: the slider's ProcessMouse reports that.
    virtual void ProcessLiveSliderUpdate(int index) = 0;

protected:
    ~LiveSliderOwner() = default;
};
