// tools/PreviewRectDialog.h: the base of the stack filter dialogs that filter
// one rectangle of the summed stack, chosen on a thumbnail, while they are
// open (unsharp mask, Laplacian pyramid, wavelet threshold): the thumbnail,
// the histograms of the shown rectangle and the ringing threshold field
// where a dialog has them, the old rectangle given back its saved values
// when another is chosen, and the common part of redrawing.
#pragma once

#include <memory>
#include <optional>

#include "engine/SumStackDialogInterface.h"
#include "platform/core/Geometry.h"
#include "tools/LiveSliderOwner.h"

class Canvas;
class HistogramInterface;
class PortSaver;
class ThumbnailInterface;

// Where a dialog's panels sit, in window coordinates.
struct ThumbnailPlace {
    int left = 0, top = 0, width = 0, height = 0;
};
struct HistogramsPlace {
    int left = 0, top = 0, spacing = 0;
};

// What a subclass does: build its sliders in its constructor (events are
// ignored until it calls setIgnoreEvents(false)); say whether its planes
// still match the stack (HavePlanes); redraw through BeginRedraw; rebuild
// the rectangle when the ringing threshold changes (RingingThresholdChanged,
// for dialogs with the field). Main thread only.
class PreviewRectDialog : public SumStackDialogInterface, public LiveSliderOwner {
public:
    ~PreviewRectDialog() override;

    // The rectangle of the stack the dialog filters (image coordinates).
    Rect previewRect() const;
    ThumbnailInterface& thumbnail() const { return *mThumbnail; }
    // Only for dialogs with histograms.
    const HistogramInterface& histograms() const { return *mHistograms; }
    int ringingThreshold() const { return mRingingThreshold; }

    // Off: the stack as it was at opening; on: that picture with the preview
    // rectangle shown from the live planes; the histograms follow, and the
    // dialog is redrawn.
    void TogglePreview() override;
    // 4 sets the histograms' vertical scale (dialogs with histograms); the
    // rest goes to the base.
    bool HandleDialogItemHit(int id, bool& done) override;
    // The ringing threshold field changed: clamped to 0 .. 255 and written
    // back (an empty field is left empty while the user types and reads 0);
    // a new value calls RingingThresholdChanged.
    void ValidateEditableText();

protected:
    // Opens windowName (SumStackDialogInterface) with a thumbnail of the
    // unfiltered stack at thumb whose rectangle is the top-left
    // firstPreviewSide square (less on a smaller stack; the whole stack for
    // 0); histograms at histograms, filled from that rectangle; the ringing
    // threshold field ringingField at 0 (-1: none). Throws std::bad_alloc
    // with nothing left behind.
    PreviewRectDialog(const char* windowName, ThumbnailPlace thumb, int firstPreviewSide,
                      std::optional<HistogramsPlace> histograms, int ringingField);

    // The planes the dialog keeps still match the stack. The stack cannot
    // change size or go while a filter dialog is open; the test keeps a
    // stray call harmless all the same.
    virtual bool HavePlanes() const = 0;
    // The ringing threshold took a new value.
    virtual void RingingThresholdChanged() {}

    std::optional<Rect> previewArea() const override { return previewRect(); }

    // Only one rectangle of the stack is ever filtered while the dialog is
    // open: old gets its saved values back and is shown so.
    void RestoreRect(Rect old);
    // Follows a drag on the thumbnail (no live preview: the new rectangle is
    // filtered once, after the release); when it chose another rectangle,
    // RestoreRect of the old one. True then.
    bool DefinePreviewBounds(QPoint press);
    // The histograms from the shown stack over the rectangle (if any).
    void FillHistogramsFromStack();
    // The rectangle becomes the whole stack (OK filters it all).
    void PreviewWholeStack();
    // The start of RedrawDialog: the canvas set as the port (port saves the
    // old one), filled white, the thumbnail with its rectangle and the
    // histograms drawn; null, with nothing drawn, when there is no canvas or
    // the panels are not made yet.
    Canvas* BeginRedraw(PortSaver& port);

    std::unique_ptr<ThumbnailInterface> mThumbnail;
    std::unique_ptr<HistogramInterface> mHistograms; // null for dialogs without them
    int mRingingThreshold = 0;

private:
    const int mRingingField;
};
