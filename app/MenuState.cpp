// app/MenuState.cpp: menu enabling as a function of jobs, dialogs, clips,
// stack and bounds rectangle.
#include "app/MenuState.h"

#include "app/MenuBar.h"
#include "shell/OperationBoundsRect.h"
#include "shell/ShellHooks.h"
#include "shell/ShellSettings.h"
#include "platform/qt/MenuModel.h"

MenuStateInputs CurrentMenuStateInputs()
{
    MenuStateInputs s;
    s.jobRunning = IsJobRunning();
    s.dialogOpen = IsDialogOpen();
    s.clipsExist = ClipsExist();
    s.stackExists = StackExists();
    s.boundsRect = OperationBoundsRectExists();
    s.movieDialog = AskShell(GetShellHooks().movieDialogOpen);
    return s;
}

void InstallMenuState()
{
    SetMenuStateUpdater([] { ApplyMenuState(CurrentMenuStateInputs()); });
}

void ApplyMenuState(const MenuStateInputs& s)
{
    MenuModel& m = GetMenuModel();
    if (!m.Menu(kFileMenu))
        return; // menus not built yet
    const bool J = s.jobRunning, D = s.dialogOpen, C = s.clipsExist, S = s.stackExists, B = s.boundsRect;

    m.SetMenuEnabled(kAppMenu, !J);
    m.SetMenuEnabled(kThreadsMenu, !J);
    for (int item = 1; item <= m.ItemCount(kAppMenu); ++item)
        m.SetItemEnabled(kAppMenu, item, true);
    for (int item = 1; item <= m.ItemCount(kThreadsMenu); ++item)
        m.SetItemEnabled(kThreadsMenu, item, true);

    m.SetMenuEnabled(kFileMenu, !J && !D);
    for (int item = 1; item <= m.ItemCount(kFileMenu); ++item) {
        bool on = true;
        if (item == 2 || item == 3 || item == 12 || item == 13)
            on = C;
        else if (item == 4 || item == 5)
            on = !C;
        else if (item >= 7 && item <= 9)
            on = S;
        m.SetItemEnabled(kFileMenu, item, on);
    }

    m.SetMenuEnabled(kEditMenu, !J && !D && C);
    for (int item = 1; item <= m.ItemCount(kEditMenu); ++item)
        m.SetItemEnabled(kEditMenu, item, !(item == 1 || (item >= 3 && item <= 6)));

    m.SetMenuEnabled(kOperationsMenu, !J && !D && !s.movieDialog && (C || S));
    for (int item = 1; item <= m.ItemCount(kOperationsMenu); ++item) {
        bool on = C;
        if (item == 6 || item == 9)
            on = B;
        else if (item >= 13 && item <= 21)
            on = S;
        m.SetItemEnabled(kOperationsMenu, item, on);
    }

    m.SetMenuEnabled(kViewMenu, !J);
    for (int item = 1; item <= m.ItemCount(kViewMenu); ++item) {
        bool on = true;
        if (item == 1 || item == 2 || item == 3 || item == 5 || item == 12 || item == 13)
            on = !D;
        else if (item >= 7 && item <= 10)
            on = S;
        m.SetItemEnabled(kViewMenu, item, on);
    }

    // The channel marks follow the three flags, whoever changed them.
    const bool all = gRedChannelOn && gGreenChannelOn && gBlueChannelOn;
    m.SetItemChecked(kViewMenu, 7, all);
    m.SetItemChecked(kViewMenu, 8, !all && gRedChannelOn && !gGreenChannelOn && !gBlueChannelOn);
    m.SetItemChecked(kViewMenu, 9, !all && !gRedChannelOn && gGreenChannelOn && !gBlueChannelOn);
    m.SetItemChecked(kViewMenu, 10, !all && !gRedChannelOn && !gGreenChannelOn && gBlueChannelOn);
}
