// app/MenuBar.h: the program's menus: their IDs, item numbers and texts, and
// their state at start.
#pragma once

class MenuModel;

// Menu IDs. Items are numbered from 1, separators counted.
enum MenuId : int {
    kAppMenu = 128, // About
    kFileMenu = 129,
    kEditMenu = 130,
    kOperationsMenu = 131,
    kThreadsMenu = 132,
    kViewMenu = 133,
    kResampleClipsMenu = 100,
    kSortClipsMenu = 101,
    kSquareBoundsMenu = 102,
    kTransformStackMenu = 103,
    kResampleStackMenu = 104,
    kRotationMethodMenu = 105,
};

// Thread counts of items 4..15 of the Threads menu.
inline constexpr int kThreadCounts[12] = {1, 2, 3, 4, 6, 8, 12, 16, 24, 32, 48, 64};
inline constexpr int kFirstThreadItem = 4;
// The Threads menu item of a thread count, or 0 when the count is not offered.
int ThreadItemForCount(int count);

// The one menu model (created on first use). Main thread only.
MenuModel& GetMenuModel();

// Builds the menus with their texts, command codes and key equivalents, sets
// the check marks from the settings (a thread count not offered becomes 1) and
// the enabling from the program's state, and routes choices to the command
// handler. Call after the preferences are read and before any window exists.
void MenuBarInit();

// Removes every menu (tests build them anew).
void DestroyMenuBarForTesting();
