// engine/AlignmentAndSortDialogs.h: the alignment threshold dialog ("OpAB")
// and the dialog the spectrum sort opens, wired to their commands.
#pragma once

// Sets the "OpAB" command's dialog and the spectrum sort's dialog factory.
// Call once at start-up. Main thread only.
void InstallAlignmentAndSortDialogs();
