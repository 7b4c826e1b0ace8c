// shell/InputActions.h: the commands that keys and clicks in the main windows
// reach, gathered in one table. Each entry is set at start-up to the
// operation that does the work; an operation not built into this program yet
// stays unset and its key or click then does nothing. Tests replace entries
// to see which command an input chose. Main thread only.
#pragma once

#include <functional>
#include <utility>

#include <QPoint>

struct InputActions {
    // -- Clicks in the clips window --
    std::function<void(bool setAll)> toggleInclusion;
    std::function<void()> alignByDifference;
    std::function<void()> alignByCentroid;
    std::function<void()> alignByCrossCorrelation;
    std::function<void()> alignRotationally;
    std::function<void()> clearAlignment;
    std::function<void(bool sameAction, QPoint press)> addRemoveSelection;
    // The dark-frame and flat-frame jobs over the selection (force: Command
    // held); set with the dark and flat commands (InstallCalibrationFrameFiles).
    std::function<void(bool force)> subtractDarkFrame;
    std::function<void(bool force)> divideFlatFrame;
    // -- Keys --
    std::function<void(char key, bool repeat, int level)> nudgeAlignment;
    std::function<void(char key)> nudgeStack;
    // negative ("z"/"Z"), repeat, big (the capital letter)
    std::function<void(bool negative, bool repeat, bool big)> nudgeRotation;
    std::function<void()> deleteFrames;
    std::function<void()> setReferenceFrame;
    // Taking the demosaicing off the selected clips, and the batch dialogs
    // (each opens its dialog; out of memory: the alert and no dialog). Not set
    // until the demosaicing and batch-dialog commands are built in.
    std::function<void()> unDebayer;
    std::function<void()> openDebayerDialog;
    std::function<void()> openMedianFilterDialog;
    std::function<void()> openNormalizeDialog;
};

InputActions& GetInputActions();

// InstallInputActions (app/MainWindowInput.h) sets the entries at start-up;
// the engine and the file commands set theirs when they are installed.

// Calls an entry when it is set.
template <typename F, typename... Args>
void RunInputAction(const std::function<F>& action, Args&&... args)
{
    if (action)
        action(std::forward<Args>(args)...);
}
