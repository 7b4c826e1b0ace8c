// engine/ClipsWindowLayout.h: the clips window's grid: slot and thumbnail
// sizes, columns, rows, the page of clips shown, and the mapping between
// clips and slots in both directions. No window here: the window code feeds
// in its content size and applies the result.
#pragma once

#include "platform/core/Geometry.h"

// Size of one slot as drawn: the image scaled so that its larger side is
// gMaxClipWidthOrHeight (v height, h width; each at least 1).
extern Point gClipDim;
// Index of the clip in the first slot; the paging keys change it.
extern int gClipWindowFirstClip;
// Number of slots on a page.
extern int gNumClipsPerClipWindowPage;

// The "none" slot: the clip is not on the current page.
inline constexpr Rect kNoClipRect{-1, -1, -1, -1};

// The size of a w × h image scaled so that its larger side is side:
// s = max(w / side, h / side) in doubles, sides trunc(w / s) and trunc(h / s),
// each at least 1 so that it can divide (an image far wider than high would
// otherwise give a 0-high slot). Empty for an empty image.
Point ScaledClipSize(int width, int height, int side);

// Sets gMaxClipDim (the thumbnail size, larger side 128) from image r; does
// nothing when r is empty. Main thread, no job running.
void SetMaxClipDim(Rect image);

// What a layout needs to know.
struct ClipsLayoutInput {
    int imageWidth = 0, imageHeight = 0;     // gImageDim
    int maxClipSide = 64;                    // gMaxClipWidthOrHeight
    int contentWidth = 1, contentHeight = 1; // the window's content now
    int maxContentHeight = 0;                // Hmax: the tallest content that fits the screen
    int preferredWidth = 800;                // "clipsWindowWidth", used by a window never laid out (1 × 1)
    int numClips = 0;
};

// The grid a layout gives.
struct ClipsLayout {
    Point clipDim; // slot size
    int columns = 1;
    int rows = 1;
    int page = 1;                            // columns × rows
    int contentWidth = 1, contentHeight = 1; // the window's new content size
};

// The layout for input (numClips ≥ 1 and a non-empty image): columns =
// content width div slot width, plus one when the first decimal of the
// quotient is 5 or more (800 / 64 = 12.5 gives 13); rows the same way but
// rounded up only while under Hmax; then rows are dropped while the page holds
// a whole row more than the clips, and while it is taller than Hmax (never
// below one row); a single row wider than the clips shrinks to the clips.
ClipsLayout ComputeClipsLayout(const ClipsLayoutInput& input);

// The grid as last laid out, and setting it (the window code and tests).
struct ClipsGrid {
    int columns = 0, rows = 0;
    int contentWidth = 0, contentHeight = 0;
};
const ClipsGrid& CurrentClipsGrid();
void SetCurrentClipsGrid(const ClipsGrid& grid);

// The slot of clip in a window whose content is contentWidth wide (columns q
// = contentWidth div slot width), or kNoClipRect when the clip is not on the
// current page or the window is narrower than one slot.
Rect ClipRectForIndex(int clip, int contentWidth);

// The clip under point p (content coordinates) of a window contentWidth ×
// contentHeight holding numClips clips, or -1: outside the content, in a
// column past the grid, past the page, past the last clip.
int ClipIndexAtPoint(Point p, int contentWidth, int contentHeight, int numClips);

// "<- MORE" on the first slot when earlier clips exist; "MORE ->" on the last
// slot of the page when later clips exist.
bool markMoreClipsBehind(int clip);
bool markMoreClipsAhead(int clip, int numClips);
