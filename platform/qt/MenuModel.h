// platform/qt/MenuModel.h: the one set of menus every main window shows. Items
// are addressed by (menu ID, item number counting separators from 1) and carry
// a four-character command code; enabling and check marks live here once.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <QKeySequence>
#include <QObject>

class QAction;
class QMainWindow;
class QMenu;

// A four-character command code as one number, first character in the high byte.
constexpr uint32_t FourCC(const char (&code)[5])
{
    return (uint32_t(uint8_t(code[0])) << 24) | (uint32_t(uint8_t(code[1])) << 16) | (uint32_t(uint8_t(code[2])) << 8) |
           uint32_t(uint8_t(code[3]));
}
std::string FourCCText(uint32_t code);

class MenuModel final : public QObject {
    Q_OBJECT
public:
    // Called with (command, menu ID, item number) when an item is chosen.
    using Handler = std::function<void(uint32_t command, int menuId, int item)>;

    MenuModel();
    ~MenuModel() override;

    // A new menu. topLevel menus appear in every menu bar in creation order.
    QMenu* AddMenu(int menuId, const QString& title, bool topLevel);
    // Appends an item to menuId; returns its action. command 0 = no command.
    QAction* AddItem(int menuId, const QString& text, uint32_t command = 0, const QKeySequence& keys = {},
                     bool checkable = false);
    // Appends a separator (an item number of its own), with a heading text when given.
    QAction* AddSeparator(int menuId, const QString& heading = QString());
    // Appends an item that opens submenu submenuId (made earlier with topLevel false).
    QAction* AddSubmenu(int menuId, int submenuId);

    QMenu* Menu(int menuId) const;
    QAction* Item(int menuId, int item) const; // nullptr when out of range
    int ItemCount(int menuId) const;
    uint32_t ItemCommand(int menuId, int item) const;
    void SetItemCommand(int menuId, int item, uint32_t command);

    // Whole-menu enabling, independent of the items' own flags.
    void SetMenuEnabled(int menuId, bool enabled);
    bool IsMenuEnabled(int menuId) const;
    void SetItemEnabled(int menuId, int item, bool enabled);
    bool IsItemEnabled(int menuId, int item) const;
    void SetItemChecked(int menuId, int item, bool checked);
    bool IsItemChecked(int menuId, int item) const;

    // Gives window its own menu bar built from the shared menus.
    void InstallMenuBar(QMainWindow* window) const;

    void SetHandler(Handler handler) { mHandler = std::move(handler); }
    // Chooses an item as the user would (disabled items and menus included;
    // the caller decides). Returns false when the item does not exist.
    bool Trigger(int menuId, int item);

private:
    struct MenuEntry {
        QMenu* menu = nullptr;
        std::vector<QAction*> items;
    };
    void Dispatch(QAction* action);

    std::map<int, MenuEntry> mMenus;
    std::vector<int> mTopLevel;
    Handler mHandler;
};
