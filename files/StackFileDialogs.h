// files/StackFileDialogs.h: the commands that open the summed stack's file
// dialogs (FITS and raw, open and save).
#pragma once

// Fills the command operations of Open FITS, Save FITS, Open Raw and Save Raw.
// Main thread only.
void InstallStackFileDialogs();
