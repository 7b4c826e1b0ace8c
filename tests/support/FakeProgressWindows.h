// tests/support/FakeProgressWindows.h: stands in for the jobs' progress
// window: records what jobs do with it and lets a test press Cancel.
#pragma once

#include <atomic>
#include <memory>

#include "shell/Jobs.h"

// Installs itself as the jobs' progress window; the destructor removes it.
// Main (test) thread only.
class FakeProgressWindows {
public:
    FakeProgressWindows();
    ~FakeProgressWindows();
    FakeProgressWindows(const FakeProgressWindows&) = delete;
    FakeProgressWindows& operator=(const FakeProgressWindows&) = delete;

    // The next window fails to open with std::bad_alloc.
    void FailNextOpen() { mFailNext = true; }
    // The user's Cancel: status 2, and the window goes at once.
    void Cancel();

    bool IsOpen() const { return mOpen; }
    int Opened() const { return mOpened; }
    int Steps() const { return mSteps; }
    int LastTotal() const { return mLastTotal; }
    // The status of the last window opened (null before any).
    std::shared_ptr<const std::atomic<int>> LastStatus() const { return mStatus; }

private:
    class Window;
    std::unique_ptr<JobProgressWindow> Open(int total);

    bool mFailNext = false;
    bool mOpen = false;
    int mOpened = 0;
    int mSteps = 0;
    int mLastTotal = 0;
    std::shared_ptr<std::atomic<int>> mStatus;
};
