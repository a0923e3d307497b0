#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kavelin::platform {

struct MenuItem;
struct Menu;

// An item's action; it receives the chosen item as sender.
using MenuAction = std::function<void(const MenuItem& sender)>;

enum class ItemState { off = 0, on = 1, mixed = -1 };

// One entry of a menu as the core builds it; a backend renders it, a test inspects it.
struct MenuItem {
    std::string title;
    MenuAction action; // empty: no action
    std::string keyEquivalent;
    bool enabled = true;
    ItemState state = ItemState::off;
    bool isToggle = false; // a switch: its state is drawn when off as well as when on
    std::optional<std::string> toolTip;
    std::optional<std::string> symbolImage; // a system symbol name, e.g. "internaldrive"
    std::shared_ptr<Menu> submenu;
    bool isSeparator = false;

    MenuItem() = default;
    MenuItem(std::string title, MenuAction action)
        : title(std::move(title)), action(std::move(action)) {}
    virtual ~MenuItem() = default;

    static std::shared_ptr<MenuItem> separatorItem() {
        auto item = std::make_shared<MenuItem>();
        item->isSeparator = true;
        return item;
    }
};

// A menu owns its items; items are shared so that a backend can keep the chosen one alive while
// its action runs, even if the menu is rebuilt meanwhile.
struct Menu {
    std::string title;
    std::vector<std::shared_ptr<MenuItem>> items;

    void removeAllItems() { items.clear(); }
    void addItem(std::shared_ptr<MenuItem> item) { items.push_back(std::move(item)); }
};

// Receives the call that rebuilds a menu each time it is about to open.
class MenuDelegate {
public:
    virtual ~MenuDelegate() = default;
    virtual void menuNeedsUpdate(Menu& menu) = 0;
};

} // namespace kavelin::platform
