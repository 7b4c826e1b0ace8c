// engine/JobDisplayActions.h: what the main thread draws for the clip events of
// jobs.
#pragma once

// Makes the jobs' clip events mark and redraw the clip in the clips window
// and show it in the frame inspector. Call once at start-up, on the main
// thread.
void InstallJobDisplayActions();
