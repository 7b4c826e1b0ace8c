// tools/GaussianBlurInterface.cpp: the Gaussian blur dialog.
#include "tools/GaussianBlurInterface.h"

#include <new>

#include <QColor>

#include "shell/DialogPointers.h"
#include "shell/HistogramInterface.h"
#include "engine/SummedStack.h"
#include "imaging/SumPlaneFilters.h"
#include "platform/core/DrawTarget.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/CanvasDrawing.h"
#include "platform/qt/Controls.h"

double gLastGaussianBlurRadius = 0.1;

GaussianBlurInterface::GaussianBlurInterface()
    : SumStackDialogInterface("GaussianBlur"), mSource(StackWidth(), StackHeight()),
      mResult(StackWidth(), StackHeight()),
      mSlider(MakePoint(kGaussianBlurSliderTop, kGaussianBlurSliderLeft), gLastGaussianBlurRadius),
      mRadius(gLastGaussianBlurRadius)
{
    setIgnoreEvents(true);
    mHistograms = std::make_unique<HistogramInterface>(kGaussianBlurHistogramsLeft, kGaussianBlurHistogramsTop,
                                                       kGaussianBlurHistogramsSpacing);
    UpdateGaussianBlurDialog();
    setIgnoreEvents(false);
}

GaussianBlurInterface::~GaussianBlurInterface() = default;

void GaussianBlurInterface::UpdateGaussianBlurDialog()
{
    // The stack cannot change size or go while a filter dialog is open; the
    // test keeps a stray call harmless all the same.
    const bool planes = HaveSummedStack() && savedRed().size() == Saved().Count() && mSource.Width() == StackWidth() &&
                        mSource.Height() == StackHeight();
    if (planes) {
        // Out of memory passes on: the dialog ends as Cancel (or does not open).
        GaussianBlurSumPlanes(Saved(), mRadius, mSource, mResult, Live());
        if (preview())
            ProjectStackIntoFrameStackGWorld(false);
    }
    const GWorldWrapper& image = unfilteredImage();
    (void)mHistograms->GenerateHistograms(image, MakeRect(0, 0, image.Height(), image.Width())); // always fits
    RedrawDialog();
}

void GaussianBlurInterface::processMouse(int, QPoint where, bool&)
{
    PortSaver port;
    SetPort(canvas());
    bool hit = false;
    if (mSlider.ProcessMouse(where, hit)) {
        mRadius = mSlider.GetValue();
        UpdateGaussianBlurDialog();
    }
}

void GaussianBlurInterface::nudgeSlider(bool up, bool shift)
{
    PortSaver port;
    SetPort(canvas());
    if (mSlider.NudgeSlider(up, shift)) {
        mRadius = mSlider.GetValue();
        UpdateGaussianBlurDialog();
    }
}

bool GaussianBlurInterface::HandleDialogItemHit(int id, bool& done)
{
    if (id == kDialogHistogramScale) {
        mHistograms->HandleDialogItemHit(control(kDialogHistogramScale));
        RedrawDialog();
        return true;
    }
    return SumStackDialogInterface::HandleDialogItemHit(id, done);
}

void GaussianBlurInterface::RedrawDialog()
{
    Canvas* surface = canvas();
    if (!surface)
        return;
    PortSaver port;
    SetPort(surface);
    FillCanvasRect(surface->Image(), surface->Image().rect(), QColor(Qt::white));
    mHistograms->Draw(surface);
    mSlider.DrawGaussianBlurSlider();
    surface->Flush();
}

void GaussianBlurInterface::commit()
{
    gLastGaussianBlurRadius = mRadius;
}

void GaussianBlurInterface::ClearGlobalPointer()
{
    gGaussianBlurInterface = nullptr;
}
