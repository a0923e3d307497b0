// The story of one click on a volume in the status menu, from the choice alert to the last alert.

#include <functional>

#include "flow_fixture.h"

namespace kavelin::flows {
namespace {

using Alerts = std::vector<std::vector<std::string>>;
using Events = std::vector<std::string>;

constexpr int restartNow = 1000;
constexpr int nextStart = 1001;
constexpr int cancel = 1002;
constexpr int close = 1001;

const std::string choiceDetail =
    "Choisis quand utiliser ce disque. « Redémarrer maintenant » en fait le disque par défaut. "
    "« Au prochain redémarrage » l’utilise une seule fois.";

std::vector<std::string> choice(const std::string& name) {
    return {"Démarrer sur «\u00A0" + name + "\u00A0»", choiceDetail,
            "Redémarrer maintenant… (no key)", "Au prochain redémarrage (no key)",
            "Annuler (Escape)"};
}

std::vector<std::string> fallback(const std::string& message, const std::string& detail) {
    return {message, detail, "Ouvrir Disque de démarrage (platform key)", "Fermer (Escape)"};
}

const std::vector<std::string> volumeChanged =
    fallback("Le volume a changé ou a été déconnecté.", "Rouvre le menu pour actualiser la liste.");

const std::string dataRestart = "execute do shell script \"/usr/sbin/bless --mount "
                                "'/Volumes/Data' --setBoot </dev/null\" with administrator "
                                "privileges";
const std::string dataNextOnly = "execute do shell script \"/usr/sbin/bless --mount "
                                 "'/Volumes/Data' --setBoot --nextonly </dev/null\" with "
                                 "administrator privileges";

platform::ScriptExecution scriptError(platform::ScriptErrorValue number) {
    return {false, platform::ScriptErrorDictionary{{platform::appleScriptErrorNumber, number}}};
}

class SelectVolume : public Desktop {
protected:
    void SetUp() override {
        fake.volumes.addVolume("/", "Macintosh HD", "UUID-ROOT", "14.5");
        fake.volumes.addVolume("/Volumes/Data", "Data", "UUID-DATA", "15.1");
        fake.volumes.mounts = {{"/", "/Volumes/Data"}};
        launch();
    }

    void answer(std::initializer_list<int> answers) { fake.alerts.answers = answers; }
    Alerts shown() const { return describe(fake.alerts.shown); }

    void choose(const std::string& name) {
        auto item = volumeItem(name);
        ASSERT_NE(item, nullptr);
        click(*item);
    }
};

// Each row of what the user can see: after the choice alert (always first, after activation),
// what ran and which alerts followed.
struct Outcome {
    std::string situation;
    std::vector<int> answers;
    std::optional<platform::ScriptExecution> script;
    bool restartAnswers;
    Events then;
    Alerts alertsThen;
    friend void PrintTo(const Outcome& outcome, std::ostream* out) { *out << outcome.situation; }
};

class SelectVolumeOutcome : public SelectVolume, public testing::WithParamInterface<Outcome> {};

TEST_P(SelectVolumeOutcome, ShowsWhatTheSituationCallsFor) {
    const Outcome& row = GetParam();
    fake.alerts.answers.assign(row.answers.begin(), row.answers.end());
    fake.scripts.outcome = row.script;
    fake.restart.answers = row.restartAnswers;

    choose("Data");

    Events events{"activate", "alert Démarrer sur «\u00A0Data\u00A0»"};
    events.insert(events.end(), row.then.begin(), row.then.end());
    Alerts alerts{choice("Data")};
    alerts.insert(alerts.end(), row.alertsThen.begin(), row.alertsThen.end());
    EXPECT_EQ(fake.story.events, events);
    EXPECT_EQ(shown(), alerts);
    EXPECT_FALSE(kavelin->working());
}

const platform::ScriptExecution succeeded{true, {}};
const std::string refused = "macOS a refusé le changement de disque.";
const std::vector<std::string> refusedRestart =
    fallback(refused, "Sélectionne «\u00A0Data\u00A0» dans Disque de démarrage et confirme le "
                      "redémarrage. macOS peut demander l’autorisation d’un propriétaire du Mac.");
const std::vector<std::string> refusedNextOnly =
    fallback(refused, "Pour un démarrage unique, choisis ce disque dans les options de démarrage "
                      "du Mac. Disque de démarrage permet de changer le disque par défaut.");
const std::vector<std::string> nextStartSet{
    "Prochain démarrage sur «\u00A0Data\u00A0»",
    "Le Mac utilisera ce disque une fois lors du prochain démarrage. Laisse le disque branché "
    "s’il est externe.",
    "OK (platform key)"};
const std::vector<std::string> restartByHand =
    fallback("Le disque de démarrage a été configuré.",
             "Pour redémarrer, utilise le menu \uF8FF > Redémarrer.");

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    EverySituation, SelectVolumeOutcome,
    testing::Values(
        Outcome{"cancelled", {cancel}, succeeded, true, {}, {}},
        // Closed some other way than by a button: as "Annuler".
        Outcome{"choiceClosedOtherwise", {0}, succeeded, true, {}, {}},
        Outcome{"restartPromptDismissed", {restartNow}, scriptError(std::int64_t{-128}), true,
                {dataRestart}, {}},
        Outcome{"restartRefused", {restartNow, close}, scriptError(std::int64_t{1}), true,
                {dataRestart, "alert " + refused}, {refusedRestart}},
        Outcome{"nextStartRefused", {nextStart, close}, std::nullopt, true,
                {dataNextOnly, "alert " + refused}, {refusedNextOnly}},
        // The answer to the "OK" alert is not looked at.
        Outcome{"nextStartSet", {nextStart, -1}, succeeded, true,
                {dataNextOnly, "alert Prochain démarrage sur «\u00A0Data\u00A0»"}, {nextStartSet}},
        Outcome{"restartSetAndRequestAnswered", {restartNow}, succeeded, true,
                {dataRestart, "requestRestart"}, {}},
        Outcome{"restartSetButRequestUnanswered", {restartNow, close}, succeeded, false,
                {dataRestart, "requestRestart", "alert Le disque de démarrage a été configuré."},
                {restartByHand}}),
    [](const auto& info) { return info.param.situation; });
// clang-format on

// The flag is up from the choice alert to the answer of the last alert, then down.
TEST_F(SelectVolume, StaysBusyUntilTheLastAlertIsAnswered) {
    fake.restart.answers = false;
    std::vector<bool> busyDuringAlerts;
    fake.alerts.answering = [&](const platform::Alert&) {
        busyDuringAlerts.push_back(kavelin->working());
        return busyDuringAlerts.size() == 1 ? restartNow : close;
    };
    bool busyWhileRunning = false;
    fake.scripts.whileRunning = [&] { busyWhileRunning = kavelin->working(); };

    choose("Data");

    EXPECT_EQ(busyDuringAlerts, (std::vector<bool>{true, true}));
    EXPECT_TRUE(busyWhileRunning);
    EXPECT_FALSE(kavelin->working());
}

// While the choice alert is up the user opens the menu again and clicks the same volume: the menu
// offers nothing but the notice, and the second click shows nothing. The first flow goes on with
// the record it copied, although its menu was rebuilt meanwhile.
TEST_F(SelectVolume, SecondSelectionWhileTheChoiceIsUpIsIgnored) {
    auto item = volumeItem("Data");
    ASSERT_NE(item, nullptr);
    std::vector<std::string> menuMeanwhile;
    bool noticeEnabled = true;
    std::size_t alertsAfterSecondClick = 0;
    bool busyAfterItemWithoutVolume = false;
    fake.alerts.answering = [&](const platform::Alert& alert) {
        // Only the first choice alert acts: a second one would be the fault under test.
        if (alert.messageText.starts_with("Démarrer sur") && fake.alerts.shown.size() == 1) {
            menuMeanwhile = openMenuTitles();
            noticeEnabled = openMenu().items.front()->enabled;
            item->action(*item);
            alertsAfterSecondClick = fake.alerts.shown.size();
            VolumeMenuItem empty("Data", item->action);
            empty.action(empty);
            busyAfterItemWithoutVolume = kavelin->working();
            return nextStart;
        }
        return alert.messageText.starts_with("Démarrer sur") ? cancel : 1000;
    };

    click(*item);

    EXPECT_EQ(menuMeanwhile, (std::vector<std::string>{"Autorisation en cours…"}));
    EXPECT_FALSE(noticeEnabled);
    EXPECT_EQ(alertsAfterSecondClick, 1u);
    EXPECT_TRUE(busyAfterItemWithoutVolume);
    EXPECT_EQ(fake.story.matching("execute"), Events{dataNextOnly});
    EXPECT_EQ(fake.story.matching("alert"),
              (Events{"alert Démarrer sur «\u00A0Data\u00A0»",
                      "alert Prochain démarrage sur «\u00A0Data\u00A0»"}));
    EXPECT_FALSE(kavelin->working());
}

// The same while the administrator prompt is up.
TEST_F(SelectVolume, SecondSelectionDuringThePromptIsIgnored) {
    auto item = volumeItem("Data");
    ASSERT_NE(item, nullptr);
    answer({restartNow});
    std::vector<std::string> menuMeanwhile;
    int prompts = 0;
    fake.scripts.whileRunning = [&] {
        if (++prompts > 1)
            return;
        menuMeanwhile = openMenuTitles();
        fake.alerts.answers = {cancel};
        item->action(*item);
    };

    click(*item);

    EXPECT_EQ(menuMeanwhile, (std::vector<std::string>{"Autorisation en cours…"}));
    EXPECT_EQ(fake.story.events, (Events{"activate", "alert Démarrer sur «\u00A0Data\u00A0»",
                                         dataRestart, "requestRestart"}));
    EXPECT_FALSE(kavelin->working());
}

TEST_F(SelectVolume, ItemWithoutVolumeDoesNothing) {
    auto item = volumeItem("Data");
    ASSERT_NE(item, nullptr);
    item->volume.reset();

    click(*item);

    EXPECT_TRUE(fake.story.events.empty());
    EXPECT_TRUE(fake.alerts.shown.empty());
    EXPECT_FALSE(kavelin->working());
}

// The disk changes between the opening of the menu and the answer to the choice alert.
struct Change {
    std::string what;
    std::function<void(fake::FakeVolumeSource&)> onDisk;
    friend void PrintTo(const Change& change, std::ostream* out) { *out << change.what; }
};

class StaleRecord : public SelectVolume, public testing::WithParamInterface<Change> {};

TEST_P(StaleRecord, StopsBeforeAnyCommandRuns) {
    auto item = volumeItem("Data");
    ASSERT_NE(item, nullptr);
    int alerts = 0;
    fake.alerts.answering = [&](const platform::Alert&) {
        if (++alerts == 1) {
            GetParam().onDisk(fake.volumes);
            return restartNow;
        }
        return close;
    };

    click(*item);

    EXPECT_EQ(fake.story.events, (Events{"activate", "alert Démarrer sur «\u00A0Data\u00A0»",
                                         "alert Le volume a changé ou a été déconnecté."}));
    EXPECT_EQ(shown(), (Alerts{choice("Data"), volumeChanged}));
    EXPECT_FALSE(kavelin->working());
}

INSTANTIATE_TEST_SUITE_P(
    EveryField, StaleRecord,
    testing::Values(
        Change{"unmounted", [](auto& v) { v.mounts = {{"/"}}; }},
        Change{"renamed",
               [](auto& v) { v.volumeAttributes["/Volumes/Data"].volumeName = "Données"; }},
        Change{"newVersion",
               [](auto& v) { v.addVolume("/Volumes/Data", "Data", "UUID-DATA", "15.2"); }},
        Change{"reformatted",
               [](auto& v) { v.addVolume("/Volumes/Data", "Data", "UUID-OTHER", "15.1"); }},
        Change{"uuidLost",
               [](auto& v) { v.addVolume("/Volumes/Data", "Data", std::nullopt, "15.1"); }},
        Change{"mountedElsewhere",
               [](auto& v) {
                   v.addVolume("/Volumes/Data 1", "Data", "UUID-DATA", "15.1");
                   v.mounts = {{"/", "/Volumes/Data 1"}};
               }}),
    [](const auto& info) { return info.param.what; });

// No disk stops or starts being the running system under the same path, so here the record the
// item carries is the one that differs from the fresh list.
TEST_F(SelectVolume, RecordWhoseRunningSystemFlagDiffersIsStale) {
    auto item = volumeItem("Data");
    ASSERT_NE(item, nullptr);
    const StartupVolume& v = *item->volume;
    item->volume = StartupVolume(v.url(), v.name(), v.version(), v.uuid(), !v.isCurrent());
    answer({restartNow, close});

    click(*item);

    EXPECT_EQ(shown(), (Alerts{choice("Data"), volumeChanged}));
    EXPECT_TRUE(fake.story.matching("execute").empty());
    EXPECT_FALSE(kavelin->working());
}

// Unmounted and mounted again while the choice was up, with an identical record, possibly reached
// in another order or with its name in another Unicode normalization form: the change goes ahead.
struct Remount {
    std::string how;
    std::string nameInMenu;
    std::string nameAfter;
    friend void PrintTo(const Remount& remount, std::ostream* out) { *out << remount.how; }
};

class RemountedVolume : public SelectVolume, public testing::WithParamInterface<Remount> {};

TEST_P(RemountedVolume, PassesTheCheck) {
    const Remount& row = GetParam();
    fake.volumes.addVolume("/Volumes/Data", row.nameInMenu, "UUID-DATA", "15.1");
    auto item = volumeItem(row.nameInMenu);
    ASSERT_NE(item, nullptr);
    fake.alerts.answering = [&](const platform::Alert&) {
        fake.volumes.mounts = {{"/"}};
        fake.volumes.addVolume("/Volumes/Backup", "Backup", "UUID-BACKUP", "13.0");
        fake.volumes.addVolume("/Volumes/Data", row.nameAfter, "UUID-DATA", "15.1");
        fake.volumes.mounts = {{"/Volumes/Backup", "/Volumes/Data", "/"}};
        return restartNow;
    };

    click(*item);

    EXPECT_EQ(fake.story.matching("execute"), Events{dataRestart});
    EXPECT_EQ(fake.alerts.shown.size(), 1u);
    EXPECT_FALSE(kavelin->working());
}

INSTANTIATE_TEST_SUITE_P(SameRecord, RemountedVolume,
                         testing::Values(Remount{"identical", "Data", "Data"},
                                         Remount{"decomposedName", "Donn\u00E9es",
                                                 "Donne\u0301es"}),
                         [](const auto& info) { return info.param.how; });

// Quotes, guillemets, a backslash and a dollar sign: the name stands verbatim in every text, and
// the path reaches the command only inside its quoting.
TEST_F(SelectVolume, HostileNameIsShownVerbatimAndQuotedInTheCommand) {
    const std::string name = "« Archives » \"2024\" l'été \\ $HOME `id`";
    const std::string path = "/Volumes/Le \"Grand\" l'été";
    fake.volumes.addVolume(path, name, "UUID-HOSTILE", "15.1");
    fake.volumes.mounts = {{"/", "/Volumes/Data", path}};
    answer({restartNow, close});
    fake.scripts.outcome = scriptError(std::int64_t{1});

    choose(name);

    EXPECT_EQ(shown(),
              (Alerts{choice(name),
                      fallback("macOS a refusé le changement de disque.",
                               "Sélectionne «\u00A0" + name +
                                   "\u00A0» dans Disque de démarrage et confirme le redémarrage. "
                                   "macOS peut demander l’autorisation d’un propriétaire du "
                                   "Mac.")}));
    EXPECT_EQ(fake.alerts.shown.front().messageText,
              "Démarrer sur «\u00A0« Archives » \"2024\" l'été \\ $HOME `id`\u00A0»");
    EXPECT_EQ(
        fake.story.matching("execute"),
        Events{
            R"x(execute do shell script "/usr/sbin/bless --mount '/Volumes/Le \"Grand\" l'\\''été' --setBoot </dev/null" with administrator privileges)x"});
    EXPECT_FALSE(kavelin->working());
}

} // namespace
} // namespace kavelin::flows
