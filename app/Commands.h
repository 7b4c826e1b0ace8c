// app/Commands.h: the command table. Every menu item's four-character command
// reaches one registry entry; the entries call the operations of the other
// subsystems through CommandOperations (shell/CommandOperations.h), which
// those subsystems fill in.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "shell/CommandOperations.h"

struct CommandContext {
    uint32_t command = 0;
    int menuId = 0;
    int item = 0; // item number in its menu, from 1
};
using CommandFunction = std::function<void(const CommandContext&)>;

// Adds or replaces the entry of a command. Main thread only.
void RegisterCommand(uint32_t command, CommandFunction function);
bool HasCommand(uint32_t command);
// Every command with an entry.
std::vector<uint32_t> RegisteredCommands();

// Runs the entry of command; returns false (not handled) when it has none.
// Every command of the table is handled, also when it refuses. Main thread only.
bool MenuHandler(uint32_t command, int menuId, int item);

// Installs the entries of every command of the table. Main thread only.
void InstallShellCommands();

// The resample method and factor of an item of the resample menu: method =
// (item - 1) / 7, factor by (item - 1) mod 7: 1 -> 0.25, 2 -> 0.5, 3 -> 2,
// 4 -> 3, 5 -> 4; items 22..28 always 0.5. False for the other items.
bool ResampleForItem(int item, int& method, double& factor);

// The quit request (menu, logout, signal): refused with one beep while a job
// runs; otherwise ends the event loop. Returns true when the program quits.
bool RequestQuit();
