// engine/ClipViewWindow.cpp: choosing and drawing what the frame inspector shows.
#include "engine/ClipViewWindow.h"

#include <algorithm>
#include <new>

#include <QColor>
#include <QImage>

#include "shell/CommandOperations.h"
#include "shell/MainWindowSet.h"
#include "shell/OperationBoundsRect.h"
#include "shell/PascalStrings.h"
#include "engine/PixelReadout.h"
#include "engine/ReadoutCursor.h"
#include "shell/ShellHooks.h"
#include "engine/Frame.h"
#include "engine/FrameList.h"
#include "shell/ImageDim.h"
#include "engine/Selection.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/CanvasDrawing.h"
#include "platform/qt/ShellWindow.h"

bool gLockFrameInspectorWindowToFrameOne = false;

const char* const kInspectorInstruction[6] = {"Either place the mouse", "over a clip or select",
                                              "exactly one clip which", "will then remain in this",
                                              "window when the mouse",  "isn't over a clip."};

namespace {

InspectorMaskSource sHotPixelSource;
InspectorMaskSource sThresholdSource;

const QColor kWhite(255, 255, 255);
const QColor kRed(255, 0, 0);

// Degrees per radian, as the inspector has always written rotations.
constexpr double kDegreesPerRadian = 57.295779513082;

bool Active(const InspectorMaskSource& source)
{
    return source.active && source.active();
}

void Text(QImage& image, int x, int y, const std::string& text)
{
    DrawCanvasText(image, x, y, text, CanvasFont::monaco9, kWhite);
}

void WriteFrameIdToFrameInspectorWindow(QImage& image, const Frame& frame)
{
    Text(image, 3, 11, std::to_string(frame.GetIndex() + 1) + "/" + std::to_string(FrameCount()));
}

void WriteScoreToFrameInspectorWindow(QImage& image, const Frame& frame)
{
    Text(image, 3, 21, FloatToString(frame.GetScore(), 3));
}

void WriteImageDimToFrameInspectorWindow(QImage& image, int H)
{
    Text(image, 3, H - 5, std::to_string(gImageDim.Width()) + " x " + std::to_string(gImageDim.Height()));
}

void WriteImageAlignmentToFrameInspectorWindow(QImage& image, const Frame& frame, int H)
{
    for (int channel = 1; channel <= 3; ++channel) {
        const Point a = frame.GetAlignment(channel);
        Text(image, 3, H - 75 + 10 * channel, std::to_string(a.h) + "," + std::to_string(a.v));
    }
    Text(image, 3, H - 25, InspectorRotationText(frame.GetRotation()));
}

void WriteImageNormalizationToFrameInspectorWindow(QImage& image, const Frame& frame, int H)
{
    Text(image, 3, H - 85, FloatToString(frame.GetNormalizationFactor(), 3));
}

void WriteImageMedianFilterToFrameInspectorWindow(QImage& image, const Frame& frame, int H)
{
    Text(image, 3, H - 115, std::to_string(frame.GetMedianFilterRadius()));
    Text(image, 3, H - 105, std::to_string(frame.GetMedianFilterThreshold()));
}

void XoutUnSumStackIncludedOnFrameInspectorWindow(QImage& image, int W, int H)
{
    const int dx = std::min(40, W - 1), dy = std::min(40, H - 1);
    const int x0 = std::max(0, W - 40);
    DrawCanvasLine(image, x0, 0, x0 + dx, dy, kRed);
    DrawCanvasLine(image, W - 1, 0, W - 1 - dx, dy, kRed);
}

void MarkDebayerizedOnFrameInspectorWindow(QImage& image, int W)
{
    Text(image, W - 28, 11, "B");
}

void MarkDarkFrameSubstractedOnFrameInspectorWindow(QImage& image, int W)
{
    Text(image, W - 18, 11, "D");
}

void MarkFlatFrameDividedOnFrameInspectorWindow(QImage& image, int W)
{
    Text(image, W - 8, 11, "F");
}

void MarkFrameNotInMemoryOnFrameInspectorWindow(QImage& image, int W)
{
    Text(image, W - 8, 21, "X");
}

void DrawInstruction(Canvas& canvas)
{
    QImage& image = canvas.Image();
    image.fill(Qt::black);
    FrameOperationsBoundRect();
    const int middle = image.height() / 2;
    const int offsets[6] = {-35, -20, -5, 10, 25, 40};
    for (int i = 0; i < 6; ++i) {
        const std::string line = kInspectorInstruction[i];
        const int x = (image.width() - CanvasTextWidth(line, CanvasFont::helvetica12Bold)) / 2;
        DrawCanvasText(image, x, middle + offsets[i], line, CanvasFont::helvetica12Bold, kRed);
    }
}

void DrawMask(Canvas& canvas, const InspectorMaskSource& source)
{
    const GWorldWrapper* mask = source.mask ? source.mask() : nullptr;
    if (mask)
        BlitImage(canvas.Image(), *mask, 0, 0);
}

void DrawClip(Canvas& canvas, Frame& frame)
{
    QImage& image = canvas.Image();
    const int W = image.width(), H = image.height();
    // Outside a job a dirty clip is rendered first; during one a worker may
    // own it, so it is shown as it stands.
    if (!IsJobRunning()) {
        try {
            frame.UpdateFrame(false);
        } catch (const std::bad_alloc&) {
            // The render showed its alert; the clip is shown as it is.
        }
    }
    // The modified image is read under the clip's lock, and only while no
    // one renders or swaps it; otherwise the thumbnail stands in.
    const bool drawn = frame.WithModifiedForDisplay(
        [&](const GWorldWrapper& modified) { BlitImageScaled(image, modified, image.rect()); });
    if (!drawn)
        frame.DrawClipImage(MakeRect(0, 0, H, W), &canvas);

    FrameOperationsBoundRect();
    if (!frame.GetSumStackIncluded())
        XoutUnSumStackIncludedOnFrameInspectorWindow(image, W, H);
    WriteFrameIdToFrameInspectorWindow(image, frame);
    WriteScoreToFrameInspectorWindow(image, frame);
    WriteImageDimToFrameInspectorWindow(image, H);
    WriteImageAlignmentToFrameInspectorWindow(image, frame, H);
    WriteImageNormalizationToFrameInspectorWindow(image, frame, H);
    WriteImageMedianFilterToFrameInspectorWindow(image, frame, H);
    if (frame.GetDebayerized())
        MarkDebayerizedOnFrameInspectorWindow(image, W);
    if (frame.GetDarkFrameSubtracted())
        MarkDarkFrameSubstractedOnFrameInspectorWindow(image, W);
    if (frame.GetFlatFrameDivided())
        MarkFlatFrameDividedOnFrameInspectorWindow(image, W);
    if (frame.GetResidency() == Frame::Residency::OnDisk)
        MarkFrameNotInMemoryOnFrameInspectorWindow(image, W);
}

} // namespace

void SetHotPixelMaskSource(InspectorMaskSource source)
{
    sHotPixelSource = std::move(source);
}

void SetThresholdMaskSource(InspectorMaskSource source)
{
    sThresholdSource = std::move(source);
}

int ChooseInspectorIndex(const InspectorChoice& c)
{
    if (c.lockToFirst)
        return 0;
    if (c.hotPixelPreview)
        return kInspectorHotPixelMask;
    if (c.thresholdDialog)
        return kInspectorThresholdMask;
    if (c.tempSelection != -1)
        return c.tempSelection;
    if (c.persistentCount == 1)
        return c.singlePersistent;
    return kInspectorNothing;
}

std::string InspectorRotationText(int rotation)
{
    return FloatToString(rotation * kRotationIncrementRads * kDegreesPerRadian, 1) + "\xC2\xB0";
}

Rect BoundsRectInWindow(Rect bounds, int imageWidth, int imageHeight, int windowWidth, int windowHeight)
{
    if (bounds.left == -1 || imageWidth <= 0 || imageHeight <= 0 || windowWidth <= 0 || windowHeight <= 0)
        return Rect{};
    const auto x = [&](int v) { return static_cast<int>(int64_t(v) * windowWidth / imageWidth); };
    const auto y = [&](int v) { return static_cast<int>(int64_t(v) * windowHeight / imageHeight); };
    return MakeRect(y(bounds.top), x(bounds.left), y(bounds.bottom), x(bounds.right));
}

void FrameOperationsBoundRect()
{
    Canvas* canvas = ContentCanvas(gFrameInspectorWindow);
    if (!canvas)
        return;
    QImage& image = canvas->Image();
    const Rect r =
        BoundsRectInWindow(gOperationBoundsRect, gImageDim.Width(), gImageDim.Height(), image.width(), image.height());
    if (r.IsEmpty())
        return;
    FrameCanvasRectGreyPattern(image, QRect(r.left, r.top, r.Width(), r.Height()));
}

void UpdateFrameInspectorWindow(int index)
{
    Canvas* canvas = ContentCanvas(gFrameInspectorWindow);
    const int n = FrameCount();
    if (!canvas || n == 0)
        return; // the old content stays
    if (gLockFrameInspectorWindowToFrameOne)
        index = 0;
    if (index >= n || index < kInspectorHotPixelMask)
        index = kInspectorNothing;
    if (index == kInspectorHotPixelMask)
        DrawMask(*canvas, sHotPixelSource);
    else if (index == kInspectorThresholdMask)
        DrawMask(*canvas, sThresholdSource);
    else if (index == kInspectorNothing)
        DrawInstruction(*canvas);
    else if (Frame* frame = FrameAt(index))
        DrawClip(*canvas, *frame);
    canvas->Flush();
}

void DrawFrameInspectorWindow()
{
    InspectorChoice c;
    c.hotPixelPreview = Active(sHotPixelSource);
    c.thresholdDialog = Active(sThresholdSource);
    c.tempSelection = gTempSelectionIndex;
    c.persistentCount = static_cast<int>(gPersistantSelectionIndices.size());
    c.singlePersistent = c.persistentCount == 1 ? gPersistantSelectionIndices.front() : -1;
    c.lockToFirst = gLockFrameInspectorWindowToFrameOne;
    UpdateFrameInspectorWindow(ChooseInspectorIndex(c));
}

void InstallFrameInspector()
{
    ShellHooks& hooks = GetShellHooks();
    hooks.drawFrameInspectorWindow = [] { DrawFrameInspectorWindow(); };
    hooks.updatePixelReadout = [] { UpdatePixelColorWindowFromMouse(); };
    GetCommandOperations().resetCursor = [] { RestoreArrowCursor(); };
}
