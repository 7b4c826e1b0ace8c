// tools/LaplacianPyramidInterface.cpp: the Laplacian pyramid dialog.
#include "tools/LaplacianPyramidInterface.h"

#include <algorithm>
#include <new>

#include "shell/CommandOperations.h"
#include "shell/DialogPointers.h"
#include "shell/ShellSettings.h"
#include "engine/SummedStack.h"
#include "platform/core/DrawTarget.h"
#include "platform/qt/Canvas.h"
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

LaplacianPyramidInterface::LaplacianPyramidInterface()
    : PreviewRectDialog(
          "LaplacianPyramid",
          {kLaplacianThumbnailLeft, kLaplacianThumbnailTop, kLaplacianThumbnailWidth, kLaplacianThumbnailHeight},
          kLaplacianFirstPreviewSide,
          HistogramsPlace{kLaplacianHistogramsLeft, kLaplacianHistogramsTop, kLaplacianHistogramsSpacing},
          kLaplacianRingingThreshold)
{
    std::copy(std::begin(gLastLaplacianPyramidLayerIntensities), std::end(gLastLaplacianPyramidLayerIntensities),
              mIntensities);

    mSliders[kLaplacianResidualSlider].SetParameters(MakePoint(kLaplacianResidualSliderTop, kLaplacianSliderLeft),
                                                     mIntensities[kLaplacianPyramidResidual]);
    for (int k = 0; k < kLaplacianPyramidLayers; ++k)
        mSliders[k].SetParameters(
            MakePoint(kLaplacianFirstLayerSliderTop + kLaplacianSliderSpacing * k, kLaplacianSliderLeft),
            mIntensities[k]);

    // Every pin starts off, whatever the form says.
    for (int id = kLaplacianPinAt1First; id <= kLaplacianPinAt0Last; ++id)
        control(id).SetValue(0);

    CreateInitialLaplacianPyramid();
    setIgnoreEvents(false);
}

LaplacianPyramidInterface::~LaplacianPyramidInterface() = default;

bool LaplacianPyramidInterface::HavePlanes() const
{
    return HaveSummedStack() && savedRed().size() == Saved().Count() && !mPyramid.IsEmpty() &&
           mPyramid.Width() == StackWidth() && mPyramid.Height() == StackHeight();
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

void LaplacianPyramidInterface::processMouse(int, QPoint where, bool&)
{
    PortSaver port;
    SetPort(canvas());
    for (int k = 0; k < kLaplacianPyramidComponents; ++k) {
        bool hit = false;
        const bool changed = mSliders[k].ProcessMouse(where, hit, this, k);
        // Also when the release lands back on the starting value after live
        // steps: the preview must show what the slider shows.
        if (changed || (hit && mSliders[k].GetValue() != mIntensities[k]))
            ApplySliderValue(k);
        if (hit) {
            mActiveSlider = k;
            return;
        }
    }
    if (DefinePreviewBounds(where))
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

bool LaplacianPyramidInterface::HandleDialogItemHit(int id, bool& done)
{
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
    return PreviewRectDialog::HandleDialogItemHit(id, done);
}

void LaplacianPyramidInterface::RedrawDialog()
{
    PortSaver port;
    Canvas* surface = BeginRedraw(port);
    if (!surface)
        return;
    for (const MaskIntensitySlider& slider : mSliders)
        slider.DrawMaskIntensitySlider();
    surface->Flush();
}

void LaplacianPyramidInterface::commit()
{
    PreviewWholeStack();
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
