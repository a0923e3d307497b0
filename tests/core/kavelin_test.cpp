// The delegate over the recording fake, told as a user in front of the menu-bar item.

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <stdexcept>

#include "app/kavelin.h"
#include "fake_platform.h"
#include "platform/trace.h"

namespace kavelin::flows {
namespace {

using fake::Calls;
// One line per item, with everything the menu shows or does.
std::string describe(const platform::MenuItem& item) {
    if (item.isSeparator)
        return "---";
    std::string line = item.title + (item.enabled ? "" : " [disabled]") +
                       (item.action ? " [action]" : "") + (item.isToggle ? " [toggle]" : "");
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
        item.action(item);
    }

    Calls rows() {
        Calls result;
        for (const auto& item : openMenu().items)
            result.push_back(describe(*item));
        return result;
    }

    fake::FakePlatform fake;
    Kavelin kavelin{fake.platform};
};

// The button gets the bundled icon and the tool tip before the loop runs.
TEST(ApplicationStart, RunsInOrderAndDropsTheDelegateAfterTheLoop) {
    fake::FakePlatform fake;
    fake.iconPath = "/usr/share/kavelin/MenuIcon.png";
    Kavelin* running = nullptr;
    platform::MenuDelegate* menuDelegate = nullptr;
    fake.whileRunning = [&] {
        running = dynamic_cast<Kavelin*>(fake.delegate);
        menuDelegate = fake.statusItem->delegate;
        EXPECT_EQ(fake.statusItem->image, (platform::Image{platform::Image::Kind::file,
                                                           *fake.iconPath, 18, 18, "Kavelin"}));
        EXPECT_EQ(fake.statusItem->toolTip, "Kavelin");
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

using MenuRebuild = Desktop;

// The whole menu around the given volume rows.
Calls expected(Calls volumes, const std::string& launchAtLogin = "") {
    volumes.insert(volumes.begin(), "Disques de d\u00e9marrage [disabled]");
    volumes.insert(
        volumes.end(),
        {"---", "Ouvrir Disque de d\u00e9marrage\u2026 [action]",
         "Options [submenu Options: Boot au d\u00e9marrage du syst\u00e8me [action] [toggle]" +
             launchAtLogin + "]",
         "---", "Quitter Kavelin [action]"});
    return volumes;
}

// Each opening reads the volumes afresh, in discovery order.
TEST_F(MenuRebuild, ListsTheVolumesMountedAtEachOpening) {
    fake.addVolume("/", "Macintosh HD", "UUID-1", "14.5");
    fake.addVolume("/Volumes/Zeta", "Zeta", "UUID-3", "13.6");
    fake.addVolume("/Volumes/Alpha", "Alpha", std::nullopt, "15.0");
    fake.mounts = {{"/", "/Volumes/Zeta", "/Volumes/Alpha"}};
    const std::string hd =
        "Macintosh HD  \u2014  macOS 14.5 (en cours) [action] [image internaldrive]";
    EXPECT_EQ(rows(), expected({hd, "Alpha  \u2014  macOS 15.0 [action] [image internaldrive]",
                                "Zeta  \u2014  macOS 13.6 [action] [image internaldrive]"}));
    fake.mounts = {{"/"}};
    EXPECT_EQ(rows(), expected({hd}));
}

TEST_F(MenuRebuild, LaunchAtLoginItemShowsTheStatusReadAtEachOpening) {
    fake.statuses = {0, 1, 2};
    for (const std::string row :
         {"", " [on]", " [mixed] [tip Autorisation requise dans R\u00e9glages Syst\u00e8me.]"})
        EXPECT_EQ(rows(), expected({"Aucun volume macOS d\u00e9tect\u00e9 [disabled]"}, row));
}

constexpr int restartNow = 1000, nextStart = 1001, cancel = 1002, open = 1000, close = 1001;

// The call of an alert whose buttons open the settings or close it.
std::string fallback(const std::string& message, const std::string& detail) {
    return "alert " + message + " | " + detail + " | Ouvrir Disque de démarrage | Fermer [\x1B]";
}

const std::string refused = "macOS a refusé le changement de disque.";
const std::string settings =
    "openURL x-apple.systempreferences:com.apple.Startup-Disk-Settings.extension";
const std::string pane = "openURL file:///System/Library/PreferencePanes/StartupDisk.prefPane";
std::string blessRun(const std::string& options) {
    return "execute do shell script \"/usr/sbin/bless --mount '/Volumes/Data' " + options +
           " </dev/null\" with administrator privileges";
}
const std::string restart = blessRun("--setBoot"), nextOnly = blessRun("--setBoot --nextonly");
const auto refusedRestart =
    fallback(refused, "Sélectionne «\u00A0Data\u00A0» dans Disque de démarrage et confirme le "
                      "redémarrage. macOS peut demander l’autorisation d’un propriétaire du Mac.");

platform::ScriptExecution scriptError(std::int64_t number) {
    return {false, platform::ScriptErrorDictionary{{platform::appleScriptErrorNumber, number}}};
}

struct Outcome {
    std::string situation;
    std::vector<int> answers;
    std::optional<platform::ScriptExecution> script;
    bool restartAnswered;
    Calls then;
    std::function<void(fake::FakePlatform&)> onDisk = {}; // while the choice alert is up
    friend void PrintTo(const Outcome& outcome, std::ostream* out) { *out << outcome.situation; }
};

class SelectVolume : public Desktop, public testing::WithParamInterface<Outcome> {
protected:
    void SetUp() override {
        fake.addVolume("/", "Macintosh HD", "UUID-ROOT", "14.5");
        fake.addVolume("/Volumes/Data", "Data", "UUID-DATA", "15.1");
        fake.mounts = {{"/", "/Volumes/Data"}};
        Desktop::SetUp();
    }
};

// After the choice alert, first and after activation: what ran and which alerts followed. The busy
// flag is up through every alert and the privileged run, and down at the end; meanwhile the menu
// offers only its in-progress notice, reads no disk, and a second click on the volume is ignored.
TEST_P(SelectVolume, ShowsWhatTheSituationCallsFor) {
    const Outcome& row = GetParam();
    auto item = menuItem<VolumeMenuItem>("Data");
    bool alwaysBusy = true;
    std::vector<std::string> menuMeanwhile;
    std::size_t n = 0;
    fake.answer = [&](const platform::Alert&) {
        alwaysBusy = alwaysBusy && kavelin.working();
        if (n == 0) {
            const int reads = fake.attributeReads;
            menuMeanwhile = rows();
            EXPECT_EQ(fake.attributeReads, reads);
            item->action(*item);
            if (row.onDisk)
                row.onDisk(fake);
        }
        return n < row.answers.size() ? row.answers[n++] : cancel;
    };
    fake.whileScriptRuns = [&] { alwaysBusy = alwaysBusy && kavelin.working(); };
    fake.scriptOutcome = row.script;
    fake.restartAnswered = row.restartAnswered;

    click(*item);

    Calls calls{"activate", "alert Démarrer sur «\u00A0Data\u00A0» | Choisis quand utiliser ce "
                            "disque. « Redémarrer maintenant » en fait le disque par défaut. « Au "
                            "prochain redémarrage » l’utilise une seule fois. | Redémarrer "
                            "maintenant… [] | Au prochain redémarrage [] | Annuler [\x1B]"};
    calls.insert(calls.end(), row.then.begin(), row.then.end());
    EXPECT_EQ(fake.calls, calls);
    EXPECT_EQ(menuMeanwhile, Calls{"Autorisation en cours… [disabled]"});
    EXPECT_TRUE(alwaysBusy);
    EXPECT_FALSE(kavelin.working());
}

const platform::ScriptExecution succeeded{true, {}};

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    EverySituation, SelectVolume,
    testing::Values(
        Outcome{"cancelled", {cancel}, succeeded, true, {}},
        // Closed some other way than by a button: as "Annuler".
        Outcome{"choiceClosedOtherwise", {0}, succeeded, true, {}},
        Outcome{"restartPromptDismissed", {restartNow}, scriptError(-128), true, {restart}},
        Outcome{"restartRefused", {restartNow, close}, scriptError(1), true,
                {restart, refusedRestart}},
        Outcome{"restartRefusedSettingsOpened", {restartNow, open}, std::nullopt, true,
                {restart, refusedRestart, settings, pane}},
        Outcome{"nextStartRefused", {nextStart, close}, std::nullopt, true,
                {nextOnly, fallback(refused, "Pour un démarrage unique, choisis ce disque dans les "
                 "options de démarrage du Mac. Disque de démarrage permet de changer le disque par "
                 "défaut.")}},
        // The answer to the "OK" alert is not looked at.
        Outcome{"nextStartSet", {nextStart, -1}, succeeded, true,
                {nextOnly, "alert Prochain démarrage sur «\u00A0Data\u00A0» | Le Mac utilisera ce "
                 "disque une fois lors du prochain démarrage. Laisse le disque branché s’il est "
                 "externe. | OK"}},
        Outcome{"restartSetAndRequestAnswered", {restartNow}, succeeded, true,
                {restart, "requestRestart"}},
        Outcome{"restartSetButRequestUnanswered", {restartNow, close}, succeeded, false,
                {restart, "requestRestart", fallback("Le disque de démarrage a été configuré.",
                 "Pour redémarrer, utilise le menu \uF8FF > Redémarrer.")}},
        Outcome{"unmounted", {restartNow, close}, succeeded, true,
                {fallback("Le volume a changé ou a été déconnecté.",
                          "Rouvre le menu pour actualiser la liste.")},
                [](auto& v) { v.mounts = {{"/"}}; }},
        // Unmounted, then mounted again unchanged, behind another volume: the same record.
        Outcome{"remountedUnchanged", {restartNow}, succeeded, true, {restart, "requestRestart"},
                [](auto& v) { v.addVolume("/Volumes/Backup", "Backup", "UUID-BACKUP", "13.0");
                              v.mounts = {{"/Volumes/Backup", "/Volumes/Data", "/"}}; }}),
    [](const auto& info) { return info.param.situation; });
// clang-format on

const std::string approval = "alert Autoriser l’ouverture à la connexion | Autorise Kavelin dans "
                             "les réglages des éléments d’ouverture. | Ouvrir Réglages Système | "
                             "Fermer [\x1B]";
const std::string error = "Impossible d’écrire «\u00A0/x\u00A0»\u00A0: Permission denied";
const std::string failure = "alert Le réglage d’ouverture n’a pas été modifié. | " + error +
                            " | Ouvrir Réglages Système | Fermer [\x1B]";

struct Row {
    std::string situation;
    std::deque<int> statuses;         // as read by the click, before then after its own call
    std::optional<std::string> error; // of register and unregister alike
    int answer;                       // to the alert, if one shows
    Calls calls;
    friend void PrintTo(const Row& row, std::ostream* out) { *out << row.situation; }
};

class LaunchAtLogin : public Desktop, public testing::WithParamInterface<Row> {};

TEST_P(LaunchAtLogin, MakesTheCallsOfItsRow) {
    const Row& row = GetParam();
    fake.statuses = row.statuses;
    fake.statuses.push_front(row.statuses.front()); // read as the menu opens
    fake.loginError = row.error;
    fake.answer = [&](auto&) { return row.answer; };
    click(*menuItem("Boot au démarrage du système"));
    EXPECT_EQ(fake.calls, row.calls);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    EveryRow, LaunchAtLogin,
    testing::Values(
        Row{"enabledUnregistered", {1}, {}, 1000, {"status 1", "unregister"}},
        Row{"enabledUnregisterFails", {1}, error, 1000,
            {"status 1", "unregister", "activate", failure, "openLoginItemsSettings"}},
        Row{"approvalPending", {2}, {}, 1001, {"status 2", "activate", approval}},
        Row{"notRegisteredNowEnabled", {0, 1}, {}, 1000, {"status 0", "register", "status 1"}},
        // Any status short of enabled after registering asks for approval.
        Row{"registeredButStillOff", {7, 0}, {}, 1000,
            {"status 7", "register", "status 0", "activate", approval, "openLoginItemsSettings"}},
        Row{"registerFails", {0}, error, -1, {"status 0", "register", "activate", failure}}),
    [](const auto& info) { return info.param.situation; });
// clang-format on

// The older preference pane is tried only when the settings do not open; with the trace on, each
// way in that does not open says so, one that opens says nothing.
TEST_F(MenuRebuild, OpenStartupDiskThenQuit) {
    setenv("KAVELIN_TRACE", "1", 1);
    const bool tracing = platform::traceEnabled(); // read once, maybe before this test
    const std::string url = settings.substr(8), file = pane.substr(8),
                      tried =
                          "kavelin: réglages: " + url + " ne s’ouvre pas : essai de " + file + "\n";
    const std::tuple<std::set<std::string>, Calls, std::string> rows[] = {
        {{}, {settings, pane}, tried + "kavelin: réglages: " + file + " ne s’ouvre pas\n"},
        {{file}, {settings, pane}, tried},
        {{url}, {settings}, ""}};
    for (const auto& [openable, calls, traced] : rows) {
        fake.openable = openable;
        testing::internal::CaptureStderr();
        click(*menuItem("Ouvrir Disque de démarrage…"));
        EXPECT_EQ(fake.calls, calls);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), tracing ? traced : "");
    }
    click(*menuItem("Quitter"));
    EXPECT_EQ(fake.calls, Calls{"terminate"});
}

} // namespace
} // namespace kavelin::flows
