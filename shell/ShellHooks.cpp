// shell/ShellHooks.cpp: the hook table and the shell's state predicates.
#include "shell/ShellHooks.h"

#include <utility>

#include "shell/Alerts.h"
#include "shell/DialogPointers.h"

namespace {

int sOpenDialogs = 0;
std::function<void()> sUpdateMenuState; // main thread only

} // namespace

ShellHooks& GetShellHooks()
{
    static ShellHooks sHooks;
    return sHooks;
}

bool AskShell(const std::function<bool()>& query)
{
    return query ? query() : false;
}

void TellShell(const std::function<void()>& action)
{
    if (action)
        action();
}

void UpdateMenuState()
{
    TellShell(sUpdateMenuState);
}

void SetMenuStateUpdater(std::function<void()> update)
{
    sUpdateMenuState = std::move(update);
}

bool IsJobRunning()
{
    return AskShell(GetShellHooks().jobRunning);
}

bool ClipsExist()
{
    return AskShell(GetShellHooks().clipsExist);
}

bool StackExists()
{
    return AskShell(GetShellHooks().stackExists);
}

void NoteDialogOpened()
{
    ++sOpenDialogs;
}

void NoteDialogClosed()
{
    if (sOpenDialogs > 0)
        --sOpenDialogs;
}

bool clipChangesBlocked()
{
    return !permitClipUpdates() || gSortBySpectrumInterface != nullptr;
}

bool IsDialogOpen()
{
    return sOpenDialogs > 0 || clipChangesBlocked();
}
