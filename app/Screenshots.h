// app/Screenshots.h: pictures of the program's windows for people to look at
// (scripts/screenshots runs the program under a virtual X server for this).
#pragma once

// When the environment variable VELMORA_SCREENSHOTS names a folder, shows the
// main windows, the progress windows, the modal windows and the menus one
// after another once the event loop runs, writes a PNG of each and one of the
// whole screen into that folder, and ends the program. Returns whether it
// was asked to. Main thread, after start-up.
bool ScheduleScreenshotsIfAsked();
