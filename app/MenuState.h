// app/MenuState.h: the one place menu enabling and the channel check marks are
// decided, from the program's state.
#pragma once

// The state the menus depend on.
struct MenuStateInputs {
    bool jobRunning = false;  // J
    bool dialogOpen = false;  // D
    bool clipsExist = false;  // C
    bool stackExists = false; // S
    bool boundsRect = false;  // B
    bool movieDialog = false; // M: a movie frame dialog is open
};

// The current state, from the shell's predicates.
MenuStateInputs CurrentMenuStateInputs();

// Sets every menu's and item's enabling and the channel check marks from the
// current state. Call after every change of a job, a dialog, the clips, the
// stack or the bounds rectangle. Main thread only.
void UpdateMenuState();
// The same for given inputs (tests).
void ApplyMenuState(const MenuStateInputs& state);
