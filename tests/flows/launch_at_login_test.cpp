// The story of one click on "Boot au démarrage du système" in the "Options" submenu.

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "flow_fixture.h"
#include "platform/linux/xdg_login_items.h"

namespace kavelin::flows {
namespace {

using Events = std::vector<std::string>;
using Alerts = std::vector<std::vector<std::string>>;

const std::vector<std::string> approval{
    "Autoriser l’ouverture à la connexion",
    "Autorise Kavelin dans les réglages des éléments d’ouverture.",
    "Ouvrir Réglages Système (platform key)", "Fermer (Escape)"};

std::vector<std::string> failure(const std::string& error) {
    return {"Le réglage d’ouverture n’a pas été modifié.", error,
            "Ouvrir Réglages Système (platform key)", "Fermer (Escape)"};
}

class LaunchAtLogin : public Desktop {
protected:
    const platform::MenuItem& launchAtLoginItem() {
        for (const auto& item : openMenu().items)
            if (item->submenu && item->title == "Options")
                for (const auto& sub : item->submenu->items)
                    if (sub->title == "Boot au démarrage du système")
                        return *sub;
        ADD_FAILURE() << "no launch-at-login item";
        static const platform::MenuItem none;
        return none;
    }
};

struct Row {
    std::string situation;
    std::deque<int> statuses; // as read by the click, before then after its own call
    std::optional<std::string> registerError;
    std::optional<std::string> unregisterError;
    int answer; // to the alert, if one shows
    Events events;
    Alerts alerts;
    friend void PrintTo(const Row& row, std::ostream* out) { *out << row.situation; }
};

class LaunchAtLoginOutcome : public LaunchAtLogin, public testing::WithParamInterface<Row> {};

TEST_P(LaunchAtLoginOutcome, MakesTheCallAndShowsTheAlertOfItsRow) {
    const Row& row = GetParam();
    launch();
    // The menu reads the status once as it opens; the click then reads its own.
    fake.loginItems.statuses = row.statuses;
    fake.loginItems.statuses.push_front(row.statuses.front());
    fake.loginItems.registerError = row.registerError;
    fake.loginItems.unregisterError = row.unregisterError;
    fake.alerts.answers = {row.answer};
    const platform::MenuItem& item = launchAtLoginItem();

    click(item);

    EXPECT_EQ(fake.story.events, row.events);
    EXPECT_EQ(describe(fake.alerts.shown), row.alerts);
}

const std::string error = "Impossible d’écrire «\u00A0/x\u00A0»\u00A0: Permission denied";

const std::string approvalShown = "alert Autoriser l’ouverture à la connexion";
const std::string failureShown = "alert Le réglage d’ouverture n’a pas été modifié.";

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    EveryRow, LaunchAtLoginOutcome,
    testing::Values(
        Row{"enabledUnregistered", {1}, {}, {}, 1000, {"status 1", "unregister"}, {}},
        Row{"enabledUnregisterFails", {1}, {}, error, 1000,
            {"status 1", "unregister", "activate", failureShown, "openLoginItemsSettings"},
            {failure(error)}},
        Row{"approvalPending", {2}, {}, {}, 1001, {"status 2", "activate", approvalShown},
            {approval}},
        Row{"notRegisteredNowEnabled", {0, 1}, {}, {}, 1000, {"status 0", "register", "status 1"}, {}},
        Row{"notFoundNowEnabled", {3, 1}, {}, {}, 1000, {"status 3", "register", "status 1"}, {}},
        Row{"registeredButNeedsApproval", {0, 2}, {}, {}, 1000,
            {"status 0", "register", "status 2", "activate", approvalShown, "openLoginItemsSettings"},
            {approval}},
        // Any status short of enabled after registering asks for approval; Escape closes it.
        Row{"registeredButStillOff", {7, 0}, {}, {}, 1001,
            {"status 7", "register", "status 0", "activate", approvalShown}, {approval}},
        Row{"registerFails", {0}, error, {}, -1,
            {"status 0", "register", "activate", failureShown}, {failure(error)}}),
    [](const auto& info) { return info.param.situation; });
// clang-format on

// The real autostart service under the switch, on a configuration folder of its own.
class LaunchAtLoginOnXdg : public LaunchAtLogin {
protected:
    void SetUp() override { launch(services); }
    void TearDown() override { std::filesystem::remove_all(root); }

    static std::string temporaryFolder() {
        std::string pattern = std::filesystem::temp_directory_path() / "kavelin-flow-XXXXXX";
        return ::mkdtemp(pattern.data()) ? pattern : std::string{};
    }

    std::string root = temporaryFolder();
    platform::XdgLoginItems service{
        root + "/config",
        {root + "/system"},
        "/usr/bin/kavelin",
        [this](const std::string& folder) { fake.story.record("open folder " + folder); }};
    platform::Platform services{fake.application, fake.statusBar, fake.images,  fake.alerts,
                                fake.workspace,   service,        fake.volumes, fake.platform.text,
                                fake.scripts,     fake.restart};
};

TEST_F(LaunchAtLoginOnXdg, TwoClicksSwitchItOnThenOffWithoutAlert) {
    click(launchAtLoginItem());
    EXPECT_EQ(launchAtLoginItem().state, platform::ItemState::on);
    click(launchAtLoginItem());
    EXPECT_EQ(launchAtLoginItem().state, platform::ItemState::off);
    EXPECT_TRUE(fake.alerts.shown.empty());
}

TEST_F(LaunchAtLoginOnXdg, UnwritableFolderShowsTheServiceErrorUnchanged) {
    // Root writes through any permission bits, so the folder is made a file instead.
    std::filesystem::create_directories(root + "/config");
    std::ofstream(root + "/config/autostart") << "not a folder";
    fake.alerts.answers = {1000};

    click(launchAtLoginItem());

    EXPECT_EQ(describe(fake.alerts.shown),
              (Alerts{failure("Impossible d’écrire «\u00A0" + root +
                              "/config/autostart/kavelin.desktop\u00A0»\u00A0: Not a directory")}));
    EXPECT_EQ(fake.story.matching("open folder"),
              Events{"open folder " + root + "/config/autostart"});
    EXPECT_EQ(launchAtLoginItem().state, platform::ItemState::off);
}

} // namespace
} // namespace kavelin::flows
