// tools/UnsharpMaskInterface.cpp: the unsharp mask dialog.
#include "tools/UnsharpMaskInterface.h"

#include <new>

#include "shell/DialogPointers.h"
#include "shell/ThumbnailInterface.h"
#include "engine/SummedStack.h"
#include "imaging/SumPlaneFilters.h"
#include "imaging/UnsharpMask.h"
#include "platform/core/DrawTarget.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/qt/Canvas.h"

double gLastUnsharpMaskRadius = 0.1;
double gLastUnsharpMaskIntensity = 0.0;

UnsharpMaskInterface::UnsharpMaskInterface()
    : PreviewRectDialog(
          "UnsharpMask",
          {kUnsharpMaskThumbnailLeft, kUnsharpMaskThumbnailTop, kUnsharpMaskThumbnailWidth,
           kUnsharpMaskThumbnailHeight},
          kUnsharpMaskFirstPreviewSide,
          HistogramsPlace{kUnsharpMaskHistogramsLeft, kUnsharpMaskHistogramsTop, kUnsharpMaskHistogramsSpacing},
          kUnsharpMaskRingingThreshold),
      mSource(StackWidth(), StackHeight()), mBlurred(StackWidth(), StackHeight()), mMask(StackWidth(), StackHeight()),
      mRadiusSlider(MakePoint(kUnsharpMaskRadiusSliderTop, kUnsharpMaskRadiusSliderLeft), gLastUnsharpMaskRadius),
      mIntensitySlider(MakePoint(kUnsharpMaskIntensitySliderTop, kUnsharpMaskIntensitySliderLeft),
                       gLastUnsharpMaskIntensity),
      mRadius(gLastUnsharpMaskRadius), mIntensity(gLastUnsharpMaskIntensity)
{
    UpdateUnsharpMaskDialogBlur();
    setIgnoreEvents(false);
}

UnsharpMaskInterface::~UnsharpMaskInterface() = default;

bool UnsharpMaskInterface::HavePlanes() const
{
    return HaveSummedStack() && savedRed().size() == Saved().Count() && mBlurred.Width() == StackWidth() &&
           mBlurred.Height() == StackHeight();
}

void UnsharpMaskInterface::UpdateUnsharpMaskDialogBlur()
{
    // Out of memory passes on: the dialog ends as Cancel (or does not open).
    if (HavePlanes())
        BlurSumPlanes(Saved(), mRadius, mSource, mBlurred);
    UpdateUnsharpMaskDialogMask();
}

void UnsharpMaskInterface::UpdateUnsharpMaskDialogMask()
{
    if (HavePlanes())
        SubtractBlurToMask(Saved(), mBlurred, previewRect(), mIntensity, mMask);
    UpdateUnsharpMaskedResult();
}

void UnsharpMaskInterface::UpdateUnsharpMaskedResult()
{
    if (HavePlanes()) {
        AddMaskToSumPlanes(Saved(), mMask, previewRect(), mRingingThreshold, gNumFramesInStack, Live());
        if (preview())
            ProjectStackIntoFrameStackGWorld(false, previewRect());
    }
    FillHistogramsFromStack();
    RedrawDialog();
}

void UnsharpMaskInterface::ProcessLiveSliderUpdate(int)
{
    mIntensity = mIntensitySlider.GetValue();
    UpdateUnsharpMaskDialogMask();
}

void UnsharpMaskInterface::processMouse(int, QPoint where, bool&)
{
    PortSaver port;
    SetPort(canvas());
    bool hit = false;
    if (mRadiusSlider.ProcessMouse(where, hit)) {
        mRadius = mRadiusSlider.GetValue();
        UpdateUnsharpMaskDialogBlur();
    }
    if (hit) {
        mActiveSlider = kUnsharpMaskRadiusSlider;
        return;
    }
    const bool changed = mIntensitySlider.ProcessMouse(where, hit, this, kUnsharpMaskIntensitySlider);
    // Also when the release lands back on the starting value after live
    // steps that the last move did not undo: the result must show what the
    // slider shows.
    if (changed || (hit && mIntensitySlider.GetValue() != mIntensity)) {
        mIntensity = mIntensitySlider.GetValue();
        UpdateUnsharpMaskDialogMask();
    }
    if (hit) {
        mActiveSlider = kUnsharpMaskIntensitySlider;
        return;
    }
    if (DefinePreviewBounds(where)) {
        // Rebuilds the new rectangle, shows it, fills the histograms from it
        // and redraws.
        UpdateUnsharpMaskDialogMask();
    }
}

void UnsharpMaskInterface::nudgeSlider(bool up, bool shift)
{
    PortSaver port;
    SetPort(canvas());
    switch (mActiveSlider) {
    case kUnsharpMaskRadiusSlider:
        if (mRadiusSlider.NudgeSlider(up, shift)) {
            mRadius = mRadiusSlider.GetValue();
            UpdateUnsharpMaskDialogBlur();
        }
        break;
    case kUnsharpMaskIntensitySlider:
        if (mIntensitySlider.NudgeSlider(up, shift)) {
            mIntensity = mIntensitySlider.GetValue();
            UpdateUnsharpMaskDialogMask();
        }
        break;
    default:
        break; // no thumb grabbed yet
    }
}

void UnsharpMaskInterface::RedrawDialog()
{
    PortSaver port;
    Canvas* surface = BeginRedraw(port);
    if (!surface)
        return;
    mRadiusSlider.DrawGaussianBlurSlider();
    mIntensitySlider.DrawMaskIntensitySlider();
    surface->Flush();
}

void UnsharpMaskInterface::commit()
{
    PreviewWholeStack();
    UpdateUnsharpMaskDialogMask();
    gLastUnsharpMaskRadius = mRadius;
    gLastUnsharpMaskIntensity = mIntensity;
}

void UnsharpMaskInterface::ClearGlobalPointer()
{
    gUnsharpMaskInterface = nullptr;
}
