// platform/qt/MenuModel.cpp: shared menus, addressed by ID and item number.
#include "platform/qt/MenuModel.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

std::string FourCCText(uint32_t code)
{
    std::string text(4, ' ');
    for (int i = 0; i < 4; ++i)
        text[i] = static_cast<char>((code >> (24 - 8 * i)) & 0xFF);
    return text;
}

namespace {

constexpr const char* kMenuIdProperty = "menuID";
constexpr const char* kItemProperty = "menuItem";

} // namespace

MenuModel::MenuModel() = default;

MenuModel::~MenuModel()
{
    // The menus have no Qt parent (each menu bar only refers to them).
    for (auto& [id, entry] : mMenus)
        delete entry.menu;
}

QMenu* MenuModel::AddMenu(int menuId, const QString& title, bool topLevel)
{
    auto* menu = new QMenu(title);
    mMenus[menuId].menu = menu;
    if (topLevel)
        mTopLevel.push_back(menuId);
    return menu;
}

QAction* MenuModel::AddItem(int menuId, const QString& text, uint32_t command, const QKeySequence& keys, bool checkable)
{
    MenuEntry& entry = mMenus.at(menuId);
    QAction* action = entry.menu->addAction(text);
    action->setData(QVariant::fromValue<uint>(command));
    action->setShortcut(keys);
    action->setCheckable(checkable);
    action->setProperty(kMenuIdProperty, menuId);
    entry.items.push_back(action);
    action->setProperty(kItemProperty, int(entry.items.size()));
    connect(action, &QAction::triggered, this, [this, action] {
        // Qt toggled a checkable action before this; the command sets the mark.
        if (action->isCheckable())
            action->setChecked(!action->isChecked());
        Dispatch(action);
    });
    return action;
}

QAction* MenuModel::AddSeparator(int menuId, const QString& heading)
{
    MenuEntry& entry = mMenus.at(menuId);
    QAction* action = heading.isEmpty() ? entry.menu->addSeparator() : entry.menu->addSection(heading);
    action->setData(QVariant::fromValue<uint>(0));
    entry.items.push_back(action);
    return action;
}

QAction* MenuModel::AddSubmenu(int menuId, int submenuId)
{
    MenuEntry& entry = mMenus.at(menuId);
    QAction* action = entry.menu->addMenu(mMenus.at(submenuId).menu);
    action->setData(QVariant::fromValue<uint>(0));
    entry.items.push_back(action);
    return action;
}

QMenu* MenuModel::Menu(int menuId) const
{
    const auto it = mMenus.find(menuId);
    return it == mMenus.end() ? nullptr : it->second.menu;
}

QAction* MenuModel::Item(int menuId, int item) const
{
    const auto it = mMenus.find(menuId);
    if (it == mMenus.end() || item < 1 || item > int(it->second.items.size()))
        return nullptr;
    return it->second.items[item - 1];
}

int MenuModel::ItemCount(int menuId) const
{
    const auto it = mMenus.find(menuId);
    return it == mMenus.end() ? 0 : int(it->second.items.size());
}

uint32_t MenuModel::ItemCommand(int menuId, int item) const
{
    QAction* action = Item(menuId, item);
    return action ? action->data().toUInt() : 0;
}

void MenuModel::SetItemCommand(int menuId, int item, uint32_t command)
{
    if (QAction* action = Item(menuId, item))
        action->setData(QVariant::fromValue<uint>(command));
}

void MenuModel::SetMenuEnabled(int menuId, bool enabled)
{
    if (QMenu* menu = Menu(menuId))
        menu->menuAction()->setEnabled(enabled);
}

bool MenuModel::IsMenuEnabled(int menuId) const
{
    QMenu* menu = Menu(menuId);
    return menu && menu->menuAction()->isEnabled();
}

void MenuModel::SetItemEnabled(int menuId, int item, bool enabled)
{
    if (QAction* action = Item(menuId, item)) {
        // A submenu's item is the submenu's own menu action: its flag is the
        // whole-menu flag of the submenu, which is what its item number means.
        action->setEnabled(enabled);
    }
}

bool MenuModel::IsItemEnabled(int menuId, int item) const
{
    QAction* action = Item(menuId, item);
    return action && action->isEnabled();
}

void MenuModel::SetItemChecked(int menuId, int item, bool checked)
{
    if (QAction* action = Item(menuId, item)) {
        action->setCheckable(true);
        action->setChecked(checked);
    }
}

bool MenuModel::IsItemChecked(int menuId, int item) const
{
    QAction* action = Item(menuId, item);
    return action && action->isChecked();
}

void MenuModel::InstallMenuBar(QMainWindow* window) const
{
    auto* bar = new QMenuBar(window);
    bar->setNativeMenuBar(false);
    for (int id : mTopLevel)
        bar->addMenu(mMenus.at(id).menu);
    window->setMenuBar(bar);
}

bool MenuModel::Trigger(int menuId, int item)
{
    QAction* action = Item(menuId, item);
    if (!action)
        return false;
    Dispatch(action);
    return true;
}

void MenuModel::Dispatch(QAction* action)
{
    if (!mHandler)
        return;
    mHandler(action->data().toUInt(), action->property(kMenuIdProperty).toInt(),
             action->property(kItemProperty).toInt());
}
