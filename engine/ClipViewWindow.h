// engine/ClipViewWindow.h: the frame inspector: one clip at the size of the
// window with its data written over it, the instruction when no single clip
// is chosen, and the mask previews of the hot-pixel and threshold dialogs.
// Main thread only.
#pragma once

#include <functional>
#include <string>

#include "platform/core/Geometry.h"

class GWorldWrapper;
class QImage;

// While true (the space bar is held), the inspector shows clip 0 whatever it
// is asked to show.
extern bool gLockFrameInspectorWindowToFrameOne;

// Indices the inspector shows besides clips (0 and above).
inline constexpr int kInspectorNothing = -1;       // the instruction
inline constexpr int kInspectorThresholdMask = -2; // the alignment-threshold dialog's mask
inline constexpr int kInspectorHotPixelMask = -3;  // the hot-pixel dialog's mask

// A mask preview: active says whether its dialog is open (not being built or
// torn down) and wants its mask shown; mask gives the mask image or null.
// The hot-pixel and threshold dialogs install theirs while they exist.
struct InspectorMaskSource {
    std::function<bool()> active;
    std::function<const GWorldWrapper*()> mask;
};
void SetHotPixelMaskSource(InspectorMaskSource source);
void SetThresholdMaskSource(InspectorMaskSource source);

// What decides the inspector's index, first match wins: the hot-pixel preview
// (-3), the threshold dialog (-2), the temporary selection, the single clip
// of the persistent selection, else -1; the space-bar lock turns any of them
// into clip 0.
struct InspectorChoice {
    bool hotPixelPreview = false;
    bool thresholdDialog = false;
    int tempSelection = -1;
    int persistentCount = 0;
    int singlePersistent = -1; // the persistent selection's clip when it holds one
    bool lockToFirst = false;
};
int ChooseInspectorIndex(const InspectorChoice& choice);

// Chooses from the program's state and draws; then shows the window's content.
void DrawFrameInspectorWindow();
// Draws index: a clip, -1, -2 or -3. Nothing with no clips; an index past the
// clip list (a selection left over from deleted clips) draws as -1. During a
// job a clip is drawn from its current image without rendering, and a clip
// that is being rendered or swapped is drawn as its thumbnail.
void UpdateFrameInspectorWindow(int index);

// Frames the operation bounds rectangle in the inspector, scaled from image
// to window coordinates (nothing without one, an image size or a window size).
void FrameOperationsBoundRect();

// The bounds rectangle in a windowWidth × windowHeight window: left and right
// × windowWidth / imageWidth, top and bottom × windowHeight / imageHeight, in
// integers. Empty when a size is not positive or there is no rectangle.
Rect BoundsRectInWindow(Rect bounds, int imageWidth, int imageHeight, int windowWidth, int windowHeight);

// Installs the inspector's and the pixel readout's hooks into the shell
// (redraw on activation, the readout for the mouse). Call once at start-up.
void InstallFrameInspector();

// The lines of the instruction shown when no single clip is chosen.
extern const char* const kInspectorInstruction[6];

// The rotation text: degrees with one truncated decimal and a degree sign.
std::string InspectorRotationText(int rotation);
