// tools/BlurAndSharpenDialogs.h: the commands that open the Gaussian blur
// ("OpGB") and unsharp mask ("OpUM") dialogs.
#pragma once

// Fills in the two dialog factories of the command table. Main thread, at
// start-up.
void InstallBlurAndSharpenDialogs();
