// tools/FTEditorInterface.cpp: the Fourier-domain editor's opening, picture,
// brush, sliders and synthesis.
#include "tools/FTEditorInterface.h"

#include <algorithm>
#include <cmath>
#include <new>

#include <QApplication>
#include <QColor>
#include <QRect>

#include "shell/DialogPointers.h"
#include "shell/PointerInput.h"
#include "engine/SummedStack.h"
#include "imaging/FFT2D.h"
#include "imaging/PixelTransfer.h"
#include "platform/core/DrawTarget.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/CanvasDrawing.h"
#include "platform/qt/CanvasOvals.h"
#include "platform/qt/Controls.h"

namespace {

// Where the dialog's pieces lie (window coordinates).
constexpr int kDisplayLeft = 10, kDisplayTop = 10;
constexpr int kSliderLeft = 535, kSliderLength = 100;
constexpr int kExposureTop = 130, kBrushTop = 180;
constexpr int kBrushPreviewH = 590, kBrushPreviewV = 260;
constexpr int kBrushPreviewLargest = 64; // the brush slider's maximum
constexpr int kExposureMax = 20;         // divisor 2^(20 - exposure)
constexpr int kBrushMin = 4, kBrushMax = 64;
constexpr int kInitialMethod = 1;
constexpr double kInitialDivisor = 65536.0;
constexpr int kInitialBrush = 32;
// Past this side a transform's picture no longer fits the geometry's 16-bit
// coordinates; such a stack could not be held in memory either.
constexpr int kLargestSide = 16384;

// The picture's divisor for an exposure slider value.
double ExposureDivisorFor(int exposure)
{
    return std::pow(2.0, kExposureMax - exposure);
}

QRect ToQRect(const Rect& r)
{
    return QRect(r.left, r.top, r.Width(), r.Height());
}

bool Inside(const Rect& r, QPoint p)
{
    return p.x() >= r.left && p.x() < r.right && p.y() >= r.top && p.y() < r.bottom;
}

// The arrow or the crosshair for the life of a stroke.
class StrokeCursor {
public:
    StrokeCursor() { QApplication::setOverrideCursor(Qt::ArrowCursor); }
    ~StrokeCursor() { QApplication::restoreOverrideCursor(); }
    StrokeCursor(const StrokeCursor&) = delete;
    StrokeCursor& operator=(const StrokeCursor&) = delete;
    void Show(Qt::CursorShape shape) { QApplication::changeOverrideCursor(shape); }
};

} // namespace

FTEditorInterface::FTEditorInterface()
    : SumStackDialogInterface("FTEditor"),
      mExposureSlider(MakePoint(kExposureTop, kSliderLeft), kSliderLength, 0, kExposureMax,
                      kExposureMax - static_cast<int>(std::lround(std::log2(kInitialDivisor)))),
      mBrushSlider(MakePoint(kBrushTop, kSliderLeft), kSliderLength, kBrushMin, kBrushMax, kInitialBrush),
      mMethod(kInitialMethod), mDivisor(kInitialDivisor), mBrushRadius(kInitialBrush), mDisplayScale(1),
      mActiveSlider(0)
{
    setIgnoreEvents(true);
    const int width = StackWidth(), height = StackHeight();
    mSize = SpectrumSizeFor(width, height);
    if (mSize.width > kLargestSide || mSize.height > kLargestSide || !HaveSummedStack())
        throw std::bad_alloc();
    const std::size_t n = mSize.Count();
    for (auto& spectrum : mEdited)
        spectrum.assign(n, 0.0);
    for (auto& spectrum : mOpening)
        spectrum.resize(n);
    mPower.assign(n, 0.0);
    mScratch.resize(n);
    const int32_t* planes[3] = {gRedStack.get(), gGreenStack.get(), gBlueStack.get()};
    for (int c = 0; c < 3; ++c)
        PlaceSumsCentred(planes[c], width, height, mSize, mEdited[c].data());
    // Tables that cannot be prepared leave nothing to transform with: the
    // opening fails as out of memory does.
    if (fft2dInit(mSize.log2Height, mSize.log2Width) != kFftInitOk)
        throw std::bad_alloc();
    for (int c = 0; c < 3; ++c) {
        rfft2d(mEdited[c].data(), mSize.log2Height, mSize.log2Width);
        mOpening[c] = mEdited[c];
    }
    mSpectrumImage = std::make_unique<GWorldWrapper>(32, MakeRect(0, 0, mSize.height, mSize.width), -1);
    int right = mSize.width, bottom = mSize.height;
    while (right > kFTEditorMaxDisplaySide || bottom > kFTEditorMaxDisplaySide) {
        // Each side stays at least one pixel, so a one-row stack still shows.
        right = std::max(1, right / 2);
        bottom = std::max(1, bottom / 2);
        mDisplayScale *= 2;
    }
    // Centred in the picture's square, so a wide or small spectrum leaves no
    // empty band on one side only.
    const int top = kDisplayTop + (kFTEditorMaxDisplaySide - bottom) / 2;
    const int left = kDisplayLeft + (kFTEditorMaxDisplaySide - right) / 2;
    mDisplayRect = MakeRect(top, left, top + bottom, left + right);
    GeneratePowerSpectrum();
    control(kFTEditorNormalization).SetValue(mMethod + 1);
    RedrawDialog();
    setIgnoreEvents(false);
}

FTEditorInterface::~FTEditorInterface() = default;

void FTEditorInterface::ClearGlobalPointer()
{
    gFTEditorInterface = nullptr;
}

void FTEditorInterface::GeneratePowerSpectrum()
{
    ComputeFourierPicture(mEdited[0].data(), mEdited[1].data(), mEdited[2].data(), mSize, mMethod, mDivisor,
                          mScratch.data(), mPower.data());
    CopyPixelValuesToImage(mPower.data(), *mSpectrumImage);
}

void FTEditorInterface::DoFourierSynthesis()
{
    if (!HaveSummedStack())
        return;
    const int width = StackWidth(), height = StackHeight();
    int32_t* planes[3] = {gRedStack.get(), gGreenStack.get(), gBlueStack.get()};
    for (int c = 0; c < 3; ++c)
        SynthesizeSums(mEdited[c].data(), mSize, mScratch.data(), planes[c], width, height);
    // With preview off the window keeps showing the stack as it was; turning
    // preview on shows these planes.
    if (preview())
        ProjectStackIntoFrameStackGWorld(false);
}

void FTEditorInterface::Reset()
{
    for (int c = 0; c < 3; ++c)
        mEdited[c] = mOpening[c];
    GeneratePowerSpectrum();
    RedrawDialog();
    DoFourierSynthesis();
}

void FTEditorInterface::ChangeNormalizationMethod()
{
    const int item = control(kFTEditorNormalization).Value();
    if (item >= 1 && item <= 4)
        mMethod = item - 1;
    GeneratePowerSpectrum();
    RedrawDialog();
}

bool FTEditorInterface::HandleDialogItemHit(int id, bool& done)
{
    if (id == kFTEditorNormalization) {
        ChangeNormalizationMethod();
        return true;
    }
    if (id == kFTEditorReset) {
        Reset();
        return true;
    }
    return SumStackDialogInterface::HandleDialogItemHit(id, done);
}

void FTEditorInterface::ExposureChanged()
{
    mDivisor = ExposureDivisorFor(mExposureSlider.GetValue());
    GeneratePowerSpectrum();
    RedrawDialog();
}

void FTEditorInterface::ProcessLiveSliderUpdate(int index)
{
    if (index == 0) {
        ExposureChanged();
        return;
    }
    if (index == 1)
        mBrushRadius = mBrushSlider.GetValue();
    RedrawDialog();
}

void FTEditorInterface::processMouse(int, QPoint where, bool&)
{
    Canvas* surface = canvas();
    PortSaver port;
    SetPort(surface);
    bool hit = false;
    // Compared with what is in use, not with the press: the release may land
    // back on the starting value after live steps.
    (void)mExposureSlider.ProcessMouse(where, hit, this, 0);
    if (hit && ExposureDivisorFor(mExposureSlider.GetValue()) != mDivisor)
        ExposureChanged();
    if (hit) {
        mActiveSlider = 0;
        return;
    }
    (void)mBrushSlider.ProcessMouse(where, hit, this, 1);
    if (hit && mBrushSlider.GetValue() != mBrushRadius) {
        mBrushRadius = mBrushSlider.GetValue();
        RedrawDialog();
    }
    if (hit) {
        mActiveSlider = 1;
        return;
    }
    if (Inside(mDisplayRect, where))
        ProcessMouseInPowerSpectrum(where);
}

void FTEditorInterface::nudgeSlider(bool up, bool shift)
{
    PortSaver port;
    SetPort(canvas());
    if (mActiveSlider == 0) {
        if (mExposureSlider.NudgeSlider(up, shift))
            ExposureChanged();
    } else if (mBrushSlider.NudgeSlider(up, shift)) {
        mBrushRadius = mBrushSlider.GetValue();
        RedrawDialog();
    }
}

void FTEditorInterface::ProcessMouseInPowerSpectrum(QPoint press)
{
    Canvas* surface = canvas();
    const int side = std::max(mSize.width, mSize.height);
    const int d = side > kFTEditorMaxDisplaySide ? side / kFTEditorMaxDisplaySide : 1;
    const int shownWidth = mDisplayRect.Width(), shownHeight = mDisplayRect.Height();
    const auto map = [&](QPoint p) {
        return MapDisplayToSpectrum(p.x() - mDisplayRect.left, p.y() - mDisplayRect.top, shownWidth, shownHeight, d);
    };
    SpectrumPoint last = map(press);
    StrokeCursor cursor;
    TrackMouseDrag(surface, [&](QPoint p) {
        if (!Inside(mDisplayRect, p)) {
            cursor.Show(Qt::ArrowCursor);
            return;
        }
        cursor.Show(Qt::CrossCursor);
        const SpectrumPoint now = map(p);
        if (now.row == last.row && now.column == last.column)
            return;
        for (const SpectrumPoint& dab : StrokeDabs(last, now, mBrushRadius))
            ApplySpectrumDab(mEdited[0].data(), mEdited[1].data(), mEdited[2].data(), mSize.width, mSize.height,
                             dab.row, dab.column, mBrushRadius);
        GeneratePowerSpectrum();
        RedrawDialog();
        DoFourierSynthesis();
        last = now;
    });
}

void FTEditorInterface::DrawBrushPreview()
{
    Canvas* surface = canvas();
    if (!surface)
        return;
    const double s = mDisplayScale, r = mBrushRadius;
    const auto box = [](double left, double top, double right, double bottom) {
        const int l = static_cast<int>(std::trunc(left)), t = static_cast<int>(std::trunc(top));
        return QRect(l, t, static_cast<int>(std::trunc(right)) - l, static_cast<int>(std::trunc(bottom)) - t);
    };
    const double largest = kBrushPreviewLargest / s + 1.0;
    FillCanvasOval(
        surface->Image(),
        box(kBrushPreviewH - largest, kBrushPreviewV - largest, kBrushPreviewH + largest, kBrushPreviewV + largest),
        QColor(Qt::white));
    FillCanvasOval(surface->Image(),
                   box(kBrushPreviewH - r / s, kBrushPreviewV - r / s, kBrushPreviewH + r / s, kBrushPreviewV + r / s),
                   QColor(Qt::black));
}

void FTEditorInterface::RedrawDialog()
{
    Canvas* surface = canvas();
    if (!surface)
        return;
    PortSaver port;
    SetPort(surface);
    FillCanvasRect(surface->Image(), surface->Image().rect(), QColor(Qt::white));
    if (mSpectrumImage)
        BlitImageScaled(surface->Image(), *mSpectrumImage, ToQRect(mDisplayRect));
    mExposureSlider.DrawSlider();
    mBrushSlider.DrawSlider();
    DrawBrushPreview();
    surface->Flush();
}
