// app/MenuState.h: the one place menu enabling and the channel check marks are
// decided, from the program's state.
#pragma once

#include "shell/ShellHooks.h"

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

// Sets every menu's and item's enabling and the channel check marks from
// state. UpdateMenuState (shell/ShellHooks.h) calls it with the current state
// once InstallMenuState has run (the menu bar does it). Main thread only.
void ApplyMenuState(const MenuStateInputs& state);
void InstallMenuState();
