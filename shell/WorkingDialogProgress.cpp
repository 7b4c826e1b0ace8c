// shell/WorkingDialogProgress.cpp: the job's view of its WorkingDialog.
#include "shell/WorkingDialogProgress.h"

#include "shell/WorkingDialog.h"

namespace {

class WorkingDialogProgress final : public JobProgressWindow {
public:
    WorkingDialogProgress(int total, bool withCancel)
    {
        auto dialog = std::make_unique<WorkingDialog>(total, withCancel, false);
        mStatus = dialog->SharedRunStatus();
        gWorkingDialog = dialog.release(); // owned by this object from here on, through mStatus
    }
    ~WorkingDialogProgress() override
    {
        if (Shown())
            delete gWorkingDialog; // its destructor sets gWorkingDialog to none
    }
    std::shared_ptr<const std::atomic<int>> Status() const override { return mStatus; }
    void Step() override
    {
        if (Shown())
            gWorkingDialog->IncrementValueAndDrawWorkingDialogProgressBar();
    }

private:
    // The window still open is this job's own (compared by its status, which
    // this object keeps alive, so no later window can share it).
    bool Shown() const { return gWorkingDialog && gWorkingDialog->SharedRunStatus() == mStatus; }

    std::shared_ptr<const WorkingRunStatus> mStatus;
};

} // namespace

std::unique_ptr<JobProgressWindow> OpenWorkingDialogProgress(int total)
{
    return std::make_unique<WorkingDialogProgress>(total, true);
}

std::unique_ptr<JobProgressWindow> OpenWorkingDialogProgressWithoutCancel(int total)
{
    return std::make_unique<WorkingDialogProgress>(total, false);
}
