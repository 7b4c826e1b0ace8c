// engine/ClipCommandGate.h: the refusal every command that changes clips or
// the summed stack goes through, whether it comes from a menu, a key or a click.
#pragma once

// True, after one beep, while a job runs or a dialog that reads the clips or
// the stack (a filter, batch or spectrum dialog) is open; the caller then
// does nothing. False otherwise, silently. Main thread only.
bool RefuseClipChange();
