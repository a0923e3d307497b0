#pragma once

// A user in front of the menu-bar item: opens the menu as a click would, picks an item and
// invokes its action with the item as sender. What the click caused is what the fake recorded
// from then on.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/kavelin.h"
#include "fake_platform.h"

namespace kavelin::flows {

// One alert as a line per part: message, detail, then each button with its key.
inline std::vector<std::string> describe(const platform::Alert& alert) {
    std::vector<std::string> lines{alert.messageText, alert.informativeText};
    for (const auto& button : alert.buttons) {
        std::string key = "platform key";
        if (button.keyEquivalent)
            key = *button.keyEquivalent == platform::escapeKey ? "Escape"
                  : button.keyEquivalent->empty()              ? "no key"
                                                               : "key " + *button.keyEquivalent;
        lines.push_back(button.title + " (" + key + ")");
    }
    return lines;
}

inline std::vector<std::vector<std::string>> describe(const std::vector<platform::Alert>& alerts) {
    std::vector<std::vector<std::string>> all;
    for (const auto& alert : alerts)
        all.push_back(describe(alert));
    return all;
}

class Desktop : public testing::Test {
protected:
    fake::FakePlatform fake;
    std::unique_ptr<Kavelin> kavelin;

    // The application as launched: status item, icon, menu attached.
    void launch(platform::Platform& services) {
        kavelin = std::make_unique<Kavelin>(services);
        kavelin->applicationDidFinishLaunching();
    }
    void launch() { launch(fake.platform); }

    // A click on the status item: the menu is rebuilt, then shown.
    platform::Menu& openMenu() {
        fake::FakeStatusItem* item = fake.statusBar.lastItem;
        EXPECT_NE(item, nullptr);
        EXPECT_NE(item->menu, nullptr);
        item->delegate->menuNeedsUpdate(*item->menu);
        return *item->menu;
    }

    std::vector<std::string> openMenuTitles() {
        std::vector<std::string> titles;
        for (const auto& item : openMenu().items)
            titles.push_back(item->isSeparator ? "---" : item->title);
        return titles;
    }

    // The volume item of that name in a freshly opened menu; held as a backend holds the chosen
    // item while its action runs.
    std::shared_ptr<VolumeMenuItem> volumeItem(const std::string& name) {
        for (const auto& item : openMenu().items) {
            auto volume = std::dynamic_pointer_cast<VolumeMenuItem>(item);
            if (volume && volume->volume && volume->volume->name() == name)
                return volume;
        }
        ADD_FAILURE() << "no volume item " << name;
        return nullptr;
    }

    // Invokes the item's action; the story is cleared first so that it holds only the click.
    void click(const platform::MenuItem& item) {
        fake.story.events.clear();
        fake.alerts.shown.clear();
        ASSERT_TRUE(item.action) << item.title;
        item.action(item);
    }
};

} // namespace kavelin::flows
