// tools/StarAndFourierDialogs.h: the commands that open the star dialog
// ("OpSB") and the Fourier-domain editor ("OpFE").
#pragma once

// Fills in the two dialog factories of the command table. Main thread, at
// start-up.
void InstallStarAndFourierDialogs();
