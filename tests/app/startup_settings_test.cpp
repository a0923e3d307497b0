#include <gtest/gtest.h>

#include "app/kavelin.h"
#include "fake_platform.h"
#include "kavelin_test_access.h"

namespace kavelin {
namespace {

using Events = std::vector<std::string>;

const std::string settingsURL =
    "openURL x-apple.systempreferences:com.apple.Startup-Disk-Settings.extension";
const std::string paneURL = "openURL file:///System/Library/PreferencePanes/StartupDisk.prefPane";

struct OpeningCase {
    const char* story;
    bool settingsOpens;
    bool paneOpens;
    Events expected;
};

void PrintTo(const OpeningCase& c, std::ostream* os) {
    *os << c.story;
}

class OpenStartupSettings : public testing::TestWithParam<OpeningCase> {};

TEST_P(OpenStartupSettings, TriesThePaneOnceOnlyWhenTheSettingsFail) {
    fake::FakePlatform fake;
    if (GetParam().settingsOpens)
        fake.workspace.openable.insert(settingsURL.substr(8));
    if (GetParam().paneOpens)
        fake.workspace.openable.insert(paneURL.substr(8));
    Kavelin kavelin(fake.platform);
    fake.story.events.clear();

    KavelinTestAccess::openStartupSettings(kavelin);
    EXPECT_EQ(fake.story.events, GetParam().expected);
    EXPECT_TRUE(fake.alerts.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, OpenStartupSettings,
    testing::Values(OpeningCase{"settings open", true, true, {settingsURL}},
                    OpeningCase{"settings fail, pane opens", false, true, {settingsURL, paneURL}},
                    OpeningCase{"both fail", false, false, {settingsURL, paneURL}}));

struct FallbackCase {
    const char* story;
    int answer;
    Events afterAlert;
};

void PrintTo(const FallbackCase& c, std::ostream* os) {
    *os << c.story;
}

class SettingsFallback : public testing::TestWithParam<FallbackCase> {};

TEST_P(SettingsFallback, ShowsTheTextsUnchangedAndOpensTheSettingsOnlyOnTheFirstButton) {
    fake::FakePlatform fake;
    fake.alerts.answers = {GetParam().answer};
    Kavelin kavelin(fake.platform);
    fake.story.events.clear();
    // No-break spaces, a typographic apostrophe and a private-use character pass through.
    const std::string title = "Le volume \u00ab\u00a0Data\u00a0\u00bb n\u2019est plus l\u00e0";
    const std::string detail = "Menu \uf8ff > R\u00e9glages Syst\u00e8me\u2026";

    KavelinTestAccess::showSettingsFallback(kavelin, title, detail);

    ASSERT_EQ(fake.alerts.shown.size(), 1u);
    const platform::Alert& alert = fake.alerts.shown[0];
    EXPECT_EQ(alert.messageText, title);
    EXPECT_EQ(alert.informativeText, detail);
    ASSERT_EQ(alert.buttons.size(), 2u);
    EXPECT_EQ(alert.buttons[0].title, "Ouvrir Disque de démarrage");
    EXPECT_EQ(alert.buttons[0].keyEquivalent, std::nullopt);
    EXPECT_EQ(alert.buttons[1].title, "Fermer");
    EXPECT_EQ(alert.buttons[1].keyEquivalent, std::optional<std::string>("\x1b"));

    Events expected{"alert " + title};
    expected.insert(expected.end(), GetParam().afterAlert.begin(), GetParam().afterAlert.end());
    EXPECT_EQ(fake.story.events, expected) << "no activation of its own either";
}

INSTANTIATE_TEST_SUITE_P(Answers, SettingsFallback,
                         testing::Values(FallbackCase{"open, settings fail: the pane follows",
                                                      1000,
                                                      {settingsURL, paneURL}},
                                         FallbackCase{"Fermer or Escape", 1001, {}},
                                         FallbackCase{"closed some other way", 0, {}}));

} // namespace
} // namespace kavelin
