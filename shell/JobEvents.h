// shell/JobEvents.h: the main thread's handler of the events job workers post.
#pragma once

#include <cstdint>

#include "shell/MainThreadQueue.h"

// Acts on one job event (the custom-event handler; every event is taken):
// - the three clip events: the installed clipEvent hook of JobHooks (the
//   engine's, which acts for a clip in the list only);
// - a progress step: the job's own progress window, if it is still open;
// - a job done: counts the worker; the last one ends the job;
// - the wrong-size question: asks it, records 1 (accept) or 2 (reject) and
//   wakes the asking worker.
// A waiting display event releases its worker after the action, whatever
// the index. Main thread only.
void HandleJobEvent(const JobEvent& ev);

// Display events of slot posted but not yet acted on (0 when no job runs or
// the slot is not the running job's). Main thread only; for tests.
uint64_t JobDisplayPendingForTesting(uint32_t slot);
// Wakes slot's waiting worker without acknowledging anything, as a spurious
// wakeup would. Main thread only; for tests.
void WakeJobWorkerForTesting(uint32_t slot);
