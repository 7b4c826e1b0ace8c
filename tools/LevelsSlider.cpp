// tools/LevelsSlider.cpp: the levels slider's thumbs, drag rules, nudges,
// labels and drawing.
#include "tools/LevelsSlider.h"

#include <algorithm>
#include <cmath>

#include "shell/SliderArtwork.h"
#include "shell/SliderDrawing.h"
#include "resources/PictureResources.h"
#include "tools/LiveSliderOwner.h"

namespace {

constexpr int kPointThumbWidth = 11, kPointThumbHeight = 6;
constexpr int kGammaThumbWidth = 6, kGammaThumbHeight = 11;
constexpr double kFullScale = 255.0;

// The area erased under the histogram: h - 8 .. h + 268, v + 55 .. v + 81.
constexpr int kEraseLeft = -8, kEraseRight = 268, kEraseBottom = 81;
// The gamma column: h + 261 .. h + 308, v - 5 .. v + 55.
constexpr int kGammaEraseTop = -5, kGammaEraseRight = 308;
// Labels: the black one ends at h + 263 at the latest, baseline v + 71; the
// white one starts at h - 3 at the earliest, baseline v + 81; the gamma one
// at h + 270, 8 below the gamma thumb's top.
constexpr int kBlackLabelRightLimit = 263, kBlackLabelBaseline = 71;
constexpr int kWhiteLabelLeftLimit = -3, kWhiteLabelBaseline = 81;
constexpr int kGammaLabelLeft = 270, kGammaLabelDrop = 8;

// Keeps a pixel offset computed from unchecked values inside what a Rect
// holds; NaN (a scale of 0) counts as 0.
int PixelOffset(double offset)
{
    if (!(offset == offset))
        return 0;
    return static_cast<int>(std::trunc(std::clamp(offset, -1000.0, 1000.0)));
}

// trunc(v) as decimal digits; huge or non-finite values as their nearest
// printable whole number.
std::string WholeText(double v)
{
    if (!std::isfinite(v))
        v = 0.0;
    v = std::clamp(std::trunc(v), -1e15, 1e15);
    return std::to_string(static_cast<long long>(v));
}

bool InRect(QPoint p, const Rect& r)
{
    return PointInSliderRect(p, r);
}

int WhitePicture(int channel)
{
    switch (channel) {
    case 1:
        return kLevelsRedWhiteThumbPicture;
    case 2:
        return kLevelsGreenWhiteThumbPicture;
    case 3:
        return kLevelsBlueWhiteThumbPicture;
    default:
        return kLevelsValueWhiteThumbPicture;
    }
}

} // namespace

LevelsSlider::LevelsSlider(int left, int top, int channel, double scale)
    : mChannel(channel), mOrigin(MakePoint(top, left)), mScale(scale), mBlack(0.0), mWhite(kFullScale * scale),
      mGamma(1.0)
{
    SetCutoffs(0.0, kFullScale * scale, 1.0);
}

void LevelsSlider::GetCutoffs(double& black, double& white, double& gammaInverse) const
{
    black = mBlack;
    white = mWhite;
    gammaInverse = 1.0 / mGamma; // +infinity at gamma 0: the remap's curve then drops to 0
}

bool LevelsSlider::SetCutoffs(double black, double white, double gamma)
{
    const bool changed = black != mBlack || white != mWhite || gamma != mGamma;
    mBlack = black;
    mWhite = white;
    mGamma = gamma;
    PlaceThumbs();
    return changed;
}

int LevelsSlider::PointThumbLeft(double point) const
{
    // A stack of no frames has scale 0: its thumbs stay at the left end.
    const double pixels = mScale > 0.0 ? point / mScale : 0.0;
    return PixelOffset(mOrigin.h + kLevelsThumbOffset + pixels);
}

void LevelsSlider::PlaceThumbs()
{
    const int top = mOrigin.v + kLevelsThumbTop;
    const int blackLeft = PointThumbLeft(mBlack);
    const int whiteLeft = PointThumbLeft(mWhite);
    mBlackThumb = MakeRect(top, blackLeft, top + kPointThumbHeight, blackLeft + kPointThumbWidth);
    mWhiteThumb = MakeRect(top, whiteLeft, top + kPointThumbHeight, whiteLeft + kPointThumbWidth);
    const double lift = mGamma > 0.0 ? std::sqrt(kLevelsGammaFactor * mGamma) : 0.0;
    const int gammaTop = PixelOffset(mOrigin.v + kLevelsGammaBase - lift);
    const int gammaLeft = mOrigin.h + kLevelsGammaLeft;
    mGammaThumb = MakeRect(gammaTop, gammaLeft, gammaTop + kGammaThumbHeight, gammaLeft + kGammaThumbWidth);
}

bool LevelsSlider::MoveBlackTo(int x)
{
    const int h = mOrigin.h;
    const int clamped = std::clamp(x, h, h + kLevelsTrack);
    double black = (clamped - h) * mScale;
    if (black < 0.0)
        black = 0.0;
    else if (black >= mWhite)
        black = std::max(0.0, mWhite - 1.0);
    if (black == mBlack)
        return false;
    mBlack = black;
    PlaceThumbs();
    return true;
}

bool LevelsSlider::MoveWhiteTo(int x)
{
    const int h = mOrigin.h;
    const int clamped = std::clamp(x, h, h + kLevelsTrack);
    double white = (clamped - h) * mScale;
    if (mBlack >= white)
        white = mBlack + 1.0;
    else if (white > kFullScale * mScale)
        white = kFullScale * mScale;
    if (white == mWhite)
        return false;
    mWhite = white;
    PlaceThumbs();
    return true;
}

bool LevelsSlider::MoveGammaTo(int y)
{
    const int v = mOrigin.v;
    const int clamped = std::clamp(y, v, v + kLevelsGammaTravel);
    const double rise = kLevelsGammaTravel - (clamped - v);
    const double gamma = rise * rise / kLevelsGammaFactor;
    if (gamma == mGamma)
        return false;
    mGamma = gamma;
    PlaceThumbs();
    return true;
}

bool LevelsSlider::ProcessMouse(QPoint where, bool& hit, LiveSliderOwner* owner, int index)
{
    hit = false;
    int thumb = kLevelsNoThumb;
    if (InRect(where, mBlackThumb))
        thumb = kLevelsBlackThumb;
    else if (InRect(where, mWhiteThumb))
        thumb = kLevelsWhiteThumb;
    else if (InRect(where, mGammaThumb))
        thumb = kLevelsGammaThumb;
    if (thumb == kLevelsNoThumb)
        return false;
    hit = true;
    return DragThumb(thumb, where, owner, index);
}

bool LevelsSlider::DragThumb(int thumb, QPoint start, LiveSliderOwner* owner, int index)
{
    mSelectedThumb = thumb;
    const double startValue = thumb == kLevelsBlackThumb ? mBlack : thumb == kLevelsWhiteThumb ? mWhite : mGamma;
    // A value changes only when the pointer's clamped coordinate along the
    // thumb's axis changes, counted from the press.
    auto axis = [&](QPoint p) {
        if (thumb == kLevelsGammaThumb)
            return std::clamp(p.y(), static_cast<int>(mOrigin.v), mOrigin.v + kLevelsGammaTravel);
        return std::clamp(p.x(), static_cast<int>(mOrigin.h), mOrigin.h + kLevelsTrack);
    };
    int last = axis(start);
    auto follow = [&](QPoint p) {
        const int position = axis(p);
        if (position == last)
            return;
        last = position;
        const bool changed = thumb == kLevelsBlackThumb   ? MoveBlackTo(position)
                             : thumb == kLevelsWhiteThumb ? MoveWhiteTo(position)
                                                          : MoveGammaTo(position);
        if (!changed)
            return;
        if (owner)
            owner->ProcessLiveSliderUpdate(index);
        DrawLevelsSlider();
    };
    const QPoint release = TrackSliderDrag(start, follow);
    follow(release);
    const double endValue = thumb == kLevelsBlackThumb ? mBlack : thumb == kLevelsWhiteThumb ? mWhite : mGamma;
    return endValue != startValue;
}

bool LevelsSlider::NudgeSlider(bool up, bool big)
{
    const double step = big ? kLevelsLargeStep : kLevelsSmallStep;
    const double top = kFullScale * mScale;
    const double before[3] = {mBlack, mWhite, mGamma};
    switch (mSelectedThumb) {
    case kLevelsBlackThumb:
        if (up) {
            if (!(mBlack < mWhite - 1.0))
                return false;
            mBlack = std::min(mBlack + step, mWhite - 1.0);
        } else {
            if (!(mBlack > 0.0))
                return false;
            mBlack = std::max(mBlack - step, 0.0);
        }
        break;
    case kLevelsWhiteThumb:
        if (up) {
            if (!(mWhite < top))
                return false;
            mWhite = std::min(mWhite + step, top);
        } else {
            if (!(mWhite > mBlack + 1.0))
                return false;
            mWhite = std::max(mWhite - step, mBlack + 1.0);
        }
        break;
    case kLevelsGammaThumb:
        if (up) {
            if (!(mGamma < kLevelsGammaMax))
                return false;
            // Multiplying would keep a gamma of 0 at 0 for ever.
            mGamma = mGamma > 0.0 ? mGamma * (big ? kLevelsGammaLargeUp : kLevelsGammaSmallUp) : kLevelsGammaFirstStep;
            mGamma = std::min(mGamma, kLevelsGammaMax);
        } else {
            if (!(mGamma > 0.0))
                return false;
            mGamma *= big ? kLevelsGammaLargeDown : kLevelsGammaSmallDown;
        }
        break;
    default:
        return false;
    }
    PlaceThumbs();
    // At the smallest positive gamma a step down rounds back to it.
    return mBlack != before[0] || mWhite != before[1] || mGamma != before[2];
}

std::string LevelsSlider::BlackText() const
{
    return WholeText(mBlack);
}

std::string LevelsSlider::WhiteText() const
{
    return WholeText(mWhite);
}

std::string LevelsSlider::GammaText() const
{
    const double g = std::isfinite(mGamma) ? std::clamp(mGamma, -1e15, 1e15) : 0.0;
    auto digit = [g](double factor) {
        const double d = std::fmod(std::trunc(g * factor), 10.0);
        return static_cast<char>('0' + static_cast<int>(std::fabs(d)));
    };
    std::string text = WholeText(g) + ".";
    text += digit(10.0);
    text += digit(100.0);
    text += digit(1000.0);
    return text;
}

int LevelsSlider::BlackLabelLeft() const
{
    const std::string text = BlackText();
    const int right = mOrigin.h + kBlackLabelRightLimit;
    return std::min(static_cast<int>(mBlackThumb.left), right - SliderLabelWidth(text));
}

int LevelsSlider::WhiteLabelLeft() const
{
    const std::string text = WhiteText();
    return std::max(mWhiteThumb.right - SliderLabelWidth(text), mOrigin.h + kWhiteLabelLeftLimit);
}

void LevelsSlider::DrawLevelsSlider() const
{
    if (!CanDrawSliderArtwork())
        return;
    const int h = mOrigin.h, v = mOrigin.v;
    EraseSliderArea(MakeRect(v + kLevelsThumbTop, h + kEraseLeft, v + kEraseBottom, h + kEraseRight));
    DrawSliderLabel(BlackLabelLeft(), v + kBlackLabelBaseline, BlackText());
    DrawSliderLabel(WhiteLabelLeft(), v + kWhiteLabelBaseline, WhiteText());
    DrawSliderPicture(kSliderThumbPicture, mBlackThumb.left, mBlackThumb.top);
    DrawSliderPicture(WhitePicture(mChannel), mWhiteThumb.left, mWhiteThumb.top);
    EraseSliderArea(MakeRect(v + kGammaEraseTop, h + kLevelsGammaLeft, v + kLevelsThumbTop, h + kGammaEraseRight));
    DrawSliderPicture(kLevelsGammaThumbPicture, mGammaThumb.left, mGammaThumb.top);
    DrawSliderLabel(h + kGammaLabelLeft, mGammaThumb.top + kGammaLabelDrop, GammaText());
    ShowSliderDrawing();
}
