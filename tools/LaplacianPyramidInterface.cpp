// tools/LaplacianPyramidInterface.cpp: the Laplacian pyramid dialog.
#include "tools/LaplacianPyramidInterface.h"

#include <algorithm>
#include <new>
#include <string>

#include <QColor>
#include <QLineEdit>

#include "shell/CommandOperations.h"
#include "shell/DialogPointers.h"
#include "shell/HistogramInterface.h"
#include "shell/ShellSettings.h"
#include "shell/ThumbnailInterface.h"
#include "engine/SummedStack.h"
#include "imaging/SumPlaneFilters.h"
#include "platform/core/DrawTarget.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/CanvasDrawing.h"
#include "platform/qt/Controls.h"
#include "tools/OneThreadWorkScope.h"

double gLastLaplacianPyramidLayerIntensities[kLaplacianPyramidComponents] = {1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0};

namespace {

bool IsPinAt1(int id)
{
    return id >= kLaplacianPinAt1First && id <= kLaplacianResidualPinAt1;
}

bool IsPinAt0(int id)
{
    return id >= kLaplacianPinAt0First && id <= kLaplacianPinAt0Last;
}

} // namespace

LaplacianPyramidInterface::LaplacianPyramidInterface() : SumStackDialogInterface("LaplacianPyramid")
{
    setIgnoreEvents(true);
    std::copy(std::begin(gLastLaplacianPyramidLayerIntensities), std::end(gLastLaplacianPyramidLayerIntensities),
              mIntensities);
    const int width = StackWidth(), height = StackHeight();
    mThumbnail =
        std::make_unique<ThumbnailInterface>(canvas(), width, height, kLaplacianThumbnailLeft, kLaplacianThumbnailTop,
                                             kLaplacianThumbnailWidth, kLaplacianThumbnailHeight);
    mThumbnail->setImage(&unfilteredImage());
    mThumbnail->setSubThumbBounds(
        MakeRect(0, 0, std::min(kLaplacianFirstPreviewSide, height), std::min(kLaplacianFirstPreviewSide, width)));
    mHistograms = std::make_unique<HistogramInterface>(kLaplacianHistogramsLeft, kLaplacianHistogramsTop,
                                                       kLaplacianHistogramsSpacing);
    (void)mHistograms->GenerateHistograms(unfilteredImage(), previewRect()); // inside the image by construction

    mSliders[kLaplacianResidualSlider].SetParameters(MakePoint(kLaplacianResidualSliderTop, kLaplacianSliderLeft),
                                                     mIntensities[kLaplacianPyramidResidual]);
    for (int k = 0; k < kLaplacianPyramidLayers; ++k)
        mSliders[k].SetParameters(
            MakePoint(kLaplacianFirstLayerSliderTop + kLaplacianSliderSpacing * k, kLaplacianSliderLeft),
            mIntensities[k]);

    // Every pin starts off, whatever the form says.
    for (int id = kLaplacianPinAt1First; id <= kLaplacianPinAt0Last; ++id)
        control(id).SetValue(0);
    ControlHandle field = control(kLaplacianRingingThreshold);
    field.SetText(std::to_string(mRingingThreshold));
    if (auto* edit = qobject_cast<QLineEdit*>(field.Widget()))
        QObject::connect(edit, &QLineEdit::textEdited, edit, [this] { ValidateEditableText(); });

    CreateInitialLaplacianPyramid();
    setIgnoreEvents(false);
}

LaplacianPyramidInterface::~LaplacianPyramidInterface() = default;

bool LaplacianPyramidInterface::HavePlanes() const
{
    // The stack cannot change size or go while a filter dialog is open; the
    // test keeps a stray call harmless all the same.
    return HaveSummedStack() && savedRed().size() == Saved().Count() && !mPyramid.IsEmpty() &&
           mPyramid.Width() == StackWidth() && mPyramid.Height() == StackHeight();
}

Rect LaplacianPyramidInterface::previewRect() const
{
    return mThumbnail->subThumbScaledUpBounds();
}

std::optional<Rect> LaplacianPyramidInterface::previewArea() const
{
    return previewRect();
}

void LaplacianPyramidInterface::FillHistogramsFromStack()
{
    if (gFrameStack)
        (void)mHistograms->GenerateHistograms(*gFrameStack, previewRect()); // the thumbnail keeps it inside
}

void LaplacianPyramidInterface::CreateInitialLaplacianPyramid()
{
    OneThreadWorkScope scope(kLaplacianPyramidLayers - 1, true);
    if (HaveSummedStack() && savedRed().size() == Saved().Count())
        mPyramid.Build(Saved(), [&scope](int k) { scope.Step(k); });
    scope.CloseProgress();
    ReconstructImageFromLaplacianPyramid(true);
}

void LaplacianPyramidInterface::getPins(bool pinnedAt1[kLaplacianPyramidComponents],
                                        bool pinnedAt0[kLaplacianPyramidLayers]) const
{
    for (int k = 0; k < kLaplacianPyramidComponents; ++k)
        pinnedAt1[k] = control(kLaplacianPinAt1First + k).Value() != 0;
    for (int k = 0; k < kLaplacianPyramidLayers; ++k)
        pinnedAt0[k] = control(kLaplacianPinAt0First + k).Value() != 0;
}

void LaplacianPyramidInterface::ReconstructImageFromLaplacianPyramid(bool full)
{
    bool at1[kLaplacianPyramidComponents], at0[kLaplacianPyramidLayers];
    getPins(at1, at0);
    double gains[kLaplacianPyramidComponents];
    for (int k = 0; k < kLaplacianPyramidLayers; ++k)
        gains[k] = EffectiveLaplacianGain(mIntensities[k], at1[k], at0[k]);
    gains[kLaplacianPyramidResidual] =
        EffectiveLaplacianGain(mIntensities[kLaplacianPyramidResidual], at1[kLaplacianPyramidResidual], false);
    if (HavePlanes()) {
        mPyramid.Reconstruct(gains, previewRect(), full);
        mPyramid.WriteBack(Saved(), previewRect(), mRingingThreshold, gNumFramesInStack, Live());
        if (preview())
            ProjectStackIntoFrameStackGWorld(false, previewRect());
    }
    FillHistogramsFromStack();
    RedrawDialog();
}

void LaplacianPyramidInterface::UncheckPins(int component)
{
    control(kLaplacianPinAt1First + component).SetValue(0);
    if (component < kLaplacianPyramidLayers)
        control(kLaplacianPinAt0First + component).SetValue(0);
}

void LaplacianPyramidInterface::ApplySliderValue(int component)
{
    // A moved slider takes effect: its pins come off.
    mIntensities[component] = mSliders[component].GetValue();
    UncheckPins(component);
    ReconstructImageFromLaplacianPyramid(false);
}

void LaplacianPyramidInterface::ProcessLiveSliderUpdate(int index)
{
    if (index >= 0 && index < kLaplacianPyramidComponents)
        ApplySliderValue(index);
}

bool LaplacianPyramidInterface::DefinePreviewBounds()
{
    const Rect old = previewRect();
    // No live preview while the rectangle is dragged: it is rebuilt once,
    // after the release.
    if (!mThumbnail->DefineSubThumbBounds(nullptr) || previewRect() == old)
        return false;
    // Only one rectangle of the stack is ever filtered while the dialog is
    // open: the old one gets its saved values back.
    if (HavePlanes()) {
        CopySumPlanesRect(Saved(), Live(), old);
        if (preview())
            ProjectStackIntoFrameStackGWorld(false, old);
    }
    return true;
}

void LaplacianPyramidInterface::processMouse(int, bool&)
{
    PortSaver port;
    SetPort(canvas());
    for (int k = 0; k < kLaplacianPyramidComponents; ++k) {
        bool hit = false;
        const bool changed = mSliders[k].ProcessMouse(hit, this, k);
        // Also when the release lands back on the starting value after live
        // steps: the preview must show what the slider shows.
        if (changed || (hit && mSliders[k].GetValue() != mIntensities[k]))
            ApplySliderValue(k);
        if (hit) {
            mActiveSlider = k;
            return;
        }
    }
    if (DefinePreviewBounds())
        ReconstructImageFromLaplacianPyramid(true);
}

void LaplacianPyramidInterface::nudgeSlider(bool up, bool shift)
{
    if (mActiveSlider < 0 || mActiveSlider >= kLaplacianPyramidComponents)
        return; // no thumb grabbed yet
    PortSaver port;
    SetPort(canvas());
    if (mSliders[mActiveSlider].NudgeSlider(up, shift))
        ApplySliderValue(mActiveSlider);
}

void LaplacianPyramidInterface::TogglePreview()
{
    SumStackDialogInterface::TogglePreview();
    FillHistogramsFromStack();
    RedrawDialog();
}

bool LaplacianPyramidInterface::HandleDialogItemHit(int id, bool& done)
{
    if (id == kDialogHistogramScale) {
        mHistograms->HandleDialogItemHit(control(kDialogHistogramScale));
        RedrawDialog();
        return true;
    }
    // The two pins of a layer exclude each other; the residual has no pin at 0.
    constexpr int kPartner = kLaplacianPyramidLayers + 1;
    if (IsPinAt1(id)) {
        if (id != kLaplacianResidualPinAt1 && control(id).Value() != 0)
            control(id + kPartner).SetValue(0);
        ReconstructImageFromLaplacianPyramid(false);
        return true;
    }
    if (IsPinAt0(id)) {
        if (control(id).Value() != 0)
            control(id - kPartner).SetValue(0);
        ReconstructImageFromLaplacianPyramid(false);
        return true;
    }
    if (id == kLaplacianReset) {
        PortSaver port;
        SetPort(canvas());
        for (int k = 0; k < kLaplacianPyramidComponents; ++k) {
            mSliders[k].SetValue(kLaplacianPyramidNeutralGain);
            mIntensities[k] = mSliders[k].GetValue();
            UncheckPins(k);
        }
        ReconstructImageFromLaplacianPyramid(false);
        return true;
    }
    return SumStackDialogInterface::HandleDialogItemHit(id, done);
}

void LaplacianPyramidInterface::ValidateEditableText()
{
    if (runningCtorDtor() || closing())
        return;
    ControlHandle field = control(kLaplacianRingingThreshold);
    const int value = std::clamp(getEditableTextInt(field), kRingingThresholdMin, kRingingThresholdMax);
    const std::string text = std::to_string(value);
    if (!field.Text().empty() && field.Text() != text)
        field.SetText(text); // the field shows 255 after 300 is typed
    if (value != mRingingThreshold) {
        mRingingThreshold = value;
        // Nothing else changed: this only writes the rectangle back again.
        ReconstructImageFromLaplacianPyramid(false);
    }
}

void LaplacianPyramidInterface::RedrawDialog()
{
    Canvas* surface = canvas();
    if (!surface || !mThumbnail || !mHistograms)
        return;
    PortSaver port;
    SetPort(surface);
    FillCanvasRect(surface->Image(), surface->Image().rect(), QColor(Qt::white));
    mThumbnail->Draw(true);
    mHistograms->Draw(surface);
    for (const MaskIntensitySlider& slider : mSliders)
        slider.DrawMaskIntensitySlider();
    surface->Flush();
}

void LaplacianPyramidInterface::commit()
{
    mThumbnail->setSubThumbBounds(MakeRect(0, 0, StackHeight(), StackWidth()));
    ReconstructImageFromLaplacianPyramid(true);
    bool at1[kLaplacianPyramidComponents], at0[kLaplacianPyramidLayers];
    getPins(at1, at0);
    for (int k = 0; k < kLaplacianPyramidLayers; ++k)
        gLastLaplacianPyramidLayerIntensities[k] = EffectiveLaplacianGain(mIntensities[k], at1[k], at0[k]);
    gLastLaplacianPyramidLayerIntensities[kLaplacianPyramidResidual] =
        EffectiveLaplacianGain(mIntensities[kLaplacianPyramidResidual], at1[kLaplacianPyramidResidual], false);
}

void LaplacianPyramidInterface::ClearGlobalPointer()
{
    gLaplacianPyramidInterface = nullptr;
}

void InstallLaplacianPyramidDialog()
{
    GetCommandOperations().laplacianPyramidDialog = [] {
        gLaplacianPyramidInterface = new LaplacianPyramidInterface();
    };
}
