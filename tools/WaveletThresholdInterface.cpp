// tools/WaveletThresholdInterface.cpp: the wavelet noise reduction dialog.
#include "tools/WaveletThresholdInterface.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <new>
#include <string>

#include "shell/CommandOperations.h"
#include "shell/DialogPointers.h"
#include "shell/ShellSettings.h"
#include "shell/ThumbnailInterface.h"
#include "engine/SummedStack.h"
#include "imaging/SumPlaneFilters.h"
#include "platform/core/DrawTarget.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/core/StandardAlerts.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/Controls.h"
#include "tools/OneThreadWorkScope.h"

namespace {

double sLastThresholds[kWaveletMaxThresholds] = {};
bool sLastLockSliders = false;
double sLiveLimitSeconds = kWaveletLiveAnalysisSeconds;

// The pyramid's progress steps: only a progress window of the scope's own
// is stepped.
PyramidProgress ProgressOf(OneThreadWorkScope& scope)
{
    if (!scope.OwnsProgress())
        return {};
    return [&scope](int step) { scope.Step(step); };
}

int RoundedLog2(int n)
{
    return static_cast<int>(std::lround(std::log2(std::max(1, n))));
}

} // namespace

const double* WaveletRememberedThresholds()
{
    return sLastThresholds;
}

bool WaveletRememberedLockSliders()
{
    return sLastLockSliders;
}

void SetWaveletRememberedSettingsForTesting(const double thresholds[kWaveletMaxThresholds], bool lock)
{
    std::copy(thresholds, thresholds + kWaveletMaxThresholds, sLastThresholds);
    sLastLockSliders = lock;
}

void SetWaveletLiveLimitForTesting(double seconds)
{
    sLiveLimitSeconds = seconds < 0.0 ? kWaveletLiveAnalysisSeconds : seconds;
}

WaveletThresholdInterface::WaveletThresholdInterface()
    : PreviewRectDialog("WaveletThreshold",
                        {kWaveletThumbnailLeft, kWaveletThumbnailTop, kWaveletThumbnailWidth, kWaveletThumbnailHeight},
                        0, std::nullopt, -1)
{
    mLockSliders = sLastLockSliders;
    const int width = StackWidth(), height = StackHeight();
    // As many sliders as the whole stack has levels, and one for the
    // high-pass residual.
    CreatePreviewBoundsWithBorder();
    mNumSliders = std::min(kWaveletMaxThresholds, mArea.numLevels + 1);
    for (int i = 0; i < mNumSliders; ++i)
        mSliders[i].SetParameters(MakePoint(kWaveletFirstSliderTop + kWaveletSliderSpacing * i, kWaveletSliderLeft),
                                  sLastThresholds[i]);
    mThumbnail->setSubThumbBounds(
        MakeRect(0, 0, std::min(kWaveletFirstPreviewSide, height), std::min(kWaveletFirstPreviewSide, width)));
    CreatePreviewBoundsWithBorder();
    control(kWaveletLockSliders).SetValue(mLockSliders ? 1 : 0);
    AllocateScratchAndCopyPreviewArea();
    PerformWaveletAnalysis();
    PerformWaveletSynthesis(!mLive);
    setIgnoreEvents(false);
}

WaveletThresholdInterface::~WaveletThresholdInterface() = default;

bool WaveletThresholdInterface::HavePlanes() const
{
    return HaveSummedStack() && savedRed().size() == Saved().Count() && savedGreen().size() == Saved().Count() &&
           savedBlue().size() == Saved().Count();
}

std::optional<Rect> WaveletThresholdInterface::previewArea() const
{
    return mPlanes.Empty() ? Rect{} : mPlanes.Area().preview; // none until an area is analysed
}

std::vector<double> WaveletThresholdInterface::Thresholds() const
{
    double percents[kWaveletMaxThresholds];
    for (int i = 0; i < mNumSliders; ++i)
        percents[i] = mSliders[i].GetValue();
    return WaveletThresholdList(percents, mNumSliders, mPlanes.NumLevels());
}

void WaveletThresholdInterface::CreateMinimumPreviewBounds()
{
    mThumbnail->setSubThumbBounds(MinimumWaveletPreviewBounds(previewRect(), StackWidth(), StackHeight()));
}

void WaveletThresholdInterface::CreatePreviewBoundsWithBorder()
{
    CreateMinimumPreviewBounds();
    mArea = ComputeWaveletPreviewArea(previewRect());
    for (int i = 0; i < kWaveletMaxThresholds; ++i)
        mSliders[i].SetDim(i > mArea.numLevels);
}

void WaveletThresholdInterface::AllocateScratchAndCopyPreviewArea()
{
    DeleteArrays();
    CreatePreviewBoundsWithBorder();
    if (HavePlanes())
        mPlanes.Prepare(Saved(), previewRect());
}

void WaveletThresholdInterface::PerformWaveletAnalysis()
{
    OneThreadWorkScope scope(3 * mPlanes.NumLevels(), true);
    const auto start = std::chrono::steady_clock::now();
    mPlanes.Analyse(ProgressOf(scope));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    mLive = seconds < sLiveLimitSeconds;
}

void WaveletThresholdInterface::PerformWaveletSynthesis(bool showProgress)
{
    if (HavePlanes() && !mPlanes.Empty()) {
        // Out of memory passes on: the dialog ends as Cancel (or does not open).
        {
            OneThreadWorkScope scope(3 * mPlanes.NumLevels(), showProgress);
            mPlanes.Synthesise(Thresholds(), Saved(), Live(), ProgressOf(scope));
        }
        if (preview())
            ProjectStackIntoFrameStackGWorld(false, mPlanes.Area().preview);
    }
    RedrawDialog();
}

void WaveletThresholdInterface::DeleteArrays()
{
    mPlanes.Release();
}

bool WaveletThresholdInterface::PrepareAndAnalyse()
{
    try {
        AllocateScratchAndCopyPreviewArea();
        PerformWaveletAnalysis();
        return true;
    } catch (const std::bad_alloc&) {
        DeleteArrays();
        DoNotEnougMemoryForOperationDialog();
        return false;
    }
}

bool WaveletThresholdInterface::DefineTestAreaBounds(QPoint press)
{
    const Rect old = mPlanes.Empty() ? previewRect() : mPlanes.Area().preview;
    if (!mThumbnail->DefineSubThumbBounds(press, this))
        return false;
    RestoreRect(old);
    CreateMinimumPreviewBounds();
    RedrawDialog();
    return true;
}

void WaveletThresholdInterface::ProcessLiveThumbnailRectUpdate()
{
    CreatePreviewBoundsWithBorder();
    Canvas* surface = canvas();
    if (surface) {
        PortSaver port;
        SetPort(surface);
        for (int i = 0; i < mNumSliders; ++i)
            mSliders[i].DrawWaveletThresholdSlider();
    }
    WriteAreaTexts();
}

void WaveletThresholdInterface::AlignSlidersTo(int index)
{
    if (!mLockSliders)
        return;
    const double value = mSliders[index].GetValue();
    for (int i = 0; i < mNumSliders; ++i)
        if (i != index) {
            mSliders[i].SetValue(value);
            mSliders[i].DrawWaveletThresholdSlider();
        }
}

void WaveletThresholdInterface::ProcessLiveSliderUpdate(int index)
{
    if (index < 0 || index >= mNumSliders)
        return;
    AlignSlidersTo(index);
    if (mLive)
        PerformWaveletSynthesis(false);
}

void WaveletThresholdInterface::processMouse(int, QPoint where, bool&)
{
    PortSaver port;
    SetPort(canvas());
    for (int i = 0; i < mNumSliders; ++i) {
        bool hit = false;
        const bool changed = mSliders[i].ProcessMouse(where, hit, this, i);
        if (!hit)
            continue;
        if (changed) {
            AlignSlidersTo(i);
            PerformWaveletSynthesis(!mLive);
        }
        mActiveSlider = i;
        return;
    }
    if (!DefineTestAreaBounds(where))
        return;
    if (!PrepareAndAnalyse()) {
        // No analysis runs on arrays that could not be made; the dialog ends
        // as Cancel does, with the saved planes back (OK would try the whole
        // stack, a larger allocation still).
        End(true);
        return;
    }
    PerformWaveletSynthesis(!mLive);
}

void WaveletThresholdInterface::nudgeSlider(bool up, bool shift)
{
    if (mActiveSlider < 0 || mActiveSlider >= mNumSliders)
        return; // no thumb grabbed yet
    PortSaver port;
    SetPort(canvas());
    if (!mSliders[mActiveSlider].NudgeSlider(up, shift))
        return;
    AlignSlidersTo(mActiveSlider);
    PerformWaveletSynthesis(!mLive);
}

bool WaveletThresholdInterface::HandleDialogItemHit(int id, bool& done)
{
    if (id == kWaveletReset) {
        PortSaver port;
        SetPort(canvas());
        for (int i = 0; i < mNumSliders; ++i)
            mSliders[i].SetValue(kWaveletThresholdDefault);
        PerformWaveletSynthesis(false);
        return true;
    }
    if (id == kWaveletLockSliders) {
        // The sliders keep their values until one of them moves.
        mLockSliders = control(kWaveletLockSliders).Value() != 0;
        return true;
    }
    return PreviewRectDialog::HandleDialogItemHit(id, done);
}

void WaveletThresholdInterface::WriteAreaTexts()
{
    const int lw = RoundedLog2(mArea.paddedWidth), lh = RoundedLog2(mArea.paddedHeight);
    control(kWaveletSizeText).SetText(std::to_string(lw) + "x" + std::to_string(lh));
    control(kWaveletCostText).SetText(std::to_string(mArea.numLevels * lw * lh));
}

void WaveletThresholdInterface::RedrawDialog()
{
    PortSaver port;
    Canvas* surface = BeginRedraw(port);
    if (!surface)
        return;
    for (int i = 0; i < mNumSliders; ++i)
        mSliders[i].DrawWaveletThresholdSlider();
    WriteAreaTexts();
    control(kWaveletLiveText).SetText(mLive ? "On" : "Off");
    surface->Flush();
}

void WaveletThresholdInterface::commit()
{
    // Remembered first: they hold even when the whole stack cannot be done.
    for (int i = 0; i < mNumSliders; ++i)
        sLastThresholds[i] = mSliders[i].GetValue();
    sLastLockSliders = mLockSliders;
    if (!HavePlanes())
        return;
    CopySumPlanes(Saved(), Live());
    PreviewWholeStack();
    CreatePreviewBoundsWithBorder();
    double percents[kWaveletMaxThresholds];
    for (int i = 0; i < mNumSliders; ++i)
        percents[i] = mSliders[i].GetValue();
    if (WaveletThresholdsNeutral(WaveletThresholdList(percents, mNumSliders, mArea.numLevels)))
        return; // the stack stays exactly as it was
    // One rebuild of the whole stack: no copy of the analysis is kept. Out
    // of memory passes on: the base shows the alert and ends as Cancel, with
    // the saved planes (the live ones are still those).
    mPlanes.Release();
    mPlanes.Prepare(Saved(), previewRect(), false);
    {
        OneThreadWorkScope scope(3 * mPlanes.NumLevels(), true);
        mPlanes.Analyse(ProgressOf(scope));
    }
    OneThreadWorkScope scope(3 * mPlanes.NumLevels(), true);
    mPlanes.Synthesise(Thresholds(), Saved(), Live(), ProgressOf(scope));
}

void WaveletThresholdInterface::ClearGlobalPointer()
{
    gWaveletThresholdInterface = nullptr;
}

void InstallWaveletThresholdDialog()
{
    GetCommandOperations().waveletThresholdDialog = [] {
        gWaveletThresholdInterface = new WaveletThresholdInterface();
    };
}
