// The delegate over the recording fake: start, launch, the menu and its commands.

#include "flow_fixture.h"

namespace kavelin::flows {
namespace {

using platform::Image;

TEST(ApplicationStart, RunsInOrderAndDropsTheDelegateAfterTheLoop) {
    fake::FakePlatform fake;
    Kavelin* running = nullptr;
    platform::MenuDelegate* menuDelegate = nullptr;
    fake.whileRunning = [&] {
        running = dynamic_cast<Kavelin*>(fake.delegate);
        menuDelegate = fake.statusItem->delegate;
    };
    EXPECT_EQ(runApplicationStart(fake.platform), 0);
    EXPECT_EQ(fake.calls, (Calls{"statusItem", "setActivationPolicy accessory", "setDelegate",
                                 "run", "setDelegate"}));
    EXPECT_EQ(fake.statusItemLength, platform::squareStatusItemLength);
    // Launching finished before the loop ran: the menu is attached to the running delegate.
    ASSERT_NE(running, nullptr);
    EXPECT_EQ(menuDelegate, running);
    EXPECT_EQ(fake.delegate, nullptr);
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
                 {"neither resource nor symbol", false, false, false, true, std::nullopt},
                 {"status item without button", true, true, true, false, std::nullopt}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.story);
        fake::FakePlatform fake;
        if (c.resource)
            fake.resources["MenuIcon.png"] = path;
        if (c.loads)
            fake.loadableFiles.insert(path);
        if (!c.symbol)
            fake.symbols.clear();
        fake.giveButtons = c.button;
        Kavelin kavelin(fake.platform);
        const fake::FakeStatusItem& item = *fake.statusItem;
        EXPECT_EQ(item.menu, nullptr) << "the menu is attached once launching has finished";
        kavelin.applicationDidFinishLaunching();
        EXPECT_EQ(item.image, c.icon);
        EXPECT_EQ(item.toolTip, c.button ? "Kavelin" : std::optional<std::string>());
        ASSERT_NE(item.menu, nullptr);
        EXPECT_TRUE(item.menu->items.empty()) << "the menu is built when it opens, not before";
        EXPECT_EQ(item.delegate, &kavelin);
    }
}

// One line per item, with everything the menu shows or does.
std::string describe(const platform::MenuItem& item) {
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

class MenuRebuild : public Desktop {
protected:
    Calls rows() {
        Calls result;
        for (const auto& item : openMenu().items)
            result.push_back(describe(*item));
        return result;
    }
};

// The whole menu around the given volume rows.
Calls expected(Calls volumes, const std::string& launchAtLogin = "") {
    volumes.insert(volumes.begin(), "Disques de d\u00e9marrage [disabled]");
    volumes.insert(volumes.end(),
                   {"---", "Ouvrir Disque de d\u00e9marrage\u2026 [action]",
                    "Options [submenu Options: Boot au d\u00e9marrage du syst\u00e8me [action]" +
                        launchAtLogin + "]",
                    "---", "Quitter Kavelin [action]"});
    return volumes;
}

// Each opening reads the volumes afresh, in discovery order, each item carrying its record.
TEST_F(MenuRebuild, ListsTheVolumesMountedAtEachOpening) {
    fake.addVolume("/", "Macintosh HD", "UUID-1", "14.5");
    fake.addVolume("/Volumes/Zeta", "Zeta", "UUID-3", "13.6");
    fake.addVolume("/Volumes/Alpha", "Alpha", std::nullopt, "15.0");
    fake.mounts = {{"/", "/Volumes/Zeta", "/Volumes/Alpha"}};
    const std::string hd =
        "Macintosh HD  \u2014  macOS 14.5 (en cours) [action] [image internaldrive]";
    EXPECT_EQ(rows(), expected({hd, "Alpha  \u2014  macOS 15.0 [action] [image internaldrive]",
                                "Zeta  \u2014  macOS 13.6 [action] [image internaldrive]"}));
    for (std::size_t i = 1; i <= 3; ++i) {
        auto* item = dynamic_cast<const VolumeMenuItem*>(openMenu().items[i].get());
        ASSERT_TRUE(item && item->volume) << i;
        EXPECT_EQ(item->volume->menuTitle(), item->title);
    }
    fake.mounts = {{"/"}};
    EXPECT_EQ(rows(), expected({hd}));
}

TEST_F(MenuRebuild, LaunchAtLoginItemShowsTheStatusReadAtEachOpening) {
    fake.statuses = {0, 1, 2};
    for (const std::string row :
         {"", " [on]", " [mixed] [tip Autorisation requise dans R\u00e9glages Syst\u00e8me.]"})
        EXPECT_EQ(rows(), expected({"Aucun volume macOS d\u00e9tect\u00e9 [disabled]"}, row));
}

TEST_F(MenuRebuild, QuitEndsTheApplication) {
    click(*menuItem("Quitter"));
    EXPECT_EQ(fake.calls, Calls{"terminate"});
}

} // namespace
} // namespace kavelin::flows
