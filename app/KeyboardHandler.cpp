// app/KeyboardHandler.cpp: the key bindings of the main windows.
#include "app/KeyboardHandler.h"

#include <algorithm>

#include "shell/AlignmentModes.h"
#include "engine/ClipViewWindow.h"
#include "shell/InputActions.h"
#include "app/MainWindows.h"
#include "shell/PointerInput.h"
#include "shell/ShellHooks.h"
#include "shell/WorkingDialog.h"
#include "engine/ClipsWindow.h"
#include "engine/ClipsWindowLayout.h"
#include "engine/FrameList.h"
#include "engine/Selection.h"
#include "platform/core/UserInteraction.h"
#include "platform/qt/Modifiers.h"
#include "platform/qt/ShellWindow.h"

namespace {

bool AnyClipSelected()
{
    return gTempSelectionIndex != -1 || !gPersistantSelectionIndices.empty();
}

// The commands that change clips or the stack are refused with one beep
// while a dialog that reads them is open. Returns true when refused.
bool RefusedUnderDialog()
{
    if (!clipChangesBlocked())
        return false;
    SysBeep();
    return true;
}

void PressModeKey(char key)
{
    AlignmentModes modes; // a press turns the other modes off
    if (key >= '1' && key <= '3')
        modes.autoAlignmentSearchSize = key - '1';
    else if (key == '4')
        modes.alignByCentroid = true;
    else if (key == '5')
        modes.alignByCrossCorrelation = true;
    else
        modes.autoRotationalAlignmentSearchSize = key - '6';
    SetAlignmentModes(modes);
}

void PageClipsWindow(char key)
{
    const int numClips = static_cast<int>(gFrames.size());
    const int first = PagedFirstClip(key, gClipWindowFirstClip, gNumClipsPerClipWindowPage, numClips);
    if (first == gClipWindowFirstClip) {
        SysBeep();
        return;
    }
    gClipWindowFirstClip = first;
    DrawClipsWindow();
}

// A batch dialog needs a selection; without one the key beeps.
void OpenBatchDialog(const std::function<void()>& open)
{
    if (!AnyClipSelected()) {
        SysBeep();
        return;
    }
    if (RefusedUnderDialog())
        return;
    RunInputAction(open);
}

} // namespace

bool KeyboardAcceptsPresses()
{
    return IsMainWindow(FrontWindow()) && !IsJobRunning();
}

int NudgeLevel(int modifiers)
{
    return (modifiers & kShiftKeyBit ? 1 : 0) + (modifiers & kControlKeyBit ? 1 : 0) +
           (modifiers & kOptionKeyBit ? 1 : 0);
}

int PagedFirstClip(char key, int first, int perPage, int numClips)
{
    switch (key) {
    case '[':
        return std::max(0, first - perPage / 2);
    case ']':
        return std::max(0, std::min(first + perPage / 2, numClips - perPage));
    case '{':
        return std::max(0, first - perPage);
    case '}':
        return std::max(0, std::min(first + perPage, numClips - perPage));
    default:
        return first;
    }
}

void KeyboardHandlerKeyDown(char key, bool repeat, int modifiers)
{
    if (!KeyboardAcceptsPresses())
        return;
    const InputActions& actions = GetInputActions();
    const bool arrow = key >= kLeftArrowKey && key <= kDownArrowKey;
    const bool letterOrDigit = (key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z') || (key >= 'a' && key <= 'z');
    // A Command shortcut on the same letter must not also delete clips or
    // choose the reference.
    if (letterOrDigit && (modifiers & kCmdKeyBit))
        return;
    if (arrow) {
        if (RefusedUnderDialog())
            return;
        if (FrontWindow() == gFrameStackWindow)
            RunInputAction(actions.nudgeStack, key);
        else
            RunInputAction(actions.nudgeAlignment, key, repeat, NudgeLevel(modifiers));
        return;
    }
    switch (key) {
    case ' ':
        gLockFrameInspectorWindowToFrameOne = true;
        UpdateFrameInspectorWindow(0);
        break;
    case '1':
    case '2':
    case '3':
    case '4':
    case '5':
    case '6':
    case '7':
    case '8':
        PressModeKey(key);
        break;
    case 'B':
        OpenBatchDialog(actions.openDebayerDialog);
        break;
    case 'b':
        if (!RefusedUnderDialog())
            RunInputAction(actions.unDebayer);
        break;
    case 'D':
    case 'd':
        if (!repeat && !RefusedUnderDialog())
            RunInputAction(actions.deleteFrames);
        break;
    case 'R':
    case 'r':
        if (!repeat && !RefusedUnderDialog())
            RunInputAction(actions.setReferenceFrame);
        break;
    case 'M':
    case 'm':
        OpenBatchDialog(actions.openMedianFilterDialog);
        break;
    case 'N':
    case 'n':
        OpenBatchDialog(actions.openNormalizeDialog);
        break;
    case 'Z':
    case 'z':
        if (!RefusedUnderDialog())
            RunInputAction(actions.nudgeRotation, true, repeat, key == 'Z');
        break;
    case 'X':
    case 'x':
        if (!RefusedUnderDialog())
            RunInputAction(actions.nudgeRotation, false, repeat, key == 'X');
        break;
    case '[':
    case ']':
    case '{':
    case '}':
        PageClipsWindow(key);
        break;
    default:
        break;
    }
}

void KeyboardHandlerKeyUp(char key)
{
    if (key == ' ') {
        gLockFrameInspectorWindowToFrameOne = false;
        // During a job the inspector catches up at the next hover or redraw.
        if (!IsJobRunning())
            UpdateFrameInspectorWindow(-1);
        return;
    }
    if (key < '1' || key > '8')
        return;
    AlignmentModes modes = CurrentAlignmentModes();
    ReleaseModeKey(modes, key);
    SetAlignmentModes(modes);
    // The progress window puts back the modes it saved when it goes: they
    // must not bring back a mode whose key is up.
    WorkingDialog::NoteModeKeyReleased(key);
}
