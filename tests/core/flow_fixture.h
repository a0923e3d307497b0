#pragma once

// A user in front of the menu-bar item: opens the menu as a click would, picks an item and
// invokes its action with the item as sender; the fake records what the click caused.

#include <gtest/gtest.h>

#include <stdexcept>

#include "app/kavelin.h"
#include "fake_platform.h"

namespace kavelin::flows {

using fake::Calls;
using Alerts = std::vector<std::vector<std::string>>;

// Each alert as its message, its detail, then each button with its key equivalent in brackets
// when one was set.
inline Alerts describe(const std::vector<platform::Alert>& alerts) {
    Alerts all;
    for (const auto& alert : alerts) {
        all.push_back({alert.messageText, alert.informativeText});
        for (const auto& button : alert.buttons)
            all.back().push_back(button.title + (button.keyEquivalent
                                                     ? " [" + *button.keyEquivalent + "]"
                                                     : std::string{}));
    }
    return all;
}

class Desktop : public testing::Test {
protected:
    void SetUp() override { kavelin.applicationDidFinishLaunching(); }

    // A click on the status item: the menu is rebuilt, then shown.
    platform::Menu& openMenu() {
        fake.statusItem->delegate->menuNeedsUpdate(*fake.statusItem->menu);
        return *fake.statusItem->menu;
    }

    // The item of that title in a freshly opened menu or its submenus; held as a backend holds
    // the chosen item while its action runs.
    template <typename Item = platform::MenuItem>
    std::shared_ptr<Item> menuItem(const std::string& title) {
        auto items = openMenu().items;
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (const auto& submenu = items[i]->submenu)
                items.insert(items.end(), submenu->items.begin(), submenu->items.end());
            auto found = std::dynamic_pointer_cast<Item>(items[i]);
            if (found && found->title.starts_with(title))
                return found;
        }
        throw std::logic_error("no menu item " + title);
    }

    // Invokes the item's action; the log is cleared first so that it holds only the click.
    void click(const platform::MenuItem& item) {
        fake.calls.clear();
        fake.alerts.clear();
        item.action(item);
    }

    fake::FakePlatform fake;
    Kavelin kavelin{fake.platform};
};

} // namespace kavelin::flows
