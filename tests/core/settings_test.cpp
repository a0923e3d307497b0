// The stories of the settings: one click on "Boot au démarrage du système" in the "Options"
// submenu, and the way to the Startup Disk settings, directly or through the fallback alert.

#include "flow_fixture.h"
#include "settings/startup_settings.h"

namespace kavelin::flows {
namespace {

const std::string approval = "Autoriser l’ouverture à la connexion";
const std::string failure = "Le réglage d’ouverture n’a pas été modifié.";
const std::string error = "Impossible d’écrire «\u00A0/x\u00A0»\u00A0: Permission denied";

std::vector<std::string> alert(const std::string& message) {
    return {message,
            message == approval ? "Autorise Kavelin dans les réglages des éléments d’ouverture."
                                : error,
            "Ouvrir Réglages Système", "Fermer [\x1B]"};
}

struct Row {
    std::string situation;
    std::deque<int> statuses;         // as read by the click, before then after its own call
    std::optional<std::string> error; // of register and unregister alike
    int answer;                       // to the alert, if one shows
    Events events;
    std::optional<std::string> alert;
    friend void PrintTo(const Row& row, std::ostream* out) { *out << row.situation; }
};

class LaunchAtLogin : public Desktop, public testing::WithParamInterface<Row> {};

TEST_P(LaunchAtLogin, MakesTheCallAndShowsTheAlertOfItsRow) {
    const Row& row = GetParam();
    fake.loginItems.statuses = row.statuses;
    fake.loginItems.statuses.push_front(row.statuses.front()); // read as the menu opens
    fake.loginItems.registerError = fake.loginItems.unregisterError = row.error;
    fake.alerts.answers = {row.answer};

    click(*menuItem("Boot au démarrage du système"));

    EXPECT_EQ(fake.story.events, row.events);
    EXPECT_EQ(describe(fake.alerts.shown), row.alert ? Alerts{alert(*row.alert)} : Alerts{});
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    EveryRow, LaunchAtLogin,
    testing::Values(
        Row{"enabledUnregistered", {1}, {}, 1000, {"status 1", "unregister"}, {}},
        Row{"enabledUnregisterFails", {1}, error, 1000,
            {"status 1", "unregister", "activate", "alert " + failure, "openLoginItemsSettings"},
            failure},
        Row{"approvalPending", {2}, {}, 1001,
            {"status 2", "activate", "alert " + approval}, approval},
        Row{"notRegisteredNowEnabled", {0, 1}, {}, 1000, {"status 0", "register", "status 1"}, {}},
        Row{"notFoundNowEnabled", {3, 1}, {}, 1000, {"status 3", "register", "status 1"}, {}},
        Row{"registeredButNeedsApproval", {0, 2}, {}, 1000,
            {"status 0", "register", "status 2", "activate", "alert " + approval,
             "openLoginItemsSettings"}, approval},
        // Any status short of enabled after registering asks for approval; Escape closes it.
        Row{"registeredButStillOff", {7, 0}, {}, 1001,
            {"status 7", "register", "status 0", "activate", "alert " + approval}, approval},
        Row{"registerFails", {0}, error, -1,
            {"status 0", "register", "activate", "alert " + failure}, failure}),
    [](const auto& info) { return info.param.situation; });
// clang-format on

TEST(StartupSettings, TriesThePaneOnceOnlyWhenTheSettingsFail) {
    const std::string settings =
        "openURL x-apple.systempreferences:com.apple.Startup-Disk-Settings.extension";
    const std::string pane = "openURL file:///System/Library/PreferencePanes/StartupDisk.prefPane";
    const struct {
        const char* story;
        std::optional<int> alertAnswer; // through the fallback alert, else directly
        bool settingsOpen;
        Events expected;
    } cases[] = {{"settings open", std::nullopt, true, {settings}},
                 {"settings and pane fail", std::nullopt, false, {settings, pane}},
                 {"alert: open, settings fail", 1000, false, {"alert Titre", settings, pane}},
                 {"alert: Fermer or Escape", 1001, true, {"alert Titre"}},
                 {"alert closed some other way", 0, true, {"alert Titre"}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.story);
        fake::FakePlatform fake;
        if (c.settingsOpen)
            fake.workspace.openable.insert(settings.substr(8));
        fake.alerts.answers = {c.alertAnswer.value_or(platform::firstButtonReturn)};
        if (c.alertAnswer)
            showSettingsFallback(fake.platform, "Titre", "D\u00e9tail");
        else
            openStartupSettings(fake.platform);
        EXPECT_EQ(fake.story.events, c.expected) << "no activation, no report";
        EXPECT_EQ(fake.alerts.shown.size(), c.alertAnswer ? 1u : 0u);
    }
}

} // namespace
} // namespace kavelin::flows
