// engine/FrameList.cpp: the clip list and its lock.
#include "engine/FrameList.h"

#include <new>

std::vector<std::unique_ptr<Frame>> gFrames;
std::mutex gFramesMutex;

Frame* FrameAt(int i)
{
    std::lock_guard<std::mutex> lock(gFramesMutex);
    if (i < 0 || static_cast<std::size_t>(i) >= gFrames.size())
        return nullptr;
    return gFrames[static_cast<std::size_t>(i)].get();
}

int FrameCount()
{
    std::lock_guard<std::mutex> lock(gFramesMutex);
    return static_cast<int>(gFrames.size());
}

int AppendFrame(std::unique_ptr<Frame> frame)
{
    std::lock_guard<std::mutex> lock(gFramesMutex);
    gFrames.push_back(std::move(frame));
    return static_cast<int>(gFrames.size()) - 1;
}

void RequireFirstClipRender()
{
    Frame* first = FrameAt(0);
    if (first && !first->GetModified(true))
        throw std::bad_alloc();
}
