#include <gtest/gtest.h>

#include "app/kavelin.h"
#include "fake_platform.h"

namespace kavelin {
namespace {

using platform::Image;

struct IconCase {
    const char* story;
    bool resourcePresent;
    bool resourceLoads;
    bool symbolAvailable;
    std::optional<Image> expected;
};

void PrintTo(const IconCase& c, std::ostream* os) {
    *os << c.story;
}

class LaunchSetup : public testing::TestWithParam<IconCase> {};

TEST_P(LaunchSetup, GivesTheButtonItsIconToolTipAndTheMenu) {
    const IconCase& c = GetParam();
    fake::FakePlatform fake;
    const std::string path = "/usr/share/kavelin/MenuIcon.png";
    if (c.resourcePresent)
        fake.images.resources["MenuIcon.png"] = path;
    if (c.resourceLoads)
        fake.images.loadableFiles.insert(path);
    if (!c.symbolAvailable)
        fake.images.symbols.clear();

    Kavelin kavelin(fake.platform);
    fake::FakeStatusItem& item = *fake.statusBar.lastItem;
    EXPECT_EQ(item.menu, nullptr) << "the menu is attached once launching has finished";
    kavelin.applicationDidFinishLaunching();

    EXPECT_EQ(item.statusButton.image, c.expected);
    EXPECT_EQ(item.statusButton.toolTip, "Kavelin");
    ASSERT_NE(item.menu, nullptr);
    EXPECT_TRUE(item.menu->items.empty()) << "the menu is built when it opens, not before";
    EXPECT_EQ(item.delegate, &kavelin);
}

const Image fileIcon{Image::Kind::file, "/usr/share/kavelin/MenuIcon.png", 18, 18, "Kavelin"};
const Image symbolIcon{Image::Kind::symbol, "internaldrive", 18, 18, "Kavelin"};

INSTANTIATE_TEST_SUITE_P(
    IconSources, LaunchSetup,
    testing::Values(IconCase{"resource", true, true, true, fileIcon},
                    IconCase{"resource that does not load", true, false, true, symbolIcon},
                    IconCase{"no resource", false, false, true, symbolIcon},
                    IconCase{"neither resource nor symbol", false, false, false, std::nullopt}));

TEST(LaunchSetupWithoutButton, StillAttachesTheMenu) {
    fake::FakePlatform fake;
    fake.statusBar.giveButtons = false;
    Kavelin kavelin(fake.platform);
    kavelin.applicationDidFinishLaunching();
    EXPECT_EQ(fake.statusBar.lastItem->statusButton.toolTip, std::nullopt);
    EXPECT_EQ(fake.statusBar.lastItem->statusButton.image, std::nullopt);
    EXPECT_NE(fake.statusBar.lastItem->menu, nullptr);
}

TEST(Construction, TakesASquareStatusItemAndStartsIdle) {
    fake::FakePlatform fake;
    Kavelin kavelin(fake.platform);
    EXPECT_EQ(fake.story.events, std::vector<std::string>{"statusItem"});
    EXPECT_EQ(fake.statusBar.lastLength, platform::squareStatusItemLength);
    EXPECT_FALSE(kavelin.working());
}

TEST(ApplicationStart, RunsInOrderAndDropsTheDelegateAfterTheLoop) {
    fake::FakePlatform fake;
    Kavelin* delegateWhileRunning = nullptr;
    platform::MenuDelegate* menuDelegateWhileRunning = nullptr;
    fake.application.whileRunning = [&] {
        delegateWhileRunning = dynamic_cast<Kavelin*>(fake.application.delegate);
        menuDelegateWhileRunning = fake.statusBar.lastItem->delegate;
    };
    EXPECT_EQ(runApplicationStart(fake.platform), 0);

    EXPECT_EQ(fake.story.events,
              (std::vector<std::string>{"statusItem", "setActivationPolicy accessory",
                                        "setDelegate", "run", "setDelegate"}));
    ASSERT_NE(delegateWhileRunning, nullptr);
    // Launching finished before the loop ran: the menu is attached to the same delegate.
    EXPECT_EQ(menuDelegateWhileRunning, delegateWhileRunning);
    EXPECT_EQ(fake.application.delegate, nullptr);
}

} // namespace
} // namespace kavelin
