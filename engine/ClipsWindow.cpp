// engine/ClipsWindow.cpp: the clips window's layout, drawing, hover and
// selection commands.
#include "engine/ClipsWindow.h"

#include <algorithm>
#include <cstdlib>
#include <cmath>
#include <cstdio>
#include <new>
#include <vector>

#include <QColor>
#include <QImage>

#include "shell/Alerts.h"
#include "shell/CommandOperations.h"
#include "engine/ClipViewWindow.h"
#include "shell/MainWindowSet.h"
#include "shell/Preferences.h"
#include "shell/PointerInput.h"
#include "shell/ShellHooks.h"
#include "shell/ShellSettings.h"
#include "shell/WindowGeometry.h"
#include "engine/ClipSelection.h"
#include "engine/ClipsWindowLayout.h"
#include "engine/Frame.h"
#include "engine/FrameList.h"
#include "shell/ImageDim.h"
#include "engine/Selection.h"
#include "engine/SummedStack.h"
#include "platform/core/UserInteraction.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/CanvasDrawing.h"
#include "platform/qt/ShellWindow.h"

namespace {

int sRenderRequests = 0;

const QColor kWhite(255, 255, 255);
const QColor kRed(255, 0, 0);
const QColor kYellow(255, 255, 0);
const QColor kCyan(0, 255, 255);
const QColor kPersistantFrame(0xC0, 0xC0, 0); // RGB 0xC000, 0xC000, 0

Canvas* ClipsCanvas()
{
    return ContentCanvas(gClipsWindow);
}

// The content's size: the canvas's own while shown, else the size last asked for.
QSize ContentSize()
{
    if (!gClipsWindow)
        return QSize(CurrentClipsGrid().contentWidth, CurrentClipsGrid().contentHeight);
    Canvas* canvas = ClipsCanvas();
    if (canvas && gClipsWindow->isVisible())
        return canvas->size();
    return gClipsWindow->ContentSize();
}

QRect ToQRect(const Rect& r)
{
    return QRect(r.left, r.top, r.Width(), r.Height());
}

void FlushClips()
{
    if (Canvas* canvas = ClipsCanvas())
        canvas->Flush();
}

// The clip under the mouse in the clips window (at a mouse event's position,
// or the pointer's now), -1 for none (outside the content, between slots
// past the grid, past the clips, or under another window).
int ClipUnderMouse(std::optional<QPoint> at, bool* outside = nullptr)
{
    Canvas* canvas = ClipsCanvas();
    const QPoint p = at ? *at : MousePositionIn(canvas);
    const QSize size = ContentSize();
    const bool out = p.x() < 0 || p.y() < 0 || p.x() >= size.width() || p.y() >= size.height();
    if (outside)
        *outside = out;
    if (out || MouseCoveredAt(canvas))
        return -1;
    return ClipIndexAtPoint(MakePoint(p.y(), p.x()), size.width(), size.height(), FrameCount());
}

void ShowInInspector(int clip)
{
    UpdateFrameInspectorWindow(clip);
}

// After a selection change: the inspector shows the selection rule's clip.
void ShowSelectionInInspector()
{
    ShowInInspector(SelectionInspectorIndex());
}

// Redraws the clips of the current page; the others draw when paged in.
void RedrawPage()
{
    const int n = FrameCount();
    const int end = std::min(n, gClipWindowFirstClip + gNumClipsPerClipWindowPage);
    for (int i = std::max(0, gClipWindowFirstClip); i < end; ++i)
        DrawFrameClipAt(i, false);
    FlushClips();
}

} // namespace

// ---------------------------------------------------------------- layout

bool FitClipsWindowToNumFrames(bool force)
{
    const int n = FrameCount();
    if (n == 0)
        return false;
    if (gImageDim.IsEmpty()) {
        if (!force && gClipsWindow)
            gClipsWindow->SetContentSize(1, 1);
        return false;
    }
    const ClipsGrid old = CurrentClipsGrid();
    const QSize content = gClipsWindow ? gClipsWindow->ContentSize() : QSize(old.contentWidth, old.contentHeight);
    if (!force && content.width() == old.contentWidth && content.height() == old.contentHeight)
        return false;

    SetMaxClipDim(gImageDim);
    Rect screen;
    getMaxWindowDim(gClipsWindow, screen);

    ClipsLayoutInput in;
    in.imageWidth = gImageDim.Width();
    in.imageHeight = gImageDim.Height();
    in.maxClipSide = gMaxClipWidthOrHeight;
    in.contentWidth = content.width();
    in.contentHeight = content.height();
    in.maxContentHeight = screen.Height() - kTitleBarAllowance;
    in.preferredWidth = LoadClipsWindowWidthPreference();
    in.numClips = n;
    const ClipsLayout layout = ComputeClipsLayout(in);

    gClipDim = layout.clipDim;
    gClipWindowFirstClip = 0;
    gNumClipsPerClipWindowPage = layout.page;
    SetCurrentClipsGrid(ClipsGrid{layout.columns, layout.rows, layout.contentWidth, layout.contentHeight});
    if (gClipsWindow && (content.width() != layout.contentWidth || content.height() != layout.contentHeight))
        gClipsWindow->SetContentSize(layout.contentWidth, layout.contentHeight);
    return layout.columns != old.columns;
}

Rect FindClipRectFromFrameIndex(int clip)
{
    return ClipRectForIndex(clip, ContentSize().width());
}

// ---------------------------------------------------------------- drawing

std::string FormatClipScore(double score)
{
    if (!std::isfinite(score))
        return std::isnan(score) ? "NaN" : (score < 0 ? "-inf" : "inf");
    // Beyond the integer range the digits after the point mean nothing.
    if (std::fabs(score) >= 1e15) {
        char big[32];
        std::snprintf(big, sizeof big, "%.3g", score);
        return big;
    }
    std::string text;
    if (score < 0 && score > -1.0 && std::trunc(score * 1000.0) != 0)
        text = "-";
    if (std::fabs(score) >= 1.0)
        text = std::to_string(static_cast<long long>(std::trunc(score)));
    text += '.';
    for (double scale : {10.0, 100.0, 1000.0}) {
        const double digit = std::fabs(std::fmod(std::trunc(score * scale), 10.0));
        text += static_cast<char>('0' + static_cast<int>(digit));
    }
    return text;
}

void DrawFrameClip(Frame& frame, bool flush)
{
    Canvas* canvas = ClipsCanvas();
    const int index = frame.GetIndex();
    // Off-page clips are not rendered here: they render when drawn on their
    // page or when a job or the stack asks for them, with the same result.
    if (index < gClipWindowFirstClip || index >= gClipWindowFirstClip + gNumClipsPerClipWindowPage)
        return;
    const Rect slot = FindClipRectFromFrameIndex(index);
    if (slot.left == -1 || !canvas)
        return;
    // A worker may be reading or writing this clip during a job: draw the
    // thumbnail as it stands instead of rendering on the main thread.
    if (!IsJobRunning()) {
        ++sRenderRequests;
        try {
            frame.UpdateFrame(false);
        } catch (const std::bad_alloc&) {
            // The render showed its alert; the clip stays dirty and its old
            // thumbnail is drawn.
        }
    }
    frame.DrawClipImage(slot, canvas);

    QImage& image = canvas->Image();
    const int l = slot.left, t = slot.top, r = slot.right, b = slot.bottom;
    if (!frame.GetSumStackIncluded()) {
        DrawCanvasLine(image, l + 3, t + 3, r - 4, b - 4, kRed);
        DrawCanvasLine(image, r - 4, t + 3, l + 3, b - 4, kRed);
    }
    DrawCanvasText(image, l + 3, t + 11, std::to_string(index + 1), CanvasFont::monaco9, kWhite);
    DrawCanvasText(image, l + 3, b - 3, FormatClipScore(frame.GetScore()), CanvasFont::monaco9, kWhite);
    if (frame.GetDebayerized())
        DrawCanvasText(image, r - 28, t + 11, "B", CanvasFont::monaco9, kWhite);
    if (frame.GetDarkFrameSubtracted())
        DrawCanvasText(image, r - 18, t + 11, "D", CanvasFont::monaco9, kWhite);
    if (frame.GetFlatFrameDivided())
        DrawCanvasText(image, r - 8, t + 11, "F", CanvasFont::monaco9, kWhite);
    if (frame.GetResidency() == Frame::Residency::OnDisk)
        DrawCanvasText(image, r - 8, t + 21, "X", CanvasFont::monaco9, kWhite);
    if (index == gTempSelectionIndex)
        FrameCanvasRect(image, ToQRect(slot), 2, kYellow);
    if (IsPersistantlySelected(index))
        FrameCanvasRect(image, ToQRect(slot).adjusted(3, 3, -3, -3), 1, kPersistantFrame);
    const int middle = (t + b) / 2;
    if (markMoreClipsBehind(index)) {
        DrawCanvasText(image, l + 3, middle, "<- MORE", CanvasFont::monaco9, kCyan);
        flush = true;
    }
    if (markMoreClipsAhead(index, FrameCount())) {
        const std::string more = "MORE ->";
        DrawCanvasText(image, r - 3 - CanvasTextWidth(more, CanvasFont::monaco9), middle, more, CanvasFont::monaco9,
                       kCyan);
        flush = true;
    }
    if (flush)
        canvas->Flush();
}

void DrawFrameClipAt(int clip, bool flush)
{
    if (Frame* frame = FrameAt(clip))
        DrawFrameClip(*frame, flush);
}

void MarkWorkingClip(int clip)
{
    Canvas* canvas = ClipsCanvas();
    const Rect slot = FindClipRectFromFrameIndex(clip);
    if (!canvas || slot.left == -1)
        return;
    FrameCanvasRect(canvas->Image(), ToQRect(slot), 4, kCyan);
    canvas->Flush();
}

void MarkFrameNotInMemory(int clip)
{
    Canvas* canvas = ClipsCanvas();
    const Rect slot = FindClipRectFromFrameIndex(clip);
    if (!canvas || slot.left == -1)
        return;
    DrawCanvasText(canvas->Image(), slot.right - 8, slot.top + 21, "X", CanvasFont::monaco9, kWhite);
}

void DrawClipsWindow()
{
    Canvas* canvas = ClipsCanvas();
    if (!canvas)
        return;
    canvas->Image().fill(Qt::black);
    const int n = FrameCount();
    for (int i = std::max(0, gClipWindowFirstClip); i < n && i < gClipWindowFirstClip + gNumClipsPerClipWindowPage; ++i)
        DrawFrameClipAt(i, false);
    canvas->Flush();
}

// ---------------------------------------------------------------- hover

void UpdateSelectedFrameClipFromMouse(std::optional<QPoint> at)
{
    const int n = FrameCount();
    // While a tool dialog reads the clips, hovering leaves the selection and
    // the inspector alone.
    if (n == 0 || !permitClipUpdates())
        return;
    bool outside = false;
    const int clip = ClipUnderMouse(at, &outside);
    if (outside) {
        if (gTempSelectionIndex != -1)
            EraseTempSelection();
        return;
    }
    if (clip == gTempSelectionIndex)
        return;
    const int previous = gTempSelectionIndex;
    gTempSelectionIndex = clip;
    if (previous != -1)
        DrawFrameClipAt(previous, false);
    if (clip == -1) {
        if (gPersistantSelectionIndices.size() == 1) {
            const int single = gPersistantSelectionIndices.front();
            DrawFrameClipAt(single, false);
            ShowInInspector(single);
        } else {
            ShowInInspector(-1);
        }
    } else {
        DrawFrameClipAt(clip, false);
        ShowInInspector(clip);
    }
    FlushClips();
}

void EraseTempSelection()
{
    const int previous = gTempSelectionIndex;
    gTempSelectionIndex = -1;
    if (previous >= 0 && previous < FrameCount())
        DrawFrameClipAt(previous, false);
    const int shown = SelectionInspectorIndex();
    if (shown >= 0)
        DrawFrameClipAt(shown, false);
    ShowInInspector(shown);
    FlushClips();
}

// ---------------------------------------------------------------- selection commands

void PersistantSelectNoFrames(bool redraw)
{
    const std::vector<int> previous = gPersistantSelectionIndices;
    ClearPersistantSelection();
    if (redraw) {
        for (int clip : previous)
            DrawFrameClipAt(clip, false);
        FlushClips();
    }
    ShowSelectionInInspector();
}

void PersistantSelectAllFrames()
{
    ClearPersistantSelection();
    const int n = FrameCount();
    for (int i = 0; i < n; ++i)
        AddPersistantSelection(i);
    RedrawPage();
    ShowSelectionInInspector();
}

void InvertPersistantSelectFrames()
{
    const int n = FrameCount();
    std::vector<bool> wasSelected(static_cast<std::size_t>(n), false);
    for (int clip : gPersistantSelectionIndices)
        if (clip >= 0 && clip < n)
            wasSelected[static_cast<std::size_t>(clip)] = true;
    ClearPersistantSelection();
    for (int i = 0; i < n; ++i)
        if (!wasSelected[static_cast<std::size_t>(i)])
            AddPersistantSelection(i);
    RedrawPage();
    ShowSelectionInInspector();
}

void PersistantSelectSumStackIncludedFrames()
{
    ClearPersistantSelection();
    const int n = FrameCount();
    for (int i = 0; i < n; ++i)
        if (Frame* frame = FrameAt(i); frame && frame->GetSumStackIncluded())
            AddPersistantSelection(i);
    RedrawPage();
    ShowSelectionInInspector();
}

void AddRemovePersistantSelectionFrame(bool sameAction, std::optional<QPoint> press)
{
    Canvas* canvas = ClipsCanvas();
    if (FrameCount() == 0)
        return;
    if (press)
        UpdateSelectedFrameClipFromMouse(press);
    const int pressed = gTempSelectionIndex;
    const bool addAction = pressed < 0 || !IsPersistantlySelected(pressed);
    int last = -1;
    auto handle = [&](std::optional<QPoint> at) {
        UpdateSelectedFrameClipFromMouse(at);
        const int clip = ClipUnderMouse(at);
        if (clip < 0 || clip == last)
            return;
        bool changed = false;
        if (sameAction) {
            if (addAction)
                changed = AddPersistantSelection(clip);
            else
                changed = RemovePersistantSelection(clip);
        } else {
            changed = IsPersistantlySelected(clip) ? RemovePersistantSelection(clip) : AddPersistantSelection(clip);
        }
        if (changed)
            DrawFrameClipAt(clip, true);
        last = clip;
    };
    // The press itself counts as the first position, so a Shift-click without
    // a move picks the clip.
    handle(press);
    QPoint previous = press ? *press : MousePositionIn(canvas);
    TrackMouseDrag(canvas, [&](QPoint p) {
        if (p == previous)
            return;
        // The window system merges the moves that pile up while the program
        // is busy: every clip on the way from the last position counts, as
        // if the moves had come one pixel or two apart.
        const QPoint from = previous;
        const int steps = std::max(std::abs(p.x() - from.x()), std::abs(p.y() - from.y())) / 2 + 1;
        for (int i = 1; i <= steps; ++i)
            handle(from + (p - from) * i / steps);
        previous = p;
    });
}

void ToggleFrameSumStackInclusion(bool setAll)
{
    if (clipChangesBlocked()) {
        // A filter or batch dialog works on the stack or the clips.
        SysBeep();
        return;
    }
    if (IsJobRunning())
        return;
    const int n = FrameCount();
    const int clip = gTempSelectionIndex;
    if (clip < 0 || clip >= n)
        return;
    if (!gPersistantSelectionIndices.empty() && !IsPersistantlySelected(clip))
        return;
    if (!gPersistantSelectionIndices.empty()) {
        const bool target = !FrameAt(clip)->GetSumStackIncluded();
        const std::vector<int> selection = gPersistantSelectionIndices;
        for (int s : selection) {
            Frame* frame = FrameAt(s);
            if (!frame)
                continue;
            frame->SetSumStackIncluded(setAll ? target : !frame->GetSumStackIncluded());
            DrawFrameClipAt(s, false);
            if (s == clip || selection.size() == 1)
                ShowInInspector(s);
        }
    } else {
        Frame* frame = FrameAt(clip);
        frame->SetSumStackIncluded(!frame->GetSumStackIncluded());
        DrawFrameClipAt(clip, false);
        ShowInInspector(clip);
    }
    FlushClips();
    DeleteFrameStack();
}

// ---------------------------------------------------------------- installation

void InstallClipsWindow()
{
    ShellHooks& hooks = GetShellHooks();
    hooks.drawClipsWindow = [] { DrawClipsWindow(); };
    hooks.resetClipsWindowState = [] {
        gTempSelectionIndex = -1;
        gClipWindowFirstClip = 0;
        ClearPersistantSelection();
        SetCurrentClipsGrid(ClipsGrid{});
    };
    hooks.inspectorShowsClip = [] { return gTempSelectionIndex != -1 || gPersistantSelectionIndices.size() == 1; };
    hooks.anyClipSelected = [] { return gTempSelectionIndex != -1 || !gPersistantSelectionIndices.empty(); };

    CommandOperations& ops = GetCommandOperations();
    ops.persistantSelectAllFrames = [] { PersistantSelectAllFrames(); };
    ops.persistantSelectNoFrames = [] { PersistantSelectNoFrames(true); };
    ops.invertPersistantSelectFrames = [] { InvertPersistantSelectFrames(); };
    ops.persistantSelectSumStackIncludedFrames = [] { PersistantSelectSumStackIncludedFrames(); };
    ops.relayoutClipsWindow = [] {
        FitClipsWindowToNumFrames(true);
        DrawClipsWindow();
    };
}

int ClipRenderRequestsForTesting()
{
    return sRenderRequests;
}

void ResetClipRenderRequestsForTesting()
{
    sRenderRequests = 0;
}
