// files/StackDocument.h: what the stack's file formats (FITS, raw) use of the
// open document: its size, its clips, the summed stack's planes, and the few
// engine and dialog calls around them.
#pragma once

#include <cstdint>

#include "platform/core/Geometry.h"

// The summed stack is three int32 planes (red, green, blue; row-major,
// StackWidth() × StackHeight()) with their display image. Everything here is
// main-thread only, with no job running.
class StackDocument {
public:
    virtual ~StackDocument() = default;

    // True when the three planes and the display image exist.
    virtual bool HasStack() const = 0;
    // The stack's own size; it differs from ImageDim() after binning or a
    // 90-degree rotation. Only meaningful while HasStack().
    virtual int StackWidth() const = 0;
    virtual int StackHeight() const = 0;
    // Plane 0 red, 1 green, 2 blue; null without a stack.
    virtual int32_t* Plane(int channel) = 0;

    virtual int ClipCount() const = 0;
    // The document's image size (top and left 0).
    virtual Rect ImageDim() const = 0;
    virtual void SetImageDim(Rect r) = 0;
    // After a clip-less document took a new size and its stack: the rest of
    // the document follows ImageDim() (thumbnail size, an empty hot-pixel
    // mask, dark and flat frames of another size released with their windows).
    virtual void FollowNewImageDim() = 0;

    // Builds the stack from the clips at ImageDim() (three zeroed planes when
    // there are no clips), replacing any stack. True when a new stack was
    // built. It may build none: a width refusal or a declined rotation warning
    // keep any old stack, a Cancel or too little memory leave no stack (each
    // with its own alert).
    virtual bool CreateInitialStack() = 0;
    // The wrong-size question; true when the user accepts the other size.
    virtual bool AskWrongImageDim() = 0;
    // Re-projects the whole stack into its display image and shows it,
    // letting the display divisor grow.
    virtual void ProjectStack() = 0;
};

// The running program's document (the engine's globals). Main thread only.
StackDocument& TheStackDocument();
