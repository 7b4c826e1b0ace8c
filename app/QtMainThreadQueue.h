// app/QtMainThreadQueue.h: job events carried by the Qt event loop.
#pragma once

// Installs the program's job services, once, on the main thread after the
// QApplication exists: the Qt event queue as the jobs' queue (one QEvent
// type, posted to one main-thread dispatcher whose customEvent() is the job
// event handler; nested loops such as modal dialogs deliver them too), the
// progress window, the wrong-size question and the shell's "a job is
// running" question. The clip redraws are InstallJobDisplayActions's.
void InstallQtJobEvents();
