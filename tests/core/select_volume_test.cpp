// The story of one click on a volume in the status menu, from the choice alert to the last alert.

#include <functional>

#include "flow_fixture.h"

namespace kavelin::flows {
namespace {

constexpr int restartNow = 1000, nextStart = 1001, cancel = 1002, close = 1001;

std::vector<std::string> choice(const std::string& name) {
    return {"Démarrer sur «\u00A0" + name + "\u00A0»",
            "Choisis quand utiliser ce disque. « Redémarrer maintenant » en fait le disque par "
            "défaut. « Au prochain redémarrage » l’utilise une seule fois.",
            "Redémarrer maintenant… []", "Au prochain redémarrage []", "Annuler [\x1B]"};
}

std::vector<std::string> fallback(const std::string& message, const std::string& detail) {
    return {message, detail, "Ouvrir Disque de démarrage", "Fermer [\x1B]"};
}

const std::string changed = "Le volume a changé ou a été déconnecté.";
const std::string refused = "macOS a refusé le changement de disque.";
const std::string nextStartSet = "Prochain démarrage sur «\u00A0Data\u00A0»";
const std::string configured = "Le disque de démarrage a été configuré.";
const Events stopped{"alert " + changed};
const auto volumeChanged = fallback(changed, "Rouvre le menu pour actualiser la liste.");

std::string bless(const std::string& path, const std::string& options) {
    return "execute do shell script \"/usr/sbin/bless --mount " + path + " --setBoot" + options +
           " </dev/null\" with administrator privileges";
}
const std::string dataRestart = bless("'/Volumes/Data'", "");
const std::string dataNextOnly = bless("'/Volumes/Data'", " --nextonly");

std::string refusedRestartDetail(const std::string& name) {
    return "Sélectionne «\u00A0" + name +
           "\u00A0» dans Disque de démarrage et confirme le redémarrage. macOS peut demander "
           "l’autorisation d’un propriétaire du Mac.";
}

platform::ScriptExecution scriptError(platform::ScriptErrorValue number) {
    return {false, platform::ScriptErrorDictionary{{platform::appleScriptErrorNumber, number}}};
}

class SelectVolume : public Desktop {
protected:
    void SetUp() override {
        fake.volumes.addVolume("/", "Macintosh HD", "UUID-ROOT", "14.5");
        fake.volumes.addVolume("/Volumes/Data", "Data", "UUID-DATA", "15.1");
        fake.volumes.mounts = {{"/", "/Volumes/Data"}};
        Desktop::SetUp();
    }
};

struct Outcome {
    std::string situation;
    std::vector<int> answers;
    std::optional<platform::ScriptExecution> script;
    bool restartAnswers;
    Events then;
    Alerts alertsThen;
    std::function<void(fake::FakeVolumeSource&)> onDisk = {}; // while the choice alert is up
    bool flipRunningFlag = false; // of the item's record: no disk changes that in place
    friend void PrintTo(const Outcome& outcome, std::ostream* out) { *out << outcome.situation; }
};

class SelectVolumeOutcome : public SelectVolume, public testing::WithParamInterface<Outcome> {};

// After the choice alert, always first and after activation: what ran and which alerts followed.
// The flag is up through every alert and the privileged run, and down at the end. A volume that
// changed between the opening of the menu and the answer to the choice stops before any command.
TEST_P(SelectVolumeOutcome, ShowsWhatTheSituationCallsFor) {
    const Outcome& row = GetParam();
    auto item = menuItem<VolumeMenuItem>("Data");
    const StartupVolume& v = *item->volume;
    if (row.flipRunningFlag)
        item->volume = StartupVolume(v.url(), v.name(), v.version(), v.uuid(), !v.isCurrent());
    bool alwaysBusy = true;
    fake.alerts.answering = [&](const platform::Alert&) {
        alwaysBusy = alwaysBusy && kavelin.working();
        const std::size_t n = fake.alerts.shown.size() - 1;
        if (n == 0 && row.onDisk)
            row.onDisk(fake.volumes);
        return n < row.answers.size() ? row.answers[n] : cancel;
    };
    fake.scripts.whileRunning = [&] { alwaysBusy = alwaysBusy && kavelin.working(); };
    fake.scripts.outcome = row.script;
    fake.restart.answers = row.restartAnswers;

    click(*item);

    Events events{"activate", "alert Démarrer sur «\u00A0Data\u00A0»"};
    events.insert(events.end(), row.then.begin(), row.then.end());
    Alerts alerts{choice("Data")};
    alerts.insert(alerts.end(), row.alertsThen.begin(), row.alertsThen.end());
    EXPECT_EQ(fake.story.events, events);
    EXPECT_EQ(describe(fake.alerts.shown), alerts);
    EXPECT_TRUE(alwaysBusy);
    EXPECT_FALSE(kavelin.working());
}

const platform::ScriptExecution succeeded{true, {}};

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
                {dataRestart, "alert " + refused},
                {fallback(refused, refusedRestartDetail("Data"))}},
        Outcome{"nextStartRefused", {nextStart, close}, std::nullopt, true,
                {dataNextOnly, "alert " + refused},
                {fallback(refused, "Pour un démarrage unique, choisis ce disque dans les options "
                          "de démarrage du Mac. Disque de démarrage permet de changer le disque "
                          "par défaut.")}},
        // The answer to the "OK" alert is not looked at.
        Outcome{"nextStartSet", {nextStart, -1}, succeeded, true,
                {dataNextOnly, "alert " + nextStartSet},
                {{nextStartSet, "Le Mac utilisera ce disque une fois lors du prochain démarrage. "
                  "Laisse le disque branché s’il est externe.", "OK"}}},
        Outcome{"restartSetAndRequestAnswered", {restartNow}, succeeded, true,
                {dataRestart, "requestRestart"}, {}},
        Outcome{"restartSetButRequestUnanswered", {restartNow, close}, succeeded, false,
                {dataRestart, "requestRestart", "alert " + configured},
                {fallback(configured, "Pour redémarrer, utilise le menu \uF8FF > Redémarrer.")}},
        Outcome{"unmounted", {restartNow, close}, succeeded, true, stopped, {volumeChanged},
                [](auto& v) { v.mounts = {{"/"}}; }},
        Outcome{"renamed", {restartNow, close}, succeeded, true, stopped, {volumeChanged},
                [](auto& v) { v.volumeAttributes["/Volumes/Data"].volumeName = "D"; }},
        Outcome{"newVersion", {restartNow, close}, succeeded, true, stopped, {volumeChanged},
                [](auto& v) { v.addVolume("/Volumes/Data", "Data", "UUID-DATA", "15.2"); }},
        Outcome{"reformatted", {restartNow, close}, succeeded, true, stopped, {volumeChanged},
                [](auto& v) { v.addVolume("/Volumes/Data", "Data", "UUID-NEW", "15.1"); }},
        Outcome{"runningSystemFlagChanged", {restartNow, close}, succeeded, true, stopped,
                {volumeChanged}, {}, true},
        // Unmounted, then mounted again unchanged, behind another volume: the same record.
        Outcome{"remountedUnchanged", {restartNow}, succeeded, true,
                {dataRestart, "requestRestart"}, {}, [](auto& v) {
                    v.mounts = {{"/"}};
                    v.addVolume("/Volumes/Backup", "Backup", "UUID-BACKUP", "13.0");
                    v.addVolume("/Volumes/Data", "Data", "UUID-DATA", "15.1");
                    v.mounts = {{"/Volumes/Backup", "/Volumes/Data", "/"}};
                }}),
    [](const auto& info) { return info.param.situation; });
// clang-format on

// While the choice alert is up the user opens the menu again and clicks the same volume, then an
// item without a volume: the menu offers only its in-progress entry, neither click shows anything
// or lowers the flag, and the first flow goes on with the record it copied.
TEST_F(SelectVolume, SecondSelectionWhileBusyIsIgnored) {
    auto item = menuItem<VolumeMenuItem>("Data");
    Events menuMeanwhile;
    fake.alerts.answering = [&](const platform::Alert&) {
        if (fake.alerts.shown.size() > 1)
            return cancel; // a second choice alert would be the fault; the last one is not read
        for (const auto& entry : openMenu().items)
            menuMeanwhile.push_back(entry->title);
        item->action(*item);
        VolumeMenuItem withoutVolume("Data", item->action);
        withoutVolume.action(withoutVolume);
        EXPECT_TRUE(kavelin.working());
        return nextStart;
    };

    click(*item);

    EXPECT_EQ(menuMeanwhile, Events{"Autorisation en cours…"});
    EXPECT_EQ(fake.story.matching("alert"),
              (Events{"alert Démarrer sur «\u00A0Data\u00A0»", "alert " + nextStartSet}));
    EXPECT_EQ(fake.story.matching("execute"), Events{dataNextOnly});
    EXPECT_FALSE(kavelin.working());
}

TEST_F(SelectVolume, ItemWithoutVolumeDoesNothing) {
    VolumeMenuItem withoutVolume("Data", menuItem("Data")->action);

    click(withoutVolume);

    EXPECT_EQ(fake.story.events, Events{}); // not even an activation or an alert
    EXPECT_FALSE(kavelin.working());
}

// Quotes, guillemets, a backslash and a dollar sign: the name stands verbatim in every text, and
// the path reaches the command only inside its quoting.
TEST_F(SelectVolume, HostileNameIsShownVerbatimAndQuotedInTheCommand) {
    const std::string name = "« Archives » \"2024\" l'été \\ $HOME `id`";
    const std::string path = "/Volumes/Le \"Grand\" l'été";
    fake.volumes.addVolume(path, name, "UUID-HOSTILE", "15.1");
    fake.volumes.mounts = {{"/", "/Volumes/Data", path}};
    fake.alerts.answers = {restartNow, close};
    fake.scripts.outcome = scriptError(std::int64_t{1});

    click(*menuItem<VolumeMenuItem>(name));

    EXPECT_EQ(describe(fake.alerts.shown),
              (Alerts{choice(name), fallback(refused, refusedRestartDetail(name))}));
    EXPECT_EQ(fake.story.matching("execute"),
              Events{bless(R"('/Volumes/Le \"Grand\" l'\\''été')", "")});
    EXPECT_FALSE(kavelin.working());
}

} // namespace
} // namespace kavelin::flows
