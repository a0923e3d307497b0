// The stories of the settings: one click on "Boot au démarrage du système" in the "Options"
// submenu, and one on "Ouvrir Disque de démarrage…".

#include "flow_fixture.h"

namespace kavelin::flows {
namespace {

const std::string approval = "Autoriser l’ouverture à la connexion";
const std::string failure = "Le réglage d’ouverture n’a pas été modifié.";
const std::string error = "Impossible d’écrire «\u00A0/x\u00A0»\u00A0: Permission denied";

struct Row {
    std::string situation;
    std::deque<int> statuses;         // as read by the click, before then after its own call
    std::optional<std::string> error; // of register and unregister alike
    int answer;                       // to the alert, if one shows
    Calls calls;
    std::optional<std::string> alert;
    friend void PrintTo(const Row& row, std::ostream* out) { *out << row.situation; }
};

class LaunchAtLogin : public Desktop, public testing::WithParamInterface<Row> {};

TEST_P(LaunchAtLogin, MakesTheCallAndShowsTheAlertOfItsRow) {
    const Row& row = GetParam();
    fake.statuses = row.statuses;
    fake.statuses.push_front(row.statuses.front()); // read as the menu opens
    fake.loginError = row.error;
    fake.answers = {row.answer};

    click(*menuItem("Boot au démarrage du système"));

    EXPECT_EQ(fake.calls, row.calls);
    Alerts alerts;
    if (row.alert)
        alerts.push_back({*row.alert,
                          *row.alert == approval
                              ? "Autorise Kavelin dans les réglages des éléments d’ouverture."
                              : error,
                          "Ouvrir Réglages Système", "Fermer [\x1B]"});
    EXPECT_EQ(describe(fake.alerts), alerts);
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
        // Any status short of enabled after registering asks for approval.
        Row{"registeredButStillOff", {7, 0}, {}, 1000,
            {"status 7", "register", "status 0", "activate", "alert " + approval,
             "openLoginItemsSettings"}, approval},
        Row{"registerFails", {0}, error, -1,
            {"status 0", "register", "activate", "alert " + failure}, failure}),
    [](const auto& info) { return info.param.situation; });
// clang-format on

// The older preference pane is tried only when the settings do not open.
TEST_F(Desktop, OpenStartupDiskItemOpensTheSettingsOrElseThePane) {
    const std::string settings =
        "openURL x-apple.systempreferences:com.apple.Startup-Disk-Settings.extension";
    const std::string pane = "openURL file:///System/Library/PreferencePanes/StartupDisk.prefPane";
    click(*menuItem("Ouvrir Disque de démarrage…"));
    EXPECT_EQ(fake.calls, (Calls{settings, pane}));
    fake.openable.insert(settings.substr(8));
    click(*menuItem("Ouvrir Disque de démarrage…"));
    EXPECT_EQ(fake.calls, Calls{settings});
}

} // namespace
} // namespace kavelin::flows
