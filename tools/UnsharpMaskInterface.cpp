// tools/UnsharpMaskInterface.cpp: the unsharp mask dialog.
#include "tools/UnsharpMaskInterface.h"

#include <algorithm>
#include <new>
#include <string>

#include <QColor>
#include <QLineEdit>

#include "shell/DialogPointers.h"
#include "shell/HistogramInterface.h"
#include "shell/ThumbnailInterface.h"
#include "engine/SummedStack.h"
#include "imaging/SumPlaneFilters.h"
#include "imaging/UnsharpMask.h"
#include "platform/core/DrawTarget.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/CanvasDrawing.h"
#include "platform/qt/Controls.h"

double gLastUnsharpMaskRadius = 0.1;
double gLastUnsharpMaskIntensity = 0.0;

UnsharpMaskInterface::UnsharpMaskInterface()
    : SumStackDialogInterface("UnsharpMask"), mSource(StackWidth(), StackHeight()),
      mBlurred(StackWidth(), StackHeight()), mMask(StackWidth(), StackHeight()),
      mRadiusSlider(MakePoint(kUnsharpMaskRadiusSliderTop, kUnsharpMaskRadiusSliderLeft), gLastUnsharpMaskRadius),
      mIntensitySlider(MakePoint(kUnsharpMaskIntensitySliderTop, kUnsharpMaskIntensitySliderLeft),
                       gLastUnsharpMaskIntensity),
      mRadius(gLastUnsharpMaskRadius), mIntensity(gLastUnsharpMaskIntensity)
{
    setIgnoreEvents(true);
    const int width = StackWidth(), height = StackHeight();
    mThumbnail = std::make_unique<ThumbnailInterface>(canvas(), width, height, kUnsharpMaskThumbnailLeft,
                                                      kUnsharpMaskThumbnailTop, kUnsharpMaskThumbnailWidth,
                                                      kUnsharpMaskThumbnailHeight);
    mThumbnail->setImage(&unfilteredImage());
    mThumbnail->setSubThumbBounds(
        MakeRect(0, 0, std::min(kUnsharpMaskFirstPreviewSide, height), std::min(kUnsharpMaskFirstPreviewSide, width)));
    mHistograms = std::make_unique<HistogramInterface>(kUnsharpMaskHistogramsLeft, kUnsharpMaskHistogramsTop,
                                                       kUnsharpMaskHistogramsSpacing);
    (void)mHistograms->GenerateHistograms(unfilteredImage(), previewRect()); // inside the image by construction

    ControlHandle field = control(kUnsharpMaskRingingThreshold);
    field.SetText(std::to_string(mRingingThreshold));
    if (auto* edit = qobject_cast<QLineEdit*>(field.Widget()))
        QObject::connect(edit, &QLineEdit::textEdited, edit, [this] { ValidateEditableText(); });

    UpdateUnsharpMaskDialogBlur();
    setIgnoreEvents(false);
}

UnsharpMaskInterface::~UnsharpMaskInterface() = default;

bool UnsharpMaskInterface::HavePlanes() const
{
    // The stack cannot change size or go while a filter dialog is open; the
    // test keeps a stray call harmless all the same.
    return HaveSummedStack() && savedRed().size() == Saved().Count() && mBlurred.Width() == StackWidth() &&
           mBlurred.Height() == StackHeight();
}

Rect UnsharpMaskInterface::previewRect() const
{
    return mThumbnail->subThumbScaledUpBounds();
}

std::optional<Rect> UnsharpMaskInterface::previewArea() const
{
    return previewRect();
}

void UnsharpMaskInterface::FillHistogramsFromStack()
{
    if (gFrameStack)
        (void)mHistograms->GenerateHistograms(*gFrameStack, previewRect()); // the thumbnail keeps it inside
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

bool UnsharpMaskInterface::DefinePreviewBounds()
{
    const Rect old = previewRect();
    // No live preview while the rectangle is dragged: it is sharpened once,
    // after the release.
    if (!mThumbnail->DefineSubThumbBounds(nullptr) || previewRect() == old)
        return false;
    // Only one rectangle of the stack is ever sharpened while the dialog is
    // open: the old one gets its saved values back.
    if (HavePlanes()) {
        CopySumPlanesRect(Saved(), Live(), old);
        if (preview())
            ProjectStackIntoFrameStackGWorld(false, old);
    }
    return true;
}

void UnsharpMaskInterface::processMouse(int, bool&)
{
    PortSaver port;
    SetPort(canvas());
    bool hit = false;
    if (mRadiusSlider.ProcessMouse(hit)) {
        mRadius = mRadiusSlider.GetValue();
        UpdateUnsharpMaskDialogBlur();
    }
    if (hit) {
        mActiveSlider = kUnsharpMaskRadiusSlider;
        return;
    }
    const bool changed = mIntensitySlider.ProcessMouse(hit, this, kUnsharpMaskIntensitySlider);
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
    if (DefinePreviewBounds()) {
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

void UnsharpMaskInterface::TogglePreview()
{
    SumStackDialogInterface::TogglePreview();
    FillHistogramsFromStack();
    RedrawDialog();
}

bool UnsharpMaskInterface::HandleDialogItemHit(int id, bool& done)
{
    if (id == kDialogHistogramScale) {
        mHistograms->HandleDialogItemHit(control(kDialogHistogramScale));
        RedrawDialog();
        return true;
    }
    return SumStackDialogInterface::HandleDialogItemHit(id, done);
}

void UnsharpMaskInterface::ValidateEditableText()
{
    if (runningCtorDtor() || closing())
        return;
    ControlHandle field = control(kUnsharpMaskRingingThreshold);
    const int value = std::clamp(getEditableTextInt(field), kRingingThresholdMin, kRingingThresholdMax);
    const std::string text = std::to_string(value);
    if (!field.Text().empty() && field.Text() != text)
        field.SetText(text); // the field shows 255 after 300 is typed
    if (value != mRingingThreshold) {
        mRingingThreshold = value;
        UpdateUnsharpMaskedResult();
    }
}

void UnsharpMaskInterface::RedrawDialog()
{
    Canvas* surface = canvas();
    if (!surface)
        return;
    PortSaver port;
    SetPort(surface);
    FillCanvasRect(surface->Image(), surface->Image().rect(), QColor(Qt::white));
    mThumbnail->Draw(true);
    mHistograms->Draw(surface);
    mRadiusSlider.DrawGaussianBlurSlider();
    mIntensitySlider.DrawMaskIntensitySlider();
    surface->Flush();
}

void UnsharpMaskInterface::commit()
{
    mThumbnail->setSubThumbBounds(MakeRect(0, 0, StackHeight(), StackWidth()));
    UpdateUnsharpMaskDialogMask();
    gLastUnsharpMaskRadius = mRadius;
    gLastUnsharpMaskIntensity = mIntensity;
}

void UnsharpMaskInterface::ClearGlobalPointer()
{
    gUnsharpMaskInterface = nullptr;
}
