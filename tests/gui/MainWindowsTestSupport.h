// tests/gui/MainWindowsTestSupport.h: what the tests of the program's main
// windows share: the windows and menus torn down before the program ends,
// and which menu items are enabled.
#pragma once

#include <set>
#include <vector>

#include <QAction>

#include <gtest/gtest.h>

#include "app/MainWindows.h"
#include "app/MenuBar.h"
#include "platform/qt/MenuModel.h"

// The windows and the menu model go before the program ends: their menu bars
// must not outlive the model's actions. A test program that builds the
// windows itself registers it once with RegisterWindowsTeardown().
class WindowsTeardown final : public testing::Environment {
public:
    void TearDown() override
    {
        DestroyMainWindows();
        DestroyMenuBarForTesting();
    }
};

inline testing::Environment* RegisterWindowsTeardown()
{
    return testing::AddGlobalTestEnvironment(new WindowsTeardown);
}

// Per menu 128 .. 133: 0 when the menu is enabled, then the number of every
// enabled item that is not a separator.
inline std::vector<std::set<int>> MenuSnapshot()
{
    std::vector<std::set<int>> snapshot;
    MenuModel& m = GetMenuModel();
    for (int menu : {128, 129, 130, 131, 132, 133}) {
        std::set<int> on;
        if (m.IsMenuEnabled(menu))
            on.insert(0);
        for (int item = 1; item <= m.ItemCount(menu); ++item)
            if (m.IsItemEnabled(menu, item) && !m.Item(menu, item)->isSeparator())
                on.insert(item);
        snapshot.push_back(on);
    }
    return snapshot;
}
