// engine/SetAlignBrightThresholdInterface.cpp: the alignment threshold dialog.
#include "engine/SetAlignBrightThresholdInterface.h"

#include <algorithm>
#include <new>
#include <string>

#include <QLineEdit>
#include <QObject>

#include "engine/ClipViewWindow.h"
#include "shell/DialogPointers.h"
#include "engine/AlignmentThreshold.h"
#include "engine/Frame.h"
#include "engine/FrameList.h"
#include "shell/ImageDim.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/core/UserInteraction.h"
#include "platform/qt/Controls.h"
#include "platform/qt/Modifiers.h"

SetAlignBrightThresholdInterface::SetAlignBrightThresholdInterface()
    : DialogInterface("SetAlignmentBrightnessThreshold")
{
    setIgnoreEvents(true);
    // The preview is clip 0 as rendered; without it the dialog does not open.
    RequireFirstClipRender();
    mThreshold = gAlignmentBrightnessThreshold;
    mMaskImage = std::make_unique<GWorldWrapper>(32, gImageDim, -1);
    if (auto* edit = qobject_cast<QLineEdit*>(control(kThresholdTextField).Widget()))
        QObject::connect(edit, &QLineEdit::textEdited, edit, [this] {
            if (!runningCtorDtor() && !closing())
                ValidateEditableText();
        });
    WriteThreshold();
    // The inspector shows the preview while the dialog is open and not
    // being built or closed.
    SetThresholdMaskSource(InspectorMaskSource{
        [this] { return !runningCtorDtor() && !closing(); },
        [this]() -> const GWorldWrapper* { return mMaskImage.get(); },
    });
    gSetAlignBrightThresholdInterface = this;
    setIgnoreEvents(false);
    UpdateMaskImage();
}

SetAlignBrightThresholdInterface::~SetAlignBrightThresholdInterface()
{
    SetThresholdMaskSource(InspectorMaskSource{});
    if (gSetAlignBrightThresholdInterface == this)
        gSetAlignBrightThresholdInterface = nullptr;
}

int SetAlignBrightThresholdInterface::HandleEvent(const DialogEvent& event, bool& done)
{
    if (event.kind == DialogEvent::keyDown) {
        const bool shift = (event.modifiers & kShiftKeyBit) != 0;
        if (event.key == Qt::Key_Right || event.key == Qt::Key_Up) {
            NudgeValue(true, shift);
            return kEventHandled;
        }
        if (event.key == Qt::Key_Left || event.key == Qt::Key_Down) {
            NudgeValue(false, shift);
            return kEventHandled;
        }
    }
    return DialogInterface::HandleEvent(event, done);
}

void SetAlignBrightThresholdInterface::NudgeValue(bool up, bool big)
{
    const int step = big ? kAlignThresholdBigStep : 1;
    if (up) {
        if (mThreshold >= kAlignThresholdArrowMax) {
            SysBeep();
            return;
        }
        mThreshold = std::min(mThreshold + step, kAlignThresholdArrowMax);
    } else {
        if (mThreshold <= kAlignThresholdArrowMin) {
            SysBeep();
            return;
        }
        mThreshold = std::max(mThreshold - step, kAlignThresholdArrowMin);
    }
    WriteThreshold();
    UpdateMaskImage();
}

void SetAlignBrightThresholdInterface::ValidateEditableText()
{
    const int old = mThreshold;
    ControlHandle field = control(kThresholdTextField);
    mThreshold = getEditableTextInt(field);
    if (!field.Text().empty())
        WriteThreshold();
    if (mThreshold != old)
        UpdateMaskImage();
}

void SetAlignBrightThresholdInterface::WriteThreshold()
{
    ControlHandle field = control(kThresholdTextField);
    const std::string text = std::to_string(mThreshold);
    if (field.Text() != text)
        field.SetText(text);
}

void SetAlignBrightThresholdInterface::UpdateMaskImage()
{
    Frame* reference = FrameAt(0);
    if (mMaskImage && reference) {
        try {
            // On the main thread a clip a worker is using gives no lease: the
            // preview then stays as it was.
            if (FrameLease lease = reference->GetModified(true))
                MakeAlignmentThresholdMask(*lease, mThreshold, *mMaskImage);
        } catch (const std::bad_alloc&) {
            // The render has shown the out-of-memory alert; the preview stays.
        }
    }
    DrawFrameInspectorWindow();
}

void SetAlignBrightThresholdInterface::commit()
{
    gAlignmentBrightnessThreshold = mThreshold;
}

void SetAlignBrightThresholdInterface::finish()
{
    mMaskImage.reset();
    DrawFrameInspectorWindow();
}

void SetAlignBrightThresholdInterface::ClearGlobalPointer()
{
    if (gSetAlignBrightThresholdInterface == this)
        gSetAlignBrightThresholdInterface = nullptr;
}
