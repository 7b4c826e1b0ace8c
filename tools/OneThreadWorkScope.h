// tools/OneThreadWorkScope.h: long filter work on the main thread with one
// worker configured (the work shares the FFT tables and scratch images with
// the jobs) and, on request, a progress window of its own without Cancel.
#pragma once

#include <memory>

class WorkingDialog;

// Both the thread count and the progress window are put back however the
// work ends, also when memory runs out half way. When another progress
// window is already open it is stepped but never deleted.
class OneThreadWorkScope {
public:
    OneThreadWorkScope(int steps, bool showProgress);
    ~OneThreadWorkScope();
    OneThreadWorkScope(const OneThreadWorkScope&) = delete;
    OneThreadWorkScope& operator=(const OneThreadWorkScope&) = delete;

    // After step k: the bar to k, and pending repaints let through (input
    // waits, so nothing can change the stack meanwhile).
    void Step(int k);
    // Whether this scope opened the progress window it steps.
    bool OwnsProgress() const { return mOwn != nullptr; }
    // Closes this scope's own progress window early.
    void CloseProgress();

private:
    int mThreads;
    std::unique_ptr<WorkingDialog> mOwn;
};
