// tests/support/ScriptedInteraction.cpp: the scripted responder and the test task queue.
#include "tests/support/ScriptedInteraction.h"

#include <utility>

#include "platform/core/MainThread.h"

ScriptedInteraction::ScriptedInteraction()
{
    SetUserInteraction(this);
}

ScriptedInteraction::~ScriptedInteraction()
{
    SetUserInteraction(nullptr);
}

void ScriptedInteraction::Answer(bool answer)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mAnswers.push_back(answer);
}

bool ScriptedInteraction::RunAlert(const AlertRequest& request)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mShown.push_back({request, std::this_thread::get_id()});
    if (mAnswers.empty())
        return false;
    const bool answer = mAnswers.front();
    mAnswers.pop_front();
    return answer;
}

void ScriptedInteraction::Beep()
{
    std::lock_guard<std::mutex> lock(mMutex);
    ++mBeeps;
}

void ScriptedInteraction::AnswerFileDialog(std::vector<std::string> paths)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mFileAnswers.push_back(std::move(paths));
}

std::vector<std::string> ScriptedInteraction::RunFileDialog(const FileDialogRequest& request)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mFileDialogs.push_back(request);
    if (mFileAnswers.empty())
        return {};
    std::vector<std::string> answer = std::move(mFileAnswers.front());
    mFileAnswers.pop_front();
    return answer;
}

std::vector<FileDialogRequest> ScriptedInteraction::FileDialogs() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mFileDialogs;
}

std::vector<ScriptedInteraction::Shown> ScriptedInteraction::Alerts() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mShown;
}

int ScriptedInteraction::AlertCount() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return static_cast<int>(mShown.size());
}

int ScriptedInteraction::BeepCount() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mBeeps;
}

TestMainThreadQueue::TestMainThreadQueue()
{
    SetMainThreadPoster([this](std::function<void()> task) {
        std::lock_guard<std::mutex> lock(mMutex);
        mTasks.push_back(std::move(task));
    });
}

TestMainThreadQueue::~TestMainThreadQueue()
{
    SetMainThreadPoster(nullptr);
}

int TestMainThreadQueue::Drain()
{
    int ran = 0;
    for (;;) {
        std::function<void()> task;
        {
            std::lock_guard<std::mutex> lock(mMutex);
            if (mTasks.empty())
                return ran;
            task = std::move(mTasks.front());
            mTasks.pop_front();
        }
        task();
        ++ran;
    }
}
