// shell/WorkingDialog.h: the progress window: a bar of 200 steps, the number of
// threads at work and, optionally, Cancel. Its run status outlives it, so
// workers and long loops poll it without holding the window.
#pragma once

#include <atomic>
#include <memory>

#include "shell/AlignmentModes.h"

class QWidget;

// Run statuses.
enum WorkingStatus : int {
    kWorkingRunning = 0,
    kWorkingFinished = 1,  // deleted normally, or Reset
    kWorkingCancelled = 2, // Cancel
    // 3..6: ended by the left, right, up, down arrow; 7..10: the same with Shift.
    kWorkingArrowLeft = 3,
};

// The job's (or loop's) own status: changed only by its window's Cancel or
// arrow keys and by its owner. Workers read it from any thread.
using WorkingRunStatus = std::atomic<int>;

class WorkingDialog {
public:
    // Creates and shows the window ("WorkingWithButton" when withButton, else
    // "WorkingWithoutButton") with the thread count of gNumThreads. A total
    // below 1 counts as 1. The creator owns the window: it stores it in
    // gWorkingDialog and deletes it when its work ends, but only while
    // gWorkingDialog still points to it: Cancel and arrow endings delete the
    // window themselves (deferred). A window without Cancel whose arrow keys
    // do not end it never deletes itself and may live on its owner's stack.
    // Others may step a window they find open but never delete it or reset
    // the status; they check gWorkingDialog again before each step.
    // Main thread only.
    WorkingDialog(int total, bool withButton, bool arrowKeysEnd);
    ~WorkingDialog();
    WorkingDialog(const WorkingDialog&) = delete;
    WorkingDialog& operator=(const WorkingDialog&) = delete;

    // The most recent window's status (1 before any); any thread.
    static int GetLastDialogRunStatus();
    // Sets the last status to 1 (finished), so a poll without a window answers stop.
    static void Reset();

    // The bar shows min(200, max(0, current * 200 / total)); repaints only when that changes.
    void DrawWorkingDialogProgressBar();
    void DrawWorkingDialogProgressBar(int value);
    void IncrementValueAndDrawWorkingDialogProgressBar();

    // This window's own status, for the job that created it (its workers poll it).
    const WorkingRunStatus& RunStatus() const { return *mRunStatus; }
    std::shared_ptr<const WorkingRunStatus> SharedRunStatus() const { return mRunStatus; }

    // Records the release of an alignment-mode key ('1'..'8'): the mode ends
    // when the window goes. The key tracker calls it for every release while
    // a progress window exists, whatever window is in front.
    static void NoteModeKeyReleased(char key);

    // Ends the window as the user would: control 1000 (Cancel) or an arrow key
    // (Qt key code) with or without Shift. Cancel and arrow endings hide the
    // window at once, set gWorkingDialog to none and delete it later.
    // Returns true when the input was taken.
    bool HandleDialogItemHit(int id);
    bool HandleArrowKey(int qtKey, bool shift);

    QWidget* Window() const;
    int Total() const { return mTotal; }
    int Current() const { return mCurrent; }
    int BarValue() const;

private:
    void End(int status);
    void RestoreModes();

    class Impl;
    std::unique_ptr<Impl> mImpl;
    int mTotal;
    int mCurrent = 0;
    bool mWithButton;
    bool mArrowKeysEnd;
    int mShownBar = -1;
    bool mEnded = false;
    bool mModesRestored = false;
    AlignmentModes mSavedModes; // the modes as they will be when the window goes
    std::shared_ptr<WorkingRunStatus> mRunStatus;
};

// The progress window that exists, or none. Main thread only.
extern WorkingDialog* gWorkingDialog;
