// engine/ClipOperationCommands.h: hands the clip operations to the menu
// commands that start them.
#pragma once

// Fills the command table's crop, resample, sort and update entries
// (app/Commands.h). Main thread, at start-up.
void InstallClipOperationCommands();
