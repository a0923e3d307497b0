// The story of one click on a volume in the status menu, from the choice alert to the last alert.

#include <functional>

#include "flow_fixture.h"

namespace kavelin::flows {
namespace {

constexpr int restartNow = 1000, nextStart = 1001, cancel = 1002, open = 1000, close = 1001;

std::vector<std::string> fallback(const std::string& message, const std::string& detail) {
    return {message, detail, "Ouvrir Disque de démarrage", "Fermer [\x1B]"};
}

const std::string changed = "Le volume a changé ou a été déconnecté.";
const std::string refused = "macOS a refusé le changement de disque.";
const std::string nextStartSet = "Prochain démarrage sur «\u00A0Data\u00A0»";
const std::string configured = "Le disque de démarrage a été configuré.";
const std::string settings =
    "openURL x-apple.systempreferences:com.apple.Startup-Disk-Settings.extension";
const std::string pane = "openURL file:///System/Library/PreferencePanes/StartupDisk.prefPane";
const std::string restart = "execute do shell script \"/usr/sbin/bless --mount '/Volumes/Data' "
                            "--setBoot </dev/null\" with administrator privileges";
const std::string nextOnly = "execute do shell script \"/usr/sbin/bless --mount '/Volumes/Data' "
                             "--setBoot --nextonly </dev/null\" with administrator privileges";
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
    Alerts alertsThen;
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

// After the choice alert, always first and after activation: what ran and which alerts followed.
// The busy flag is up through every alert and the privileged run, and down at the end; meanwhile
// the menu offers only its in-progress notice, reads no disk, and a second click on the volume is
// ignored. A volume that changed between the opening of the menu and the answer to the choice
// stops before any command.
TEST_P(SelectVolume, ShowsWhatTheSituationCallsFor) {
    const Outcome& row = GetParam();
    auto item = menuItem<VolumeMenuItem>("Data");
    bool alwaysBusy = true;
    std::vector<std::string> menuMeanwhile;
    fake.answer = [&](const platform::Alert&) {
        alwaysBusy = alwaysBusy && kavelin.working();
        const std::size_t n = fake.alerts.size() - 1;
        if (n == 0) {
            const int reads = fake.attributeReads;
            for (const auto& entry : openMenu().items)
                menuMeanwhile.push_back(entry->title);
            EXPECT_EQ(fake.attributeReads, reads);
            item->action(*item);
            if (row.onDisk)
                row.onDisk(fake);
        }
        return n < row.answers.size() ? row.answers[n] : cancel;
    };
    fake.whileScriptRuns = [&] { alwaysBusy = alwaysBusy && kavelin.working(); };
    fake.scriptOutcome = row.script;
    fake.restartAnswered = row.restartAnswered;

    click(*item);

    Calls calls{"activate", "alert Démarrer sur «\u00A0Data\u00A0»"};
    calls.insert(calls.end(), row.then.begin(), row.then.end());
    Alerts alerts{{"Démarrer sur «\u00A0Data\u00A0»",
                   "Choisis quand utiliser ce disque. « Redémarrer maintenant » en fait le disque "
                   "par défaut. « Au prochain redémarrage » l’utilise une seule fois.",
                   "Redémarrer maintenant… []", "Au prochain redémarrage []", "Annuler [\x1B]"}};
    alerts.insert(alerts.end(), row.alertsThen.begin(), row.alertsThen.end());
    EXPECT_EQ(fake.calls, calls);
    EXPECT_EQ(describe(fake.alerts), alerts);
    EXPECT_EQ(menuMeanwhile, Calls{"Autorisation en cours…"});
    EXPECT_TRUE(alwaysBusy);
    EXPECT_FALSE(kavelin.working());
}

const platform::ScriptExecution succeeded{true, {}};

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    EverySituation, SelectVolume,
    testing::Values(
        Outcome{"cancelled", {cancel}, succeeded, true, {}, {}},
        // Closed some other way than by a button: as "Annuler".
        Outcome{"choiceClosedOtherwise", {0}, succeeded, true, {}, {}},
        Outcome{"restartPromptDismissed", {restartNow}, scriptError(-128), true, {restart}, {}},
        Outcome{"restartRefused", {restartNow, close}, scriptError(1), true,
                {restart, "alert " + refused}, {refusedRestart}},
        Outcome{"restartRefusedSettingsOpened", {restartNow, open}, std::nullopt, true,
                {restart, "alert " + refused, settings, pane}, {refusedRestart}},
        Outcome{"nextStartRefused", {nextStart, close}, std::nullopt, true,
                {nextOnly, "alert " + refused},
                {fallback(refused, "Pour un démarrage unique, choisis ce disque dans les options "
                          "de démarrage du Mac. Disque de démarrage permet de changer le disque "
                          "par défaut.")}},
        // The answer to the "OK" alert is not looked at.
        Outcome{"nextStartSet", {nextStart, -1}, succeeded, true, {nextOnly, "alert " + nextStartSet},
                {{nextStartSet, "Le Mac utilisera ce disque une fois lors du prochain démarrage. "
                  "Laisse le disque branché s’il est externe.", "OK"}}},
        Outcome{"restartSetAndRequestAnswered", {restartNow}, succeeded, true,
                {restart, "requestRestart"}, {}},
        Outcome{"restartSetButRequestUnanswered", {restartNow, close}, succeeded, false,
                {restart, "requestRestart", "alert " + configured},
                {fallback(configured, "Pour redémarrer, utilise le menu \uF8FF > Redémarrer.")}},
        Outcome{"unmounted", {restartNow, close}, succeeded, true, {"alert " + changed},
                {fallback(changed, "Rouvre le menu pour actualiser la liste.")},
                [](auto& v) { v.mounts = {{"/"}}; }},
        // Unmounted, then mounted again unchanged, behind another volume: the same record.
        Outcome{"remountedUnchanged", {restartNow}, succeeded, true, {restart, "requestRestart"},
                {}, [](auto& v) {
                    v.addVolume("/Volumes/Backup", "Backup", "UUID-BACKUP", "13.0");
                    v.mounts = {{"/Volumes/Backup", "/Volumes/Data", "/"}};
                }}),
    [](const auto& info) { return info.param.situation; });
// clang-format on

} // namespace
} // namespace kavelin::flows
