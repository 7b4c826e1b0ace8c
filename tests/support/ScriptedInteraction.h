// tests/support/ScriptedInteraction.h: a user interaction that answers alerts
// from a script and records every alert and beep, with the thread it came on.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/core/UserInteraction.h"

class ScriptedInteraction final : public UserInteraction {
public:
    struct Shown {
        AlertRequest request;
        std::thread::id thread;
    };

    // Installs itself; the destructor restores the silent default.
    ScriptedInteraction();
    ~ScriptedInteraction() override;

    // Answers for the coming alerts, in order (true = default button). When
    // the script runs out, alerts are answered false (cancel).
    void Answer(bool answer);

    bool RunAlert(const AlertRequest& request) override;
    void Beep() override;

    // Answers for the coming file dialogs, in order (empty = the user
    // cancelled). When the script runs out, file dialogs are cancelled.
    void AnswerFileDialog(std::vector<std::string> paths);
    std::vector<std::string> RunFileDialog(const FileDialogRequest& request) override;
    std::vector<FileDialogRequest> FileDialogs() const;

    std::vector<Shown> Alerts() const;
    int AlertCount() const;
    int BeepCount() const;

private:
    mutable std::mutex mMutex;  // guards everything below
    std::deque<bool> mAnswers;
    std::vector<Shown> mShown;
    int mBeeps = 0;
    std::deque<std::vector<std::string>> mFileAnswers;
    std::vector<FileDialogRequest> mFileDialogs;
};

// A main-thread poster that queues tasks until the test drains them on its own
// thread. Installs itself; the destructor removes it.
class TestMainThreadQueue {
public:
    TestMainThreadQueue();
    ~TestMainThreadQueue();
    // Runs every queued task (and tasks they queue) on the calling thread;
    // returns how many ran.
    int Drain();

private:
    std::mutex mMutex;  // guards mTasks
    std::deque<std::function<void()>> mTasks;
};
