// tests/support/FakeProgressWindows.cpp: the recording progress window.
#include "tests/support/FakeProgressWindows.h"

#include <new>

class FakeProgressWindows::Window final : public JobProgressWindow {
public:
    Window(FakeProgressWindows& owner, std::shared_ptr<std::atomic<int>> status)
        : mOwner(owner), mStatus(std::move(status))
    {
    }
    ~Window() override
    {
        if (mOwner.mStatus == mStatus && mOwner.mOpen) {
            mOwner.mOpen = false;
            if (*mStatus == 0)
                *mStatus = 1;
        }
    }
    std::shared_ptr<const std::atomic<int>> Status() const override { return mStatus; }
    void Step() override
    {
        if (mOwner.mStatus == mStatus && mOwner.mOpen)
            ++mOwner.mSteps;
    }

private:
    FakeProgressWindows& mOwner;
    std::shared_ptr<std::atomic<int>> mStatus;
};

FakeProgressWindows::FakeProgressWindows()
{
    GetJobHooks().openProgressWindow = [this](int total) { return Open(total); };
}

FakeProgressWindows::~FakeProgressWindows()
{
    GetJobHooks().openProgressWindow = nullptr;
}

std::unique_ptr<JobProgressWindow> FakeProgressWindows::Open(int total)
{
    if (mFailNext) {
        mFailNext = false;
        throw std::bad_alloc();
    }
    mStatus = std::make_shared<std::atomic<int>>(0);
    mOpen = true;
    ++mOpened;
    mSteps = 0;
    mLastTotal = total;
    return std::make_unique<Window>(*this, mStatus);
}

void FakeProgressWindows::Cancel()
{
    if (!mOpen)
        return;
    *mStatus = 2;
    mOpen = false;
}
