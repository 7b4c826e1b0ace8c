// tools/OneThreadWorkScope.cpp: one worker and an own progress window for the
// duration of a filter's long work.
#include "tools/OneThreadWorkScope.h"

#include <new>

#include <QCoreApplication>
#include <QEventLoop>

#include "shell/ShellSettings.h"
#include "shell/WorkingDialog.h"

OneThreadWorkScope::OneThreadWorkScope(int steps, bool showProgress) : mThreads(gNumThreads)
{
    gNumThreads = 1;
    if (!showProgress || gWorkingDialog)
        return;
    try {
        mOwn = std::make_unique<WorkingDialog>(steps, false, false);
        gWorkingDialog = mOwn.get();
    } catch (const std::bad_alloc&) {
        // The work goes on without a window.
    }
}

OneThreadWorkScope::~OneThreadWorkScope()
{
    CloseProgress();
    gNumThreads = mThreads;
}

void OneThreadWorkScope::Step(int k)
{
    if (gWorkingDialog)
        gWorkingDialog->DrawWorkingDialogProgressBar(k);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void OneThreadWorkScope::CloseProgress()
{
    if (mOwn && gWorkingDialog == mOwn.get())
        gWorkingDialog = nullptr;
    mOwn.reset();
}
