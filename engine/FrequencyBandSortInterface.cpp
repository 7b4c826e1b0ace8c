// engine/FrequencyBandSortInterface.cpp: the sort-by-spectrum dialog.
#include "engine/FrequencyBandSortInterface.h"

#include <algorithm>
#include <mutex>

#include <QApplication>
#include <QColor>
#include <QEvent>
#include <QKeyEvent>
#include <QObject>
#include <QPalette>
#include <QWidget>

#include "engine/ClipViewWindow.h"
#include "shell/DialogPointers.h"
#include "shell/IntegerTriangleSlider.h"
#include "engine/ClipsWindow.h"
#include "engine/Frame.h"
#include "engine/FrameList.h"
#include "engine/PowerBandScores.h"
#include "engine/Selection.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/CanvasDrawing.h"
#include "platform/qt/Controls.h"

namespace {

// The sliders' places: the band's low and high bin under the spectrum panel,
// the number of included clips under the score panel.
constexpr Point kLowSliderOrigin = {235, 22};
constexpr Point kHighSliderOrigin = {255, 22};
constexpr Point kCountSliderOrigin = {235, 282};
constexpr int kBinSliderLength = 192;
constexpr int kCountSliderLength = 200;

const QColor kPanelFrame(0xC0, 0xC0, 0xC0);
const QColor kBandColour(0x80, 0xFF, 0xFF);
const QColor kIncludedColour(0x80, 0xFF, 0x80);
const QColor kExcludedColour(0xFF, 0x80, 0x80);
const QColor kWhite(255, 255, 255);
const QColor kBlack(0, 0, 0);

QRect ToQRect(const Rect& r)
{
    return QRect(r.left, r.top, r.Width(), r.Height());
}

void Fill(QImage& image, const Rect& r, const QColor& colour)
{
    if (!r.IsEmpty())
        FillCanvasRect(image, ToQRect(r), colour);
}

// The space bar's release, which the dialog's own event routing does not
// carry; auto-repeat releases are not the key coming up.
class SpaceReleaseFilter final : public QObject {
public:
    explicit SpaceReleaseFilter(SortBySpectrumInterface& dialog) : mDialog(dialog) {}

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() != QEvent::KeyRelease)
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        auto* widget = qobject_cast<QWidget*>(object);
        if (key->key() != Qt::Key_Space || key->isAutoRepeat() || !widget || !mDialog.window() ||
            widget->window() != mDialog.window() || mDialog.runningCtorDtor() || mDialog.closing())
            return false;
        mDialog.SpaceReleased();
        return true;
    }

private:
    SortBySpectrumInterface& mDialog;
};

} // namespace

SortBySpectrumInterface::SortBySpectrumInterface(int first, int bins)
    : DialogInterface("SortBySpectrum"), mFirst(first), mBins(std::max(bins, 1))
{
    setIgnoreEvents(true);
    (void)mFirst; // kept for the callers; it changes nothing

    // The mean over the clips that have a spectrum; a clip whose measurement
    // failed has none and is never read.
    std::vector<const double*> spectra;
    for (const auto& frame : gFrames)
        spectra.push_back(frame->GetPowerSpectrum());
    mMeanSpectrum = MeanSpectrum(spectra, mBins);
    mLargestMean = LargestMean(mMeanSpectrum);
    mLowBin = 0;
    mHighBin = mBins - 1;
    const int clips = FrameCount();
    mIncluded = std::max(clips, 1);

    ScoreAndSortFrames();

    Canvas* surface = canvas();
    mLowSlider = std::make_unique<IntegerTriangleSlider>(surface, kLowSliderOrigin, kBinSliderLength, 0, mBins - 1,
                                                         mLowBin, false, false, false);
    mHighSlider = std::make_unique<IntegerTriangleSlider>(surface, kHighSliderOrigin, kBinSliderLength, 0, mBins - 1,
                                                          mHighBin, false, false, false);
    mCountSlider = std::make_unique<IntegerTriangleSlider>(surface, kCountSliderOrigin, kCountSliderLength, 1,
                                                           mIncluded, mIncluded, true, true, false);

    mKeyUpFilter = std::make_unique<SpaceReleaseFilter>(*this);
    qApp->installEventFilter(mKeyUpFilter.get());
    // The dialog ends only with OK: its choices are already in the clips.
    control(kDialogCancel).SetShown(false);
    setIgnoreEvents(false);
    RedrawDialog();
}

SortBySpectrumInterface::~SortBySpectrumInterface()
{
    mKeyUpFilter.reset();
    if (gSortBySpectrumInterface == this)
        gSortBySpectrumInterface = nullptr;
}

const IntegerTriangleSlider& SortBySpectrumInterface::Slider(int which) const
{
    return which == 0 ? *mLowSlider : which == 1 ? *mHighSlider : *mCountSlider;
}

void SortBySpectrumInterface::SortByScore()
{
    std::lock_guard<std::mutex> lock(gFramesMutex);
    std::sort(gFrames.begin(), gFrames.end(), FrameSorterByDecreasingScore());
    for (std::size_t i = 0; i < gFrames.size(); ++i)
        gFrames[i]->SetIndex(static_cast<int>(i));
}

std::vector<double> SortBySpectrumInterface::SortedScores() const
{
    std::vector<double> scores;
    for (const auto& frame : gFrames)
        scores.push_back(frame->GetScore());
    return scores;
}

void SortBySpectrumInterface::ScoreAndSortFrames()
{
    for (const auto& frame : gFrames)
        frame->SetScore(BandScore(frame->GetPowerSpectrum(), mBins, mLowBin, mHighBin));
    SortByScore();
    DrawClipsWindow();
}

void SortBySpectrumInterface::MarkIncludedFrames()
{
    int k = 0;
    for (const auto& frame : gFrames)
        frame->SetSumStackIncluded(k++ < mIncluded);
    DrawClipsWindow();
}

void SortBySpectrumInterface::RedrawDialog()
{
    if (Canvas* surface = canvas())
        surface->Image().fill(surface->palette().color(QPalette::Window));
    UpdateSpectrumInterfaceDialog();
}

void SortBySpectrumInterface::UpdateSpectrumInterfaceDialog()
{
    const std::vector<double> scores = SortedScores();
    control(kBandSortSpreadText).SetText(ScoreSpreadText(ScoreSpread(scores)));
    Canvas* surface = canvas();
    if (!surface)
        return;
    QImage& image = surface->Image();
    const BandSortPanels p = LayOutBandSortPanels(mMeanSpectrum, mLargestMean, mLowBin, mHighBin, scores, mIncluded);

    Fill(image, p.spectrumPanel, kWhite);
    FrameCanvasRect(image, ToQRect(p.spectrumPanel), 1, kPanelFrame);
    Fill(image, p.band, kBandColour);
    for (const Rect& bar : p.bars)
        Fill(image, bar, kBlack);

    Fill(image, p.scorePanel, kWhite);
    FrameCanvasRect(image, ToQRect(p.scorePanel), 1, kPanelFrame);
    Fill(image, p.included, kIncludedColour);
    Fill(image, p.excluded, kExcludedColour);
    for (const Rect& dot : p.dots)
        Fill(image, dot, kBlack);

    mLowSlider->DrawSlider();
    mHighSlider->DrawSlider();
    mCountSlider->DrawSlider();
    surface->Flush();
}

void SortBySpectrumInterface::processMouse(int /*modifiers*/, QPoint where)
{
    const Point p = MakePoint(where.y(), where.x());
    bool hit = false;
    if (mLowSlider->ProcessMouse(p, hit)) {
        mLowBin = mLowSlider->GetValue();
        if (mLowBin > mHighBin) {
            mLowBin = mHighBin;
            mLowSlider->SetValue(mHighBin);
        }
        ScoreAndSortFrames();
        MarkIncludedFrames();
        UpdateSpectrumInterfaceDialog();
    }
    if (hit) {
        mActiveSlider = 0;
        return;
    }
    if (mHighSlider->ProcessMouse(p, hit)) {
        mHighBin = mHighSlider->GetValue();
        if (mHighBin < mLowBin) {
            mHighBin = mLowBin;
            mHighSlider->SetValue(mLowBin);
        }
        ScoreAndSortFrames();
        MarkIncludedFrames();
        UpdateSpectrumInterfaceDialog();
    }
    if (hit) {
        mActiveSlider = 1;
        return;
    }
    if (mCountSlider->ProcessMouse(p, hit)) {
        mIncluded = mCountSlider->GetValue();
        MarkIncludedFrames();
        UpdateSpectrumInterfaceDialog();
    }
    if (hit)
        mActiveSlider = 2;
}

void SortBySpectrumInterface::NudgeSlider(bool up)
{
    switch (mActiveSlider) {
    case 0:
        if (!mLowSlider->NudgeSlider(up))
            return;
        mLowBin = mLowSlider->GetValue();
        if (mLowBin > mHighBin) {
            mLowBin = mHighBin;
            mLowSlider->SetValue(mHighBin);
        }
        ScoreAndSortFrames();
        break;
    case 1:
        if (!mHighSlider->NudgeSlider(up))
            return;
        mHighBin = mHighSlider->GetValue();
        if (mHighBin < mLowBin) {
            mHighBin = mLowBin;
            mHighSlider->SetValue(mLowBin);
        }
        ScoreAndSortFrames();
        break;
    case 2:
        if (!mCountSlider->NudgeSlider(up))
            return;
        mIncluded = mCountSlider->GetValue();
        MarkIncludedFrames();
        break;
    default:
        return;
    }
    UpdateSpectrumInterfaceDialog();
}

void SortBySpectrumInterface::SpaceReleased()
{
    gLockFrameInspectorWindowToFrameOne = false;
    mLockedInspector = false;
    int index = kInspectorNothing;
    if (gTempSelectionIndex != -1)
        index = gTempSelectionIndex;
    else if (!gPersistantSelectionIndices.empty())
        index = gPersistantSelectionIndices.front();
    UpdateFrameInspectorWindow(index);
}

int SortBySpectrumInterface::HandleEvent(const DialogEvent& event, bool& done)
{
    switch (event.kind) {
    case DialogEvent::keyDown:
        switch (event.key) {
        case Qt::Key_Left:
        case Qt::Key_Down:
            NudgeSlider(false);
            return kEventHandled;
        case Qt::Key_Right:
        case Qt::Key_Up:
            NudgeSlider(true);
            return kEventHandled;
        case Qt::Key_Space:
            gLockFrameInspectorWindowToFrameOne = true;
            mLockedInspector = true;
            UpdateFrameInspectorWindow(0);
            return kEventHandled;
        default:
            break;
        }
        break;
    case DialogEvent::mouseDown:
        processMouse(event.modifiers, event.where);
        return kEventHandled;
    default:
        break;
    }
    return DialogInterface::HandleEvent(event, done);
}

bool SortBySpectrumInterface::HandleDialogItemHit(int id, bool& done)
{
    // The close box and Escape arrive as Cancel; the dialog has only OK.
    if (id == kDialogCancel)
        id = kDialogOK;
    return DialogInterface::HandleDialogItemHit(id, done);
}

void SortBySpectrumInterface::finish()
{
    // The arrow keys leave the inclusion to the next count change; the end
    // settles order and inclusion together.
    SortByScore();
    MarkIncludedFrames();
    if (mLockedInspector) {
        // A space bar still held when the dialog goes would otherwise hold
        // the inspector on clip 0 for good.
        gLockFrameInspectorWindowToFrameOne = false;
        mLockedInspector = false;
    }
    mMeanSpectrum.clear();
    for (const auto& frame : gFrames)
        frame->DestroyPowerSpectrum();
    DrawClipsWindow();
}

void SortBySpectrumInterface::ClearGlobalPointer()
{
    if (gSortBySpectrumInterface == this)
        gSortBySpectrumInterface = nullptr;
}
