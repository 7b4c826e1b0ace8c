// tools/LevelsSlider.h: the three-thumb slider of the histogram levels tool.
// It sits under a 256-pixel histogram: a black-point and a white-point thumb
// below the histogram's bottom edge, moving with the point in stack units /
// scale, and a gamma thumb right of the histogram, rising with the gamma.
//
// How the dialog uses one (main thread only): RedrawDialog: SetPort to the
// dialog's canvas, then DrawLevelsSlider(); a mouse-down: SetPort, then
// ProcessMouse(press, hit, owner, index) (hit: a thumb was grabbed; the owner
// hears of every change during the drag); an arrow key: NudgeSlider on the
// active slider, then redraw. The value logic needs no window; drawing
// without a current port does nothing.
#pragma once

#include <string>

#include <QPoint>

#include "platform/core/Geometry.h"

class LiveSliderOwner;

// The thumbs; -1 none.
inline constexpr int kLevelsNoThumb = -1;
inline constexpr int kLevelsBlackThumb = 0;
inline constexpr int kLevelsWhiteThumb = 1;
inline constexpr int kLevelsGammaThumb = 2;

// Geometry, in pixels from the origin (h, v), the histogram's top-left.
inline constexpr int kLevelsTrack = 255;          // the points' pointer range h .. h + 255
inline constexpr int kLevelsThumbTop = 55;        // point thumbs' top, under the histogram's frame
inline constexpr int kLevelsThumbOffset = -3;     // point thumb left = trunc(h - 3 + point / scale)
inline constexpr int kLevelsGammaLeft = 261;      // gamma thumb left, right of the histogram
inline constexpr int kLevelsGammaBase = 47;       // gamma thumb top = trunc(v + 47 - sqrt(250 × gamma))
inline constexpr int kLevelsGammaTravel = 50;     // the gamma pointer range v .. v + 50
inline constexpr double kLevelsGammaFactor = 250; // gamma = (50 - (y - v))² / 250
inline constexpr double kLevelsGammaMax = 10.0;
inline constexpr double kLevelsSmallStep = 1.0;  // stack units per arrow key
inline constexpr double kLevelsLargeStep = 10.0; // with Shift
inline constexpr double kLevelsGammaSmallUp = 1.010101010101, kLevelsGammaLargeUp = 1.25;
inline constexpr double kLevelsGammaSmallDown = 0.99, kLevelsGammaLargeDown = 0.8;
// Nudging up from gamma 0 (where multiplying stays at 0) gives the gamma of
// the thumb's first drag step above the bottom, 1 / 250.
inline constexpr double kLevelsGammaFirstStep = 1.0 / kLevelsGammaFactor;

class LevelsSlider {
public:
    // The slider under the histogram at (left, top) of channel 0 value, 1
    // red, 2 green or 3 blue (which white thumb it shows), scale stack units
    // per histogram pixel (the frames summed): black 0, white 255 × scale,
    // gamma 1, no thumb selected.
    LevelsSlider(int left, int top, int channel, double scale);

    // Black, white and 1 / gamma (+infinity at gamma 0), as the remap takes them.
    void GetCutoffs(double& black, double& white, double& gammaInverse) const;
    // Stores all three unchecked and places the thumbs; true when any differs.
    bool SetCutoffs(double black, double white, double gamma);

    double Black() const { return mBlack; }
    double White() const { return mWhite; }
    double Gamma() const { return mGamma; }
    double Scale() const { return mScale; }
    int Channel() const { return mChannel; }
    Point Origin() const { return mOrigin; }
    int SelectedThumb() const { return mSelectedThumb; }
    void SetSelectedThumb(int thumb) { mSelectedThumb = thumb; }
    Rect BlackThumb() const { return mBlackThumb; }
    Rect WhiteThumb() const { return mWhiteThumb; }
    Rect GammaThumb() const { return mGammaThumb; }

    // Draws the slider (thumbs, labels) into the current port when it is a
    // window canvas; nothing otherwise.
    void DrawLevelsSlider() const;

    // A mouse-down at where, the press's own position in the current port:
    // tested on the black, white and gamma thumbs in that order; on none,
    // hit = false and false. Otherwise that thumb is selected, hit = true and the drag runs:
    // every move that changes the thumb's value sets it (MoveBlackTo and
    // the others), tells owner (may be null) ProcessLiveSliderUpdate(index)
    // and redraws. True when the value at release differs from the press.
    bool ProcessMouse(QPoint where, bool& hit, LiveSliderOwner* owner, int index);
    // The same drag for a press at start on thumb.
    bool DragThumb(int thumb, QPoint start, LiveSliderOwner* owner, int index);

    // The drag rules, from the pointer position in window coordinates; each
    // returns true when the value changed and places the thumbs.
    // Black: x clamped to h .. h + 255, black = (x - h) × scale, kept at
    // least 0 and below white by at least 1.
    bool MoveBlackTo(int x);
    // White: white = (x - h) × scale, raised to black + 1 when not above
    // black, at most 255 × scale.
    bool MoveWhiteTo(int x);
    // Gamma: y clamped to v .. v + 50, gamma = (50 - (y - v))² / 250
    // (10 at the top, 0 at the bottom).
    bool MoveGammaTo(int y);

    // One arrow-key step of the selected thumb (false and nothing without
    // one): points by 1 stack unit (10 when big), black within 0 .. white - 1,
    // white within black + 1 .. 255 × scale; gamma × 1.0101… (1.25 big) up to
    // 10, × 0.99 (0.8 big) down, never reaching 0 from above. True when the
    // value changed; the thumbs are placed, nothing is drawn.
    bool NudgeSlider(bool up, bool big);

    // The labels: trunc(black), trunc(white), and the gamma with three
    // truncated decimals (1.5 shows "1.500").
    std::string BlackText() const;
    std::string WhiteText() const;
    std::string GammaText() const;

private:
    void PlaceThumbs();
    int PointThumbLeft(double point) const;
    int BlackLabelLeft() const;
    int WhiteLabelLeft() const;

    int mChannel;
    Point mOrigin;
    double mScale;
    double mBlack = 0.0;
    double mWhite = 0.0;
    double mGamma = 1.0;
    Rect mBlackThumb, mWhiteThumb, mGammaThumb;
    int mSelectedThumb = kLevelsNoThumb;
};
