// platform/core/MainThread.cpp: main-thread identity and the task poster.
#include "platform/core/MainThread.h"

#include <mutex>
#include <thread>
#include <utility>

namespace {

// Static initialisation runs on the main thread, before any worker exists.
const std::thread::id sMainThreadId = std::this_thread::get_id();

std::mutex sPosterMutex;      // guards sPoster
MainThreadPoster sPoster;     // guarded by sPosterMutex

}  // namespace

bool IsMainThread()
{
    return std::this_thread::get_id() == sMainThreadId;
}

void SetMainThreadPoster(MainThreadPoster poster)
{
    std::lock_guard<std::mutex> lock(sPosterMutex);
    sPoster = std::move(poster);
}

bool RunOnMainThread(std::function<void()> task)
{
    if (IsMainThread()) {
        task();
        return true;
    }
    MainThreadPoster poster;
    {
        std::lock_guard<std::mutex> lock(sPosterMutex);
        poster = sPoster;
    }
    if (!poster)
        return false;
    poster(std::move(task));
    return true;
}
