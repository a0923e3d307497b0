// The delegate over the recording fake: start, launch, the menu and its commands.
#include <gtest/gtest.h>

#include "app/kavelin.h"
#include "fake_platform.h"

namespace kavelin {
namespace {

using platform::Image;
using platform::Menu;
using platform::MenuItem;
using Rows = std::vector<std::string>;

TEST(ApplicationStart, RunsInOrderAndDropsTheDelegateAfterTheLoop) {
    fake::FakePlatform fake;
    Kavelin* running = nullptr;
    platform::MenuDelegate* menuDelegate = nullptr;
    fake.application.whileRunning = [&] {
        running = dynamic_cast<Kavelin*>(fake.application.delegate);
        menuDelegate = fake.statusBar.lastItem->delegate;
    };
    EXPECT_EQ(runApplicationStart(fake.platform), 0);
    EXPECT_EQ(fake.story.events, (Rows{"statusItem", "setActivationPolicy accessory", "setDelegate",
                                       "run", "setDelegate"}));
    EXPECT_EQ(fake.statusBar.lastLength, platform::squareStatusItemLength);
    // Launching finished before the loop ran: the menu is attached to the running delegate.
    ASSERT_NE(running, nullptr);
    EXPECT_EQ(menuDelegate, running);
    EXPECT_EQ(fake.application.delegate, nullptr);
}

TEST(LaunchSetup, GivesTheButtonItsIconAndToolTipThenAttachesTheMenu) {
    const std::string path = "/usr/share/kavelin/MenuIcon.png";
    const Image fileIcon{Image::Kind::file, path, 18, 18, "Kavelin"};
    const Image driveIcon{Image::Kind::symbol, "internaldrive", 18, 18, "Kavelin"};
    const struct {
        const char* story;
        bool resource, loads, symbol, button;
        std::optional<Image> icon;
    } cases[] = {{"resource", true, true, true, true, fileIcon},
                 {"resource that does not load", true, false, true, true, driveIcon},
                 {"no resource", false, false, true, true, driveIcon},
                 {"neither resource nor symbol", false, false, false, true, std::nullopt},
                 {"status item without button", true, true, true, false, std::nullopt}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.story);
        fake::FakePlatform fake;
        if (c.resource)
            fake.images.resources["MenuIcon.png"] = path;
        if (c.loads)
            fake.images.loadableFiles.insert(path);
        if (!c.symbol)
            fake.images.symbols.clear();
        fake.statusBar.giveButtons = c.button;
        Kavelin kavelin(fake.platform);
        fake::FakeStatusItem& item = *fake.statusBar.lastItem;
        EXPECT_EQ(item.menu, nullptr) << "the menu is attached once launching has finished";
        kavelin.applicationDidFinishLaunching();
        EXPECT_EQ(item.statusButton.image, c.icon);
        EXPECT_EQ(item.statusButton.toolTip, c.button ? "Kavelin" : std::optional<std::string>());
        ASSERT_NE(item.menu, nullptr);
        EXPECT_TRUE(item.menu->items.empty()) << "the menu is built when it opens, not before";
        EXPECT_EQ(item.delegate, &kavelin);
    }
}

// One line per item, with everything the menu shows or does.
std::string describe(const MenuItem& item) {
    if (item.isSeparator)
        return "---";
    std::string line = item.title + (item.enabled ? "" : " [disabled]");
    line += item.action ? " [action]" : "";
    if (item.state != platform::ItemState::off)
        line += item.state == platform::ItemState::on ? " [on]" : " [mixed]";
    if (item.toolTip)
        line += " [tip " + *item.toolTip + "]";
    if (item.symbolImage)
        line += " [image " + *item.symbolImage + "]";
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

// The whole menu around the given volume rows.
Rows expected(Rows volumes, const std::string& launchAtLogin = "") {
    volumes.insert(volumes.begin(), "Disques de d\u00e9marrage [disabled]");
    volumes.insert(volumes.end(),
                   {"---", "Ouvrir Disque de d\u00e9marrage\u2026 [action]",
                    "Options [submenu Options: Boot au d\u00e9marrage du syst\u00e8me [action]" +
                        launchAtLogin + "]",
                    "---", "Quitter Kavelin [action]"});
    return volumes;
}

const std::string hd = "Macintosh HD  \u2014  macOS 14.5 (en cours) [action] [image internaldrive]";
const std::string alpha = "Alpha  \u2014  macOS 15.0 [action] [image internaldrive]";
const std::string zeta = "Zeta  \u2014  macOS 13.6 [action] [image internaldrive]";

class MenuRebuild : public testing::Test {
protected:
    fake::FakePlatform fake;
    Kavelin kavelin{fake.platform};
    Menu menu;

    // The same menu opened again, as the status item does at each click.
    Menu& open() {
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
};

TEST_F(MenuRebuild, ThreeVolumesInDiscoveryOrderEachCarryingItsRecord) {
    mountThreeVolumes();
    auto first = open().items;
    Menu& menu = open(); // a second opening in a row: fresh items, each row once
    EXPECT_EQ(rows(menu), expected({hd, alpha, zeta}));
    auto discovered = StartupVolume::mounted(fake.volumes, fake.platform.text);
    ASSERT_EQ(discovered.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        auto* item = dynamic_cast<const VolumeMenuItem*>(menu.items[1 + i].get());
        ASSERT_TRUE(item && item->volume && item != first[1 + i].get()) << i;
        EXPECT_TRUE(item->volume->equals(discovered[i], fake.platform.text)) << i;
    }
    EXPECT_TRUE(dynamic_cast<const VolumeMenuItem&>(*menu.items[1]).volume->isCurrent());

    fake.volumes.mounts = {{"/"}}; // Alpha's record changes once its item is built
    fake.volumes.addVolume("/Volumes/Alpha", "Renamed", std::nullopt, "15.1");
    EXPECT_EQ(rows(open()), expected({hd}));
    EXPECT_EQ(dynamic_cast<const VolumeMenuItem&>(*first[2]).volume->name(), "Alpha");
}

// The menu opened again while the choice alert of a selection is up, then once it is closed.
TEST_F(MenuRebuild, WhileWorkingOnlyTheBusyNoticeShowsAndNothingIsRead) {
    mountThreeVolumes();
    auto volumeItem = open().items.at(1);
    Rows meanwhile;
    fake.alerts.answering = [&](const platform::Alert&) {
        const int reads = fake.volumes.attributeReads;
        const auto events = fake.story.events.size();
        meanwhile = rows(open());
        EXPECT_EQ(fake.volumes.attributeReads, reads) << "no discovery";
        EXPECT_EQ(fake.story.events.size(), events) << "no login item status read";
        return platform::thirdButtonReturn;
    };
    volumeItem->action(*volumeItem);
    EXPECT_EQ(meanwhile, Rows{"Autorisation en cours\u2026 [disabled]"});
    EXPECT_EQ(rows(open()), expected({hd, alpha, zeta}));
}

TEST_F(MenuRebuild, LaunchAtLoginItemShowsTheStatusReadAtEachOpening) {
    fake.loginItems.statuses = {0, 1, 2, 3};
    for (const auto& [status, row] : std::vector<std::pair<int, std::string>>{
             {0, ""},
             {1, " [on]"},
             {2, " [mixed] [tip Autorisation requise dans R\u00e9glages Syst\u00e8me.]"},
             {3, ""}}) {
        SCOPED_TRACE(status);
        EXPECT_EQ(rows(open()), expected({"Aucun volume macOS d\u00e9tect\u00e9 [disabled]"}, row));
    }
}

TEST_F(MenuRebuild, CommandItemsReachTheirHandlers) {
    mountThreeVolumes();
    fake.alerts.answers = {platform::thirdButtonReturn}; // cancels the volume choice
    auto items = open().items; // header, 3 volumes, ---, settings, Options, ---, Quit
    fake.story.events.clear();
    for (const MenuItem* chosen :
         {items[2].get(), items[6]->submenu->items.at(0).get(), items[5].get(), items[8].get()})
        chosen->action(*chosen);
    EXPECT_EQ(fake.story.matching("alert D"),
              Rows{"alert D\u00e9marrer sur \u00ab\u00a0Alpha\u00a0\u00bb"});
    EXPECT_EQ(fake.story.matching("register"), Rows{"register"});
    EXPECT_EQ(fake.story.matching("openURL").at(0),
              "openURL x-apple.systempreferences:com.apple.Startup-Disk-Settings.extension");
    EXPECT_EQ(fake.story.events.back(), "terminate");
}

} // namespace
} // namespace kavelin
