// shell/QtMainThreadQueue.h: job events carried by the Qt event loop.
#pragma once

// Installs the program's job services, once, on the main thread after the
// QApplication exists: the Qt event queue as the jobs' queue (one QEvent
// type, posted to one main-thread dispatcher whose customEvent() is the job
// event handler; nested loops such as modal dialogs deliver them too), the
// progress window, the wrong-size question and the shell's "a job is
// running" question. The clip redraws are InstallJobDisplayActions's.
// While a mouse drag's loop runs, job events are held back and handed on in
// their order as soon as the drag ends, so a drag never sees a clip redraw or
// the end of a job.
void InstallQtJobEvents();

// Job events held back by a drag and not yet handed on. Main thread only;
// for tests.
int HeldJobEventsForTesting();
