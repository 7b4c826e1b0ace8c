// platform/core/StandardAlerts.cpp: standard alerts through the user-interaction
// interface.
#include "platform/core/StandardAlerts.h"

#include <atomic>
#include <cassert>

#include "platform/core/MainThread.h"
#include "platform/core/UserInteraction.h"

// Word for word: users and the documentation quote it.
const char* const kOutOfMemoryTitle = "Out of Memory Error";
const char* const kOutOfMemoryMessage =
    "There is not enough memory to complete the current operation.  You might consider:\n"
    "  - deleting some clips\n"
    "  - cropping the image dimensions\n"
    "  - quitting and giving the program more memory (OS 9)";

namespace {

// True from the moment an out-of-memory alert is requested until it closes.
std::atomic<bool> sOutOfMemoryPending{false};

bool RunAlert(int kind, const std::string& title, const std::string& message, const std::string& defaultText,
              const std::string& cancelText, bool hasCancel)
{
    assert(IsMainThread());
    UserInteraction& ui = GetUserInteraction();
    ui.Beep();
    AlertRequest request;
    request.kind = kind;
    request.title = title;
    request.message = message;
    request.defaultText = defaultText;
    request.cancelText = cancelText;
    request.hasCancel = hasCancel;
    return ui.RunAlert(request);
}

}  // namespace

bool DoStandardAlert(int kind, const std::string& title, const std::string& message, const std::string& defaultText,
                     const std::string& cancelText)
{
    return RunAlert(kind, title, message, defaultText, cancelText, true);
}

void DoStandardAlertNoCancel(int kind, const std::string& title, const std::string& message)
{
    RunAlert(kind, title, message, std::string(), std::string(), false);
}

void DoNotEnougMemoryForOperationDialog()
{
    bool expected = false;
    if (!sOutOfMemoryPending.compare_exchange_strong(expected, true))
        return;  // one is queued or open already
    const bool queued = RunOnMainThread([] {
        DoStandardAlertNoCancel(kAlertStop, kOutOfMemoryTitle, kOutOfMemoryMessage);
        sOutOfMemoryPending = false;
    });
    if (!queued)
        sOutOfMemoryPending = false;
}
