// shell/ShellHooks.h: what the shell asks of the subsystems that own the
// document, the jobs and the dialogs. Each subsystem installs its hooks when
// it is built in; until then a query answers its neutral value (false) and an
// action does nothing. Main thread only.
#pragma once

#include <functional>

struct ShellHooks {
    // -- State queries (menu enabling, refusals) --
    // A job's workers are running (the job framework: gNumThreadsRemaining != 0).
    std::function<bool()> jobRunning;
    // The document has clips (the clip list is not empty).
    std::function<bool()> clipsExist;
    // The summed stack exists.
    std::function<bool()> stackExists;
    // The dark frame / the flat frame exists.
    std::function<bool()> darkFrameExists;
    std::function<bool()> flatFrameExists;
    // A clip is shown in the frame inspector: the temporary selection is set or
    // the persistent selection holds exactly one clip.
    std::function<bool()> inspectorShowsClip;
    // The temporary selection is set or the persistent selection is not empty.
    std::function<bool()> anyClipSelected;
    // A movie frame dialog is open (its clips must not be operated on meanwhile).
    std::function<bool()> movieDialogOpen;

    // -- Closing the document, in this order --
    // Destroy every clip, empty the clip list and the persistent selection
    // (swapped-out clips' temporary files included).
    std::function<void()> destroyClips;
    // Discard the summed stack.
    std::function<void()> deleteFrameStack;
    // Destroy the dark and flat frames and the hot-pixel mask.
    std::function<void()> releaseCalibration;
    // Temporary selection to -1, the clips window's first clip to 0.
    std::function<void()> resetClipsWindowState;

    // -- Redraws on activation --
    std::function<void()> drawClipsWindow;
    std::function<void()> drawFrameInspectorWindow;
    std::function<void()> drawFrameStackWindow;
    std::function<void()> drawDarkFrameWindow;
    std::function<void()> drawFlatFieldWindow;
    // Refresh the pixel-value readout for the mouse position.
    std::function<void()> updatePixelReadout;
};

// The installed hooks; subsystems set their fields at start-up.
ShellHooks& GetShellHooks();

// Calls a query hook; false when it is not installed.
bool AskShell(const std::function<bool()>& query);
// Calls an action hook when it is installed.
void TellShell(const std::function<void()>& action);

// Sets the menus' enabling from the program's state through the function the
// menu bar installs when it is built; nothing before. Call after every change
// of a job, a dialog, the clips, the stack or the bounds rectangle. Main
// thread only.
void UpdateMenuState();
// Installs that function (kept apart from the hook table, which tests reset).
void SetMenuStateUpdater(std::function<void()> update);

// The state predicates the menus and refusals are computed from.
bool IsJobRunning();
bool ClipsExist();
bool StackExists();

// Dialogs register themselves while open, so that menus and commands know a
// dialog is up (DoModalDialog's windows are not counted: they are modal).
void NoteDialogOpened();
void NoteDialogClosed();
// True while any dialog is open: the registered count, any file, tool or
// batch dialog (the pointers of DialogPointers.h) or the sort-by-spectrum dialog.
bool IsDialogOpen();

// True while clips and the stack must not change under an open dialog: any
// dialog that reads them when it ends, or the sort-by-spectrum dialog.
bool clipChangesBlocked();
