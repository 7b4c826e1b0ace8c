// shell/QtMainThreadQueue.cpp: the Qt event loop as the jobs' main-thread queue.
#include "shell/QtMainThreadQueue.h"

#include <deque>

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include "shell/JobEvents.h"
#include "shell/Jobs.h"
#include "shell/MainThreadQueue.h"
#include "shell/ModalDialogs.h"
#include "shell/WorkingDialogProgress.h"
#include "platform/qt/MouseTracking.h"

namespace {

// One event type for all six kinds; the job event travels inside it.
class JobQEvent final : public QEvent {
public:
    static QEvent::Type TypeId()
    {
        static const QEvent::Type sType = static_cast<QEvent::Type>(QEvent::registerEventType());
        return sType;
    }
    explicit JobQEvent(const JobEvent& ev) : QEvent(TypeId()), mEvent(ev) {}
    const JobEvent& Event() const { return mEvent; }

private:
    JobEvent mEvent;
};

// Events that came during a drag, oldest first; once any are held, later
// ones queue behind them so the order stays that of posting.
std::deque<JobEvent> sHeld;
bool sReplaying = false;

void ReplayHeldJobEvents()
{
    if (sReplaying)
        return; // the outer replay hands on what an action let in
    sReplaying = true;
    while (!sHeld.empty() && !IsTrackingMouse()) {
        const JobEvent ev = sHeld.front();
        sHeld.pop_front();
        HandleJobEvent(ev);
    }
    sReplaying = false;
}

// Lives on the main thread; receives every job event.
class JobEventDispatcher final : public QObject {
protected:
    void customEvent(QEvent* event) override
    {
        if (event->type() != JobQEvent::TypeId())
            return;
        const JobEvent& ev = static_cast<JobQEvent*>(event)->Event();
        if (!IsTrackingMouse() && sHeld.empty()) {
            HandleJobEvent(ev);
            return;
        }
        sHeld.push_back(ev);
        ReplayHeldJobEvents();
    }
};

// postEvent is thread-safe and keeps the posting order of events of equal
// priority, which the end of a job relies on (a worker's done event comes
// after its display events).
class QtMainThreadQueue final : public MainThreadQueue {
public:
    void post(const JobEvent& ev) override { QCoreApplication::postEvent(&mDispatcher, new JobQEvent(ev)); }

private:
    JobEventDispatcher mDispatcher;
};

} // namespace

void InstallQtJobEvents()
{
    static QtMainThreadQueue sQueue;
    SetMainThreadQueue(&sQueue);
    SetMouseTrackingEndedCallback(&ReplayHeldJobEvents);
    JobHooks& hooks = GetJobHooks();
    hooks.openProgressWindow = &OpenWorkingDialogProgress;
    hooks.openProgressWindowWithoutCancel = &OpenWorkingDialogProgressWithoutCancel;
    hooks.askWrongImageDim = &DoWrongImageDimDialog;
    InstallJobShellHooks();
}

int HeldJobEventsForTesting()
{
    return static_cast<int>(sHeld.size());
}
