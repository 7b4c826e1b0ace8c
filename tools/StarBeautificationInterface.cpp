// tools/StarBeautificationInterface.cpp: the star dialog's settings, sliders,
// seeding, pipeline and overlay.
#include "tools/StarBeautificationInterface.h"

#include <algorithm>
#include <cmath>
#include <climits>
#include <new>

#include <QColor>
#include <QRect>

#include "shell/DialogPointers.h"
#include "shell/MainWindowSet.h"
#include "shell/ThumbnailInterface.h"
#include "engine/SummedStack.h"
#include "platform/core/DrawTarget.h"
#include "platform/core/StandardAlerts.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/CanvasDrawing.h"
#include "platform/qt/CanvasOvals.h"
#include "platform/qt/Controls.h"
#include "platform/qt/Modifiers.h"
#include "tools/StackOverlay.h"

int gLastStarSpreadBrightnessThreshold = -1;
int gLastStarMinSurfaceAreaThreshold = 1;
int gLastStarMaxSurfaceAreaThreshold = 256;
int gLastDeringRadius = 15;
int gLastDeringBrightnessThreshold = 0;
int gLastTruncateRadius = 32;
double gLastBlurRadius = 0.1;

namespace {

// Where the dialog's pieces lie (window coordinates, h then v).
constexpr int kSliderLeft = 145;
constexpr int kSliderLength = 256;
constexpr int kBrightnessTop = 170, kSpreadTop = 190, kMinAreaTop = 210, kMaxAreaTop = 230;
constexpr int kDeringBrightnessTop = 290, kDeringRadiusTop = 310, kTruncateRadiusTop = 370, kBlurTop = 390;
constexpr int kThumbnailLeft = 20, kThumbnailTop = 10, kThumbnailWidth = 160, kThumbnailHeight = 120;

// Full scale of a plane, trunc(255 × N), in the int range.
int FullScale()
{
    const double full = std::trunc(255.0 * gNumFramesInStack);
    if (!(full > 0.0))
        return 0;
    return full >= double(INT_MAX) ? INT_MAX : static_cast<int>(full);
}

// A remembered level: -1 stands for full scale, which is written back.
int RememberedLevel(int& global)
{
    if (global == -1)
        global = FullScale();
    return global;
}

// A remembered value inside its slider's range: it may come from a stack
// of more frames.
int InRange(int value, int min, int max)
{
    return std::clamp(value, min, std::max(min, max));
}

Point At(int v, int h)
{
    return MakePoint(v, h);
}

} // namespace

StarBeautificationInterface::StarBeautificationInterface()
    : SumStackDialogInterface("StarBeautification"),
      mBrightness(InRange(RememberedLevel(gLastStarBrightnessThreshold), 0, FullScale())),
      mSpread(std::min(InRange(RememberedLevel(gLastStarSpreadBrightnessThreshold), 0, FullScale()), mBrightness)),
      mMinArea(InRange(gLastStarMinSurfaceAreaThreshold, kStarMinArea, kStarMaxArea)),
      mMaxArea(std::max(InRange(gLastStarMaxSurfaceAreaThreshold, kStarMinArea, kStarMaxArea), mMinArea)),
      mDeringRadius(InRange(gLastDeringRadius, kDeringMinRadius, kDeringMaxRadius)),
      mDeringThreshold(InRange(gLastDeringBrightnessThreshold, 0, FullScale())),
      mTruncateRadius(InRange(gLastTruncateRadius, kTruncateMinRadius, kTruncateMaxRadius)),
      mBlurRadius(std::isnan(gLastBlurRadius) ? kGaussianBlurSliderScale.minimum
                                              : std::clamp(gLastBlurRadius, kGaussianBlurSliderScale.minimum,
                                                           kGaussianBlurSliderScale.maximum)),
      mBrightnessSlider(At(kBrightnessTop, kSliderLeft), kSliderLength, 0, FullScale(), mBrightness),
      mSpreadSlider(At(kSpreadTop, kSliderLeft), kSliderLength, 0, FullScale(), mSpread),
      mMinAreaSlider(At(kMinAreaTop, kSliderLeft), kSliderLength, kStarMinArea, kStarMaxArea, mMinArea),
      mMaxAreaSlider(At(kMaxAreaTop, kSliderLeft), kSliderLength, kStarMinArea, kStarMaxArea, mMaxArea),
      mDeringBrightnessSlider(At(kDeringBrightnessTop, kSliderLeft), kSliderLength, 0, FullScale(), mDeringThreshold),
      mDeringRadiusSlider(At(kDeringRadiusTop, kSliderLeft), kSliderLength, kDeringMinRadius, kDeringMaxRadius,
                          mDeringRadius),
      mTruncateRadiusSlider(At(kTruncateRadiusTop, kSliderLeft), kSliderLength, kTruncateMinRadius, kTruncateMaxRadius,
                            mTruncateRadius),
      mBlurSlider(At(kBlurTop, kSliderLeft), mBlurRadius)
{
    setIgnoreEvents(true);
    mSeedMap.assign(static_cast<std::size_t>(StackWidth()) * static_cast<std::size_t>(StackHeight()), 1);
    mThumbnail = std::make_unique<ThumbnailInterface>(canvas(), StackWidth(), StackHeight(), kThumbnailLeft,
                                                      kThumbnailTop, kThumbnailWidth, kThumbnailHeight);
    mThumbnail->setImage(&unfilteredImage());
    control(kStarShowPixels).SetValue(mShowPixels ? 1 : 0);
    control(kStarShowCircles).SetValue(mShowCircles ? 1 : 0);
    FindStars();
    RedrawDialog();
    setIgnoreEvents(false);
}

StarBeautificationInterface::~StarBeautificationInterface() = default;

StarFindParams StarBeautificationInterface::findParams() const
{
    return StarFindParams{mBrightness, mSpread, mMinArea, mMaxArea};
}

StarReworkParams StarBeautificationInterface::reworkParams() const
{
    return StarReworkParams{mDeringRadius, mDeringThreshold, mTruncateRadius, mBlurRadius, mSpread};
}

template <class Stage> void StarBeautificationInterface::Run(Stage stage)
{
    if (!HaveSummedStack() || savedRed().size() != Saved().Count())
        return; // nothing to work on (the stack cannot go while the dialog is open)
    try {
        stage();
    } catch (const std::bad_alloc&) {
        mStars.clear();
        CopySumPlanes(Saved(), Live());
        DoNotEnougMemoryForOperationDialog();
    }
    ShowLive();
}

void StarBeautificationInterface::FindStars()
{
    Run([this] {
        mStars.clear();
        mStars = ::FindStars(Saved(), mSeedMap.data(), findParams());
        ReworkStars(Saved(), Live(), mStars, reworkParams());
    });
}

void StarBeautificationInterface::DeringStars()
{
    Run([this] { ReworkStars(Saved(), Live(), mStars, reworkParams()); });
}

void StarBeautificationInterface::TruncateStars()
{
    Run([this] {
        ::TruncateStars(Live(), mStars, reworkParams());
        ::BlurStars(Live(), mStars, reworkParams());
    });
}

void StarBeautificationInterface::BlurStars()
{
    Run([this] { ::BlurStars(Live(), mStars, reworkParams()); });
}

void StarBeautificationInterface::ShowLive()
{
    if (!preview())
        return;
    ProjectStackIntoFrameStackGWorld(false);
    DrawFrameStackOverlay();
}

void StarBeautificationInterface::AddAll()
{
    std::fill(mSeedMap.begin(), mSeedMap.end(), 1);
    FindStars();
}

void StarBeautificationInterface::SubtractAll()
{
    std::fill(mSeedMap.begin(), mSeedMap.end(), 0);
    FindStars();
}

bool StarBeautificationInterface::DefineSearchBounds(QPoint press, bool exclude)
{
    if (!mThumbnail->DefineSubThumbBounds(press, this))
        return false;
    const Rect r = mThumbnail->subThumbScaledUpBounds();
    const int width = StackWidth(), height = StackHeight();
    const int top = std::max<int>(0, r.top), left = std::max<int>(0, r.left);
    const int bottom = std::min<int>(height, r.bottom), right = std::min<int>(width, r.right);
    if (top < bottom && left < right)
        for (int y = top; y < bottom; ++y)
            std::fill_n(mSeedMap.begin() + static_cast<std::ptrdiff_t>(y) * width + left, right - left,
                        exclude ? 0 : 1);
    return true;
}

LinearSlider& StarBeautificationInterface::Slider(StarSliderId id)
{
    return const_cast<LinearSlider&>(linearSlider(id));
}

const LinearSlider& StarBeautificationInterface::linearSlider(StarSliderId id) const
{
    switch (id) {
    case kStarSpreadSlider:
        return mSpreadSlider;
    case kStarMinAreaSlider:
        return mMinAreaSlider;
    case kStarMaxAreaSlider:
        return mMaxAreaSlider;
    case kStarDeringBrightnessSlider:
        return mDeringBrightnessSlider;
    case kStarDeringRadiusSlider:
        return mDeringRadiusSlider;
    case kStarTruncateRadiusSlider:
        return mTruncateRadiusSlider;
    default:
        return mBrightnessSlider;
    }
}

void StarBeautificationInterface::SliderChanged(StarSliderId id)
{
    // A value the rules refuse puts its slider back and redraws it.
    const auto moveBack = [](LinearSlider& slider, int value) {
        slider.SetValue(value);
        slider.DrawSlider();
    };
    switch (id) {
    case kStarBrightnessSlider:
        mBrightness = mBrightnessSlider.GetValue();
        if (mBrightness < mSpread) {
            mSpread = mBrightness;
            moveBack(mSpreadSlider, mSpread);
        }
        FindStars();
        break;
    case kStarSpreadSlider:
        mSpread = mSpreadSlider.GetValue();
        if (mSpread > mBrightness) {
            mSpread = mBrightness;
            moveBack(mSpreadSlider, mSpread);
        }
        FindStars();
        break;
    case kStarMinAreaSlider:
        mMinArea = mMinAreaSlider.GetValue();
        if (mMinArea > mMaxArea) {
            mMinArea = mMaxArea;
            moveBack(mMinAreaSlider, mMinArea);
        }
        FindStars();
        break;
    case kStarMaxAreaSlider:
        mMaxArea = mMaxAreaSlider.GetValue();
        if (mMaxArea < mMinArea) {
            mMaxArea = mMinArea;
            moveBack(mMaxAreaSlider, mMaxArea);
        }
        FindStars();
        break;
    case kStarDeringBrightnessSlider:
        mDeringThreshold = mDeringBrightnessSlider.GetValue();
        DeringStars();
        break;
    case kStarDeringRadiusSlider:
        mDeringRadius = mDeringRadiusSlider.GetValue();
        DeringStars();
        break;
    case kStarTruncateRadiusSlider:
        mTruncateRadius = mTruncateRadiusSlider.GetValue();
        DeringStars();
        break;
    case kStarBlurSlider:
        mBlurRadius = mBlurSlider.GetValue();
        DeringStars();
        break;
    case kStarNoSlider:
        break;
    }
}

void StarBeautificationInterface::processMouse(int modifiers, QPoint where, bool&)
{
    PortSaver port;
    SetPort(canvas());
    static constexpr StarSliderId kOrder[] = {
        kStarBrightnessSlider,       kStarSpreadSlider,       kStarMinAreaSlider,       kStarMaxAreaSlider,
        kStarDeringBrightnessSlider, kStarDeringRadiusSlider, kStarTruncateRadiusSlider};
    for (StarSliderId id : kOrder) {
        bool hit = false;
        const bool changed = Slider(id).ProcessMouse(where, hit, nullptr, 0);
        if (!hit)
            continue;
        mActiveSlider = id;
        if (changed)
            SliderChanged(id);
        return;
    }
    bool hit = false;
    const bool changed = mBlurSlider.ProcessMouse(where, hit);
    if (hit) {
        mActiveSlider = kStarBlurSlider;
        if (changed)
            SliderChanged(kStarBlurSlider);
        return;
    }
    if (DefineSearchBounds(where, (modifiers & kOptionKeyBit) != 0)) {
        FindStars();
        RedrawDialog();
    }
}

void StarBeautificationInterface::nudgeSlider(bool up, bool shift)
{
    if (mActiveSlider == kStarNoSlider)
        return;
    PortSaver port;
    SetPort(canvas());
    const auto id = static_cast<StarSliderId>(mActiveSlider);
    const bool changed = id == kStarBlurSlider ? mBlurSlider.NudgeSlider(up, shift) : Slider(id).NudgeSlider(up, shift);
    if (changed)
        SliderChanged(id);
}

bool StarBeautificationInterface::HandleDialogItemHit(int id, bool& done)
{
    switch (id) {
    case kStarShowPixels:
    case kStarShowCircles: {
        bool& flag = id == kStarShowPixels ? mShowPixels : mShowCircles;
        flag = control(id).Value() != 0;
        if (!flag) {
            // Drawing the stack again leaves only the marks still wanted;
            // without preview the window shows no marks at all.
            if (preview())
                ProjectStackIntoFrameStackGWorld(false);
        } else {
            DrawFrameStackOverlay();
        }
        return true;
    }
    case kStarAddAll:
        AddAll();
        return true;
    case kStarSubtractAll:
        SubtractAll();
        return true;
    default:
        return SumStackDialogInterface::HandleDialogItemHit(id, done);
    }
}

void StarBeautificationInterface::RedrawDialog()
{
    Canvas* surface = canvas();
    if (!surface)
        return;
    PortSaver port;
    SetPort(surface);
    FillCanvasRect(surface->Image(), surface->Image().rect(), QColor(Qt::white));
    mThumbnail->Draw(false);
    for (const LinearSlider* slider : {&mBrightnessSlider, &mSpreadSlider, &mMinAreaSlider, &mMaxAreaSlider,
                                       &mDeringBrightnessSlider, &mDeringRadiusSlider, &mTruncateRadiusSlider})
        slider->DrawSlider();
    mBlurSlider.DrawGaussianBlurSlider();
    surface->Flush();
}

void StarBeautificationInterface::DrawFrameStackOverlay()
{
    if (!preview())
        return;
    if (Canvas* stack = ContentCanvas(gFrameStackWindow)) {
        DrawFrameStackOverlay(*stack);
        stack->Flush();
    }
}

void StarBeautificationInterface::DrawFrameStackOverlay(Canvas& stackCanvas) const
{
    const int width = StackWidth();
    if (width <= 0 || !preview())
        return;
    const double scale = static_cast<double>(stackCanvas.PortBounds().Width()) / width;
    // A dot is at least one pixel, so the marks stay visible in a window
    // smaller than the stack.
    const int dot = std::max(1, static_cast<int>(std::trunc(scale)));
    const auto scaled = [scale](int v) { return static_cast<int>(std::trunc(v * scale)); };
    QImage& image = stackCanvas.Image();
    for (const Star& star : mStars) {
        if (mShowPixels)
            for (int y = star.bounds.top; y <= star.bounds.bottom; ++y)
                for (int x = star.bounds.left; x <= star.bounds.right; ++x)
                    if (star.IsStarPixel(x, y))
                        FillCanvasRect(image, QRect(scaled(x), scaled(y), dot, dot), QColor(Qt::blue));
        if (mShowCircles) {
            const int r = mDeringRadius;
            const int left = scaled(star.centre.h - r), top = scaled(star.centre.v - r);
            const int right = scaled(star.centre.h + r), bottom = scaled(star.centre.v + r);
            FrameCanvasOval(image, QRect(left, top, right - left, bottom - top), QColor(Qt::red));
        }
    }
}

void StarBeautificationInterface::commit()
{
    gLastStarBrightnessThreshold = -1;
    gLastStarSpreadBrightnessThreshold = -1;
    gLastStarMinSurfaceAreaThreshold = mMinArea;
    gLastStarMaxSurfaceAreaThreshold = mMaxArea;
    gLastDeringRadius = mDeringRadius;
    gLastDeringBrightnessThreshold = mDeringThreshold;
    gLastTruncateRadius = mTruncateRadius;
    gLastBlurRadius = mBlurRadius;
}

void StarBeautificationInterface::ClearGlobalPointer()
{
    gStarBeautificationInterface = nullptr;
}

void DrawToolOverlayOnStack(Canvas& stackCanvas)
{
    if (gStarBeautificationInterface && !gStarBeautificationInterface->closing())
        gStarBeautificationInterface->DrawFrameStackOverlay(stackCanvas);
}
