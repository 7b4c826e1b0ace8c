// app/ClipsWindowMouse.cpp: the clips window's click rules and hover.
#include "app/ClipsWindowMouse.h"

#include "shell/Alerts.h"
#include "shell/InputActions.h"
#include "app/MainWindows.h"
#include "engine/PixelReadout.h"
#include "shell/ShellHooks.h"
#include "engine/ClipsWindow.h"
#include "engine/Selection.h"
#include "platform/core/UserInteraction.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/Modifiers.h"
#include "platform/qt/ShellWindow.h"

namespace {

bool AnyModeHeld(const AlignmentModes& m)
{
    return m.autoAlignmentSearchSize >= 0 || m.alignByCentroid || m.alignByCrossCorrelation ||
           m.autoRotationalAlignmentSearchSize >= 0;
}

ClipClick ModeAlignment(const AlignmentModes& m)
{
    if (m.autoAlignmentSearchSize >= 0)
        return ClipClick::alignByDifference;
    if (m.alignByCentroid)
        return ClipClick::alignByCentroid;
    if (m.alignByCrossCorrelation)
        return ClipClick::alignByCrossCorrelation;
    return ClipClick::alignRotationally;
}

bool ChangesClips(ClipClick click)
{
    return click != ClipClick::nothing && click != ClipClick::addRemoveSelection;
}

void LeftImageWindows()
{
    if (!permitClipUpdates())
        return;
    if (gTempSelectionIndex != -1)
        EraseTempSelection();
    UpdatePixelColorWindowFromMouse(); // hides the readout: no image window is under the mouse
}

void HoverImageWindow(ShellWindow* window)
{
    if (window == gFrameInspectorWindow && !permitClipUpdates())
        return;
    UpdatePixelColorWindowFromMouse();
    if (gTempSelectionIndex != -1)
        EraseTempSelection();
}

} // namespace

ClipClick ClipsWindowClickAction(int modifiers, const AlignmentModes& modes)
{
    const bool command = modifiers & kCmdKeyBit;
    const bool shift = modifiers & kShiftKeyBit;
    const bool option = modifiers & kOptionKeyBit;
    const bool control = modifiers & kControlKeyBit;
    const bool plain = !option && !control && !shift;
    const bool mode = AnyModeHeld(modes);
    if (plain && !mode)
        return ClipClick::toggleInclusion;
    if (plain && !command && mode)
        return ModeAlignment(modes);
    if (option && !control && !shift && !command)
        return ClipClick::clearAlignment;
    if (option)
        return ClipClick::nothing;
    if (shift && !control)
        return ClipClick::addRemoveSelection;
    if (!control)
        return ClipClick::nothing;
    return shift ? ClipClick::divideFlatFrame : ClipClick::subtractDarkFrame;
}

void ClipsWindowMouseDown(int modifiers, QPoint press)
{
    if (IsJobRunning())
        return;
    if ((modifiers & kShiftKeyBit) && !(modifiers & (kOptionKeyBit | kControlKeyBit)))
        RunInputAction(GetInputActions().addRemoveSelection, (modifiers & kCmdKeyBit) != 0, press);
}

void ClipsWindowMouseUp(int modifiers, std::optional<QPoint> release)
{
    if (IsJobRunning())
        return;
    // The clip under the release, also when the moves before it are still
    // to come.
    if (release)
        UpdateSelectedFrameClipFromMouse(release);
    const ClipClick click = ClipsWindowClickAction(modifiers, CurrentAlignmentModes());
    if (ChangesClips(click) && clipChangesBlocked()) {
        SysBeep();
        return;
    }
    const bool command = modifiers & kCmdKeyBit;
    const InputActions& a = GetInputActions();
    switch (click) {
    case ClipClick::toggleInclusion:
        RunInputAction(a.toggleInclusion, command);
        break;
    case ClipClick::alignByDifference:
        RunInputAction(a.alignByDifference);
        break;
    case ClipClick::alignByCentroid:
        RunInputAction(a.alignByCentroid);
        break;
    case ClipClick::alignByCrossCorrelation:
        RunInputAction(a.alignByCrossCorrelation);
        break;
    case ClipClick::alignRotationally:
        RunInputAction(a.alignRotationally);
        break;
    case ClipClick::clearAlignment:
        RunInputAction(a.clearAlignment);
        break;
    case ClipClick::subtractDarkFrame:
        RunInputAction(a.subtractDarkFrame, command);
        break;
    case ClipClick::divideFlatFrame:
        RunInputAction(a.divideFlatFrame, command);
        break;
    case ClipClick::addRemoveSelection: // the press did it
    case ClipClick::nothing:
        break;
    }
}

void InstallMainWindowMouse()
{
    Canvas* clips = ContentCanvas(gClipsWindow);
    clips->SetPressHandler([](QPoint p, Qt::KeyboardModifiers m) { ClipsWindowMouseDown(ProgramModifiers(m), p); });
    clips->SetReleaseHandler([](QPoint p, Qt::KeyboardModifiers m) { ClipsWindowMouseUp(ProgramModifiers(m), p); });
    clips->SetMoveHandler([](QPoint p, Qt::KeyboardModifiers) {
        if (!IsJobRunning() && permitClipUpdates())
            UpdateSelectedFrameClipFromMouse(p);
    });
    clips->SetLeaveHandler([] { LeftImageWindows(); });
    for (ShellWindow* window : {gFrameInspectorWindow, gFrameStackWindow, gDarkFrameWindow, gFlatFrameWindow}) {
        Canvas* canvas = ContentCanvas(window);
        canvas->SetMoveHandler([window](QPoint, Qt::KeyboardModifiers) { HoverImageWindow(window); });
        canvas->SetLeaveHandler([] { LeftImageWindows(); });
    }
}
