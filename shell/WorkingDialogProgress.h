// shell/WorkingDialogProgress.h: a job's progress window shown as the
// program's progress window (WorkingDialog).
#pragma once

#include <memory>

#include "shell/Jobs.h"

// Opens a WorkingDialog of total steps with Cancel (arrow keys do not end it)
// and makes it gWorkingDialog. The job owns it: it steps and deletes it only
// while gWorkingDialog is still this window (Cancel deletes it at once, and
// another operation may have put up its own since). Throws std::bad_alloc
// with no window left. Main thread only.
std::unique_ptr<JobProgressWindow> OpenWorkingDialogProgress(int total);
// The same window without Cancel ("WorkingWithoutButton").
std::unique_ptr<JobProgressWindow> OpenWorkingDialogProgressWithoutCancel(int total);
