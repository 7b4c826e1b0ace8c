// tools/HistogramLevelsInterface.cpp: the histogram levels dialog.
#include "tools/HistogramLevelsInterface.h"

#include <algorithm>
#include <new>

#include <QColor>
#include <QLineEdit>

#include "shell/CommandOperations.h"
#include "shell/DialogPointers.h"
#include "shell/HistogramInterface.h"
#include "shell/ThumbnailInterface.h"
#include "engine/SummedStack.h"
#include "platform/core/DrawTarget.h"
#include "platform/core/FreeMemory.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/core/StandardAlerts.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/CanvasDrawing.h"
#include "platform/qt/Controls.h"

namespace {

// Carried from one dialog to the next; written on OK only.
bool sShowClipping = false;

// The percentage field's text at opening.
constexpr const char* kPercentageAtOpening = ".00";

ConstSumPlanes SavedPlanes(const SumStackDialogInterface& dialog)
{
    return ConstSumPlanes{dialog.savedRed().data(), dialog.savedGreen().data(), dialog.savedBlue().data(), StackWidth(),
                          StackHeight()};
}

SumPlanes LivePlanes()
{
    return SumPlanes{gRedStack.get(), gGreenStack.get(), gBlueStack.get(), StackWidth(), StackHeight()};
}

} // namespace

bool HistogramLevelsShowClippingAtOpening()
{
    return sShowClipping;
}

void SetHistogramLevelsShowClippingAtOpening(bool show)
{
    sShowClipping = show;
}

HistogramLevelsInterface::HistogramLevelsInterface()
    : SumStackDialogInterface("HistogramLevels"), mNumFrames(gNumFramesInStack)
{
    setIgnoreEvents(true);
    // Tables larger than the machine has refuse as out of memory rather than
    // let the system fail later. A stack of very many frames (a FITS stack's
    // sums raise the divisor) needs none: its curves are evaluated per pixel.
    const std::size_t pixels = static_cast<std::size_t>(StackWidth()) * static_cast<std::size_t>(StackHeight());
    if (StackLevelTableBytes(StackLevelCount(mNumFrames), pixels) > FreeMem())
        throw std::bad_alloc();
    mAutoPercentage = 0.0;
    mActiveSlider = kHistogramLevelsNoSlider;
    mShowClipping = sShowClipping;
    const int width = StackWidth(), height = StackHeight();
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    for (auto& map : mClipMaps)
        map.assign(count, 0);
    mThumbnail = std::make_unique<ThumbnailInterface>(canvas(), width, height, kHistogramLevelsThumbnailLeft,
                                                      kHistogramLevelsThumbnailTop, kHistogramLevelsThumbnailWidth,
                                                      kHistogramLevelsThumbnailHeight);
    mThumbnail->setImage(&unfilteredImage());
    mHistograms = std::make_unique<HistogramInterface>(kHistogramLevelsHistogramsLeft, kHistogramLevelsHistogramsTop,
                                                       kHistogramLevelsHistogramsSpacing);
    (void)mHistograms->GenerateHistograms(unfilteredImage(),
                                          mThumbnail->subThumbScaledUpBounds()); // the whole image: always fits
    for (int i = 0; i < 4; ++i)
        mSliders[i] = std::make_unique<LevelsSlider>(
            mHistograms->locH(), mHistograms->locV() + i * mHistograms->verticalSpacing(), i, mNumFrames);
    control(kHistogramLevelsShowClipping).SetValue(mShowClipping ? 1 : 0);
    ControlHandle field = control(kHistogramLevelsPercentage);
    field.SetText(kPercentageAtOpening);
    if (auto* edit = qobject_cast<QLineEdit*>(field.Widget()))
        QObject::connect(edit, &QLineEdit::textEdited, edit, [this] { ValidateEditableText(); });
    UpdateLevels(true, false, false, false);
    setIgnoreEvents(false);
}

HistogramLevelsInterface::~HistogramLevelsInterface() = default;

bool HistogramLevelsInterface::HavePlanes() const
{
    // The stack cannot change size or go while a filter dialog is open; the
    // test keeps a stray call harmless all the same.
    const std::size_t count = static_cast<std::size_t>(StackWidth()) * static_cast<std::size_t>(StackHeight());
    return HaveSummedStack() && savedRed().size() == count && mClipMaps[0].size() == count;
}

void HistogramLevelsInterface::LevelPlanes(LevelPlaneSelection which)
{
    LevelCutoffs levels[4];
    for (int i = 0; i < 4; ++i)
        mSliders[i]->GetCutoffs(levels[i].black, levels[i].white, levels[i].gammaInverse);
    const LevelClipMaps maps{mClipMaps[0].data(), mClipMaps[1].data(), mClipMaps[2].data()};
    LevelStackPlanes(SavedPlanes(*this), LivePlanes(), mNumFrames, levels, which, maps, &mTables);
}

void HistogramLevelsInterface::UpdateLevels(bool value, bool red, bool green, bool blue)
{
    if (HavePlanes()) {
        bool levelled = true;
        try {
            LevelPlanes(LevelPlaneSelection{value, red, green, blue});
        } catch (const std::bad_alloc&) {
            DoNotEnougMemoryForOperationDialog();
            levelled = false;
        }
        if (preview()) {
            if (mShowClipping && levelled) {
                const LevelClipMaps maps{mClipMaps[0].data(), mClipMaps[1].data(), mClipMaps[2].data()};
                MarkLevelClipping(LivePlanes(), maps, value || red, value || green, value || blue, mNumFrames);
            }
            ProjectStackIntoFrameStackGWorld(false);
        }
    }
    RedrawDialog();
}

void HistogramLevelsInterface::Neutral(int i)
{
    (void)NeutralChanged(i);
}

bool HistogramLevelsInterface::NeutralChanged(int i)
{
    const LevelCutoffs neutral = NeutralLevelCutoffs(mNumFrames);
    return mSliders[i]->SetCutoffs(neutral.black, neutral.white, 1.0);
}

void HistogramLevelsInterface::ProcessLiveSliderUpdate(int index)
{
    if (index == kLevelsValue) {
        for (int i = kLevelsRed; i <= kLevelsBlue; ++i)
            Neutral(i);
        UpdateLevels(true, false, false, false);
        return;
    }
    if (index < kLevelsRed || index > kLevelsBlue)
        return;
    // Value levels and colour levels exclude each other: leaving value
    // levels puts the unlevelled colours back before this one is levelled.
    if (NeutralChanged(kLevelsValue) && HavePlanes())
        CopySumPlanes(SavedPlanes(*this), LivePlanes());
    UpdateLevels(false, index == kLevelsRed, index == kLevelsGreen, index == kLevelsBlue);
}

void HistogramLevelsInterface::AutoValueLevels()
{
    double black = 0.0, white = 0.0;
    AutoLevelCutoffs(mHistograms->histogram(kLevelsValue), mAutoPercentage, mNumFrames, black, white);
    mSliders[kLevelsValue]->SetCutoffs(black, white, 1.0);
    for (int i = kLevelsRed; i <= kLevelsBlue; ++i)
        Neutral(i);
    UpdateLevels(true, false, false, false);
    mActiveSlider = kLevelsValue;
}

void HistogramLevelsInterface::AutoRGBLevels()
{
    for (int i = kLevelsRed; i <= kLevelsBlue; ++i) {
        double black = 0.0, white = 0.0;
        AutoLevelCutoffs(mHistograms->histogram(i), mAutoPercentage, mNumFrames, black, white);
        mSliders[i]->SetCutoffs(black, white, 1.0);
    }
    Neutral(kLevelsValue);
    UpdateLevels(false, true, true, true);
    mActiveSlider = kLevelsRed;
}

void HistogramLevelsInterface::ResetLevels()
{
    for (int i = 0; i < 4; ++i)
        Neutral(i);
    UpdateLevels(true, false, false, false);
}

void HistogramLevelsInterface::ValidateEditableText()
{
    if (runningCtorDtor() || closing())
        return;
    // The text stays as typed (rewriting it would move the caret under the
    // user's fingers); the auto buttons use the share clamped to the range.
    double percentage = getEditableTextFloat(control(kHistogramLevelsPercentage));
    if (!(percentage >= kAutoLevelsPercentageMin)) // NaN too
        percentage = kAutoLevelsPercentageMin;
    if (percentage > kAutoLevelsPercentageMax)
        percentage = kAutoLevelsPercentageMax;
    mAutoPercentage = percentage;
}

bool HistogramLevelsInterface::DefineHistogramBounds(QPoint press)
{
    return mThumbnail->DefineSubThumbBounds(press, this);
}

void HistogramLevelsInterface::processMouse(int, QPoint where, bool&)
{
    PortSaver port;
    SetPort(canvas());
    for (int i = 0; i < 4; ++i) {
        bool hit = false;
        (void)mSliders[i]->ProcessMouse(where, hit, this, i); // every change was levelled during the drag
        if (hit) {
            mActiveSlider = i;
            return;
        }
    }
    if (DefineHistogramBounds(where)) {
        (void)mHistograms->GenerateHistograms(unfilteredImage(),
                                              mThumbnail->subThumbScaledUpBounds()); // kept inside by the thumbnail
        RedrawDialog();
    }
}

void HistogramLevelsInterface::nudgeSlider(bool up, bool shift)
{
    if (mActiveSlider < 0 || mActiveSlider > 3)
        return;
    if (mSliders[mActiveSlider]->NudgeSlider(up, shift))
        ProcessLiveSliderUpdate(mActiveSlider);
}

void HistogramLevelsInterface::TogglePreview()
{
    SumStackDialogInterface::TogglePreview();
    const GWorldWrapper& image = unfilteredImage();
    const Rect whole = MakeRect(0, 0, image.Height(), image.Width());
    mThumbnail->setSubThumbBounds(whole);
    (void)mHistograms->GenerateHistograms(image, whole); // always fits
    // The marks are made only while the preview is on: show them now.
    if (preview() && mShowClipping)
        Relevel();
    else
        RedrawDialog();
}

bool HistogramLevelsInterface::HandleDialogItemHit(int id, bool& done)
{
    switch (id) {
    case kDialogHistogramScale:
        mHistograms->HandleDialogItemHit(control(kDialogHistogramScale));
        RedrawDialog();
        return true;
    case kHistogramLevelsShowClipping:
        mShowClipping = !mShowClipping;
        control(kHistogramLevelsShowClipping).SetValue(mShowClipping ? 1 : 0);
        // Levelled again whatever slider was touched last, so marks never
        // outlive the check box and the planes always follow every slider.
        if (preview())
            Relevel();
        return true;
    case kHistogramLevelsAutoValue:
        AutoValueLevels();
        return true;
    case kHistogramLevelsAutoRGB:
        AutoRGBLevels();
        return true;
    case kHistogramLevelsReset:
        ResetLevels();
        return true;
    default:
        return SumStackDialogInterface::HandleDialogItemHit(id, done);
    }
}

void HistogramLevelsInterface::RedrawDialog()
{
    Canvas* surface = canvas();
    if (!surface || !mThumbnail || !mHistograms)
        return;
    PortSaver port;
    SetPort(surface);
    FillCanvasRect(surface->Image(), surface->Image().rect(), QColor(Qt::white));
    mThumbnail->Draw(true);
    mHistograms->Draw(surface);
    for (const auto& slider : mSliders)
        if (slider)
            slider->DrawLevelsSlider();
    surface->Flush();
}

void HistogramLevelsInterface::commit()
{
    // Whatever the display showed, the stack keeps the levels without
    // clipping marks.
    if (HavePlanes())
        LevelPlanes(LevelPlaneSelection{true, false, false, false}); // std::bad_alloc: the base turns OK into Cancel
    sShowClipping = mShowClipping;
}

void HistogramLevelsInterface::ClearGlobalPointer()
{
    gHistogramLevelsInterface = nullptr;
}

void InstallHistogramLevelsDialog()
{
    GetCommandOperations().histogramLevelsDialog = [] { gHistogramLevelsInterface = new HistogramLevelsInterface(); };
}
