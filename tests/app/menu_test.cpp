#include <gtest/gtest.h>

#include "app/kavelin.h"
#include "fake_platform.h"
#include "kavelin_test_access.h"

namespace kavelin {
namespace {

using platform::ItemState;
using platform::Menu;
using platform::MenuItem;
using Rows = std::vector<std::string>;

// One line per item, with everything the menu shows or does.
std::string describe(const MenuItem& item) {
    if (item.isSeparator)
        return "---";
    std::string line = item.title;
    if (!item.enabled)
        line += " [disabled]";
    if (item.action)
        line += " [action]";
    if (item.state == ItemState::on)
        line += " [on]";
    if (item.state == ItemState::mixed)
        line += " [mixed]";
    if (item.toolTip)
        line += " [tip " + *item.toolTip + "]";
    if (item.symbolImage)
        line += " [image " + *item.symbolImage + "]";
    if (!item.keyEquivalent.empty())
        line += " [key " + item.keyEquivalent + "]";
    if (item.submenu) {
        line += " [submenu " + item.submenu->title + ":";
        for (const auto& sub : item.submenu->items)
            line += " " + describe(*sub);
        line += "]";
    }
    return line;
}

Rows rows(const Menu& menu) {
    Rows result;
    for (const auto& item : menu.items)
        result.push_back(describe(*item));
    return result;
}

Rows tail(const std::string& launchItem = "Boot au démarrage du système [action]") {
    return {"---", "Ouvrir Disque de démarrage… [action]",
            "Options [submenu Options: " + launchItem + "]", "---", "Quitter Kavelin [action]"};
}

Rows concat(Rows a, const Rows& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class MenuRebuild : public testing::Test {
protected:
    fake::FakePlatform fake;
    Kavelin kavelin{fake.platform};

    Menu& open() {
        Menu& menu = KavelinTestAccess::menu(kavelin);
        kavelin.menuNeedsUpdate(menu);
        return menu;
    }
    // The running system and two external disks, mounted out of name order.
    void mountThreeVolumes() {
        fake.volumes.addVolume("/", "Macintosh HD", "UUID-1", "14.5");
        fake.volumes.addVolume("/Volumes/Zeta", "Zeta", "UUID-3", "13.6");
        fake.volumes.addVolume("/Volumes/Alpha", "Alpha", std::nullopt, "15.0");
        fake.volumes.mounts = {{"/", "/Volumes/Zeta", "/Volumes/Alpha"}};
    }
    const MenuItem& item(const std::string& title) {
        for (const auto& i : KavelinTestAccess::menu(kavelin).items)
            if (i->title == title)
                return *i;
        throw std::runtime_error("no item " + title);
    }
};

TEST_F(MenuRebuild, NoVolumeGivesTheNoticeAndTheFixedRows) {
    EXPECT_EQ(rows(open()),
              concat({"Disques de démarrage [disabled]", "Aucun volume macOS détecté [disabled]"},
                     tail()));
}

TEST_F(MenuRebuild, ThreeVolumesInDiscoveryOrderEachCarryingItsRecord) {
    mountThreeVolumes();
    Menu& menu = open();
    EXPECT_EQ(rows(menu),
              concat({"Disques de démarrage [disabled]",
                      "Macintosh HD  —  macOS 14.5 (en cours) [action] [image internaldrive]",
                      "Alpha  —  macOS 15.0 [action] [image internaldrive]",
                      "Zeta  —  macOS 13.6 [action] [image internaldrive]"},
                     tail()));

    auto discovered = StartupVolume::mounted(fake.volumes, fake.platform.text);
    ASSERT_EQ(discovered.size(), 3u);
    for (size_t i = 0; i < discovered.size(); ++i) {
        auto* volumeItem = dynamic_cast<const VolumeMenuItem*>(menu.items[1 + i].get());
        ASSERT_NE(volumeItem, nullptr) << i;
        ASSERT_TRUE(volumeItem->volume.has_value()) << i;
        EXPECT_TRUE(volumeItem->volume->equals(discovered[i], fake.platform.text)) << i;
    }
    EXPECT_TRUE(dynamic_cast<const VolumeMenuItem&>(*menu.items[1]).volume->isCurrent());
}

TEST_F(MenuRebuild, ItemsKeepTheRecordTakenWhenTheMenuWasBuilt) {
    mountThreeVolumes();
    auto alpha = open().items[2];
    fake.volumes.mounts = {{"/"}};
    fake.volumes.addVolume("/Volumes/Alpha", "Renamed", std::nullopt, "15.1");

    EXPECT_EQ(dynamic_cast<const VolumeMenuItem&>(*alpha).volume->name(), "Alpha");
    EXPECT_EQ(rows(open()),
              concat({"Disques de démarrage [disabled]",
                      "Macintosh HD  —  macOS 14.5 (en cours) [action] [image internaldrive]"},
                     tail()));
}

TEST_F(MenuRebuild, TwoOpeningsInARowGiveEachItemOnceWithFreshItems) {
    mountThreeVolumes();
    auto firstRows = rows(open());
    auto firstItems = KavelinTestAccess::menu(kavelin).items;
    auto secondRows = rows(open());
    EXPECT_EQ(secondRows, firstRows);
    ASSERT_EQ(KavelinTestAccess::menu(kavelin).items.size(), firstItems.size());
    for (size_t i = 0; i < firstItems.size(); ++i)
        EXPECT_NE(KavelinTestAccess::menu(kavelin).items[i], firstItems[i]) << i;
    // Discovery and the login item status are read anew at each opening.
    EXPECT_EQ(fake.story.matching("status ").size(), 2u);
}

TEST_F(MenuRebuild, WhileWorkingOnlyTheBusyNoticeShows) {
    mountThreeVolumes();
    open();
    KavelinTestAccess::setWorking(kavelin, true);
    int reads = fake.volumes.attributeReads;
    auto statusReads = fake.story.matching("status ").size();
    EXPECT_EQ(rows(open()), Rows{"Autorisation en cours… [disabled]"});
    // Nothing else is asked of the system while the change runs.
    EXPECT_EQ(fake.volumes.attributeReads, reads);
    EXPECT_EQ(fake.story.matching("status ").size(), statusReads);
    KavelinTestAccess::setWorking(kavelin, false);
    EXPECT_EQ(open().items.size(), 9u);
}

struct LoginState {
    int status;
    std::string item;
};

void PrintTo(const LoginState& c, std::ostream* os) {
    *os << "status " << c.status;
}

class LaunchAtLoginRow : public MenuRebuild, public testing::WithParamInterface<LoginState> {};

TEST_P(LaunchAtLoginRow, FollowsTheStatusReadAtThisOpening) {
    fake.loginItems.statuses = {7, GetParam().status};
    open(); // reads 7
    EXPECT_EQ(rows(open()),
              concat({"Disques de démarrage [disabled]", "Aucun volume macOS détecté [disabled]"},
                     tail(GetParam().item)));
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, LaunchAtLoginRow,
    testing::Values(
        LoginState{0, "Boot au démarrage du système [action]"},
        LoginState{1, "Boot au démarrage du système [action] [on]"},
        LoginState{2, "Boot au démarrage du système [action] [mixed] [tip Autorisation requise "
                      "dans Réglages Système.]"},
        LoginState{3, "Boot au démarrage du système [action]"},
        LoginState{-1, "Boot au démarrage du système [action]"}));

TEST_F(MenuRebuild, CommandItemsReachTheirHandlers) {
    mountThreeVolumes();
    fake.workspace.openable = {
        "x-apple.systempreferences:com.apple.Startup-Disk-Settings.extension"};
    fake.alerts.answers = {platform::thirdButtonReturn}; // the choice of the selection: cancel
    open();
    fake.story.events.clear();

    const MenuItem& alpha = item("Alpha  —  macOS 15.0");
    alpha.action(alpha);
    ASSERT_EQ(fake.alerts.shown.size(), 1u);
    EXPECT_NE(fake.alerts.shown[0].messageText.find("Alpha"), std::string::npos)
        << "the selection receives the chosen item with its record";

    const MenuItem& launchAtLogin = *item("Options").submenu->items.at(0);
    launchAtLogin.action(launchAtLogin);
    EXPECT_EQ(fake.story.matching("register").size(), 1u);

    const MenuItem& settings = item("Ouvrir Disque de démarrage…");
    settings.action(settings);
    EXPECT_EQ(fake.story.matching("openURL"),
              Rows{"openURL x-apple.systempreferences:com.apple.Startup-Disk-Settings.extension"});

    const MenuItem& quit = item("Quitter Kavelin");
    quit.action(quit);
    EXPECT_EQ(fake.story.events.back(), "terminate");
}

TEST_F(MenuRebuild, VolumeActionIgnoresAnItemWithoutVolumeType) {
    mountThreeVolumes();
    open();
    const MenuItem& volume = *KavelinTestAccess::menu(kavelin).items[1];
    // The same action sent by a plain item (no volume record) must not start a selection.
    MenuItem plain("plain", nullptr);
    auto before = fake.story.events;
    volume.action(plain);
    EXPECT_EQ(fake.story.events, before);
    EXPECT_FALSE(kavelin.working());
}

} // namespace
} // namespace kavelin
