// platform/core/MainThread.h: which thread is the main thread, and how other
// threads hand work to it.
#pragma once

#include <functional>

// True on the thread that ran the program's static initialisation (main).
bool IsMainThread();

// Runs task on the main thread: at once when called there, otherwise through
// the poster the application installed (the Qt event queue in the program, a
// queue the test drains in tests). Returns false, dropping the task, when no
// poster is installed. Any thread.
bool RunOnMainThread(std::function<void()> task);

// Installs the function that queues a task for the main thread. Called once at
// start-up (or by a test) before any worker runs; nullptr removes it.
using MainThreadPoster = std::function<void(std::function<void()>)>;
void SetMainThreadPoster(MainThreadPoster poster);
