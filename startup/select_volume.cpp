#include "startup/select_volume.h"

#include <algorithm>

#include "settings/startup_settings.h"
#include "startup/privileged.h"

namespace kavelin {

namespace {

// A name framed by « and » with the no-break spaces of French typography, verbatim otherwise.
std::string framed(const std::string& name) {
    return "«\u00A0" + name + "\u00A0»";
}

platform::Alert choiceAlert(const std::string& name) {
    platform::Alert alert{
        "Démarrer sur " + framed(name),
        "Choisis quand utiliser ce disque. « Redémarrer maintenant » en fait le disque par "
        "défaut. « Au prochain redémarrage » l’utilise une seule fois.",
        {}};
    // Neither acting button answers Return: changing the startup disk takes a deliberate click.
    alert.addButtonWithTitle("Redémarrer maintenant…").keyEquivalent = "";
    alert.addButtonWithTitle("Au prochain redémarrage").keyEquivalent = "";
    alert.addButtonWithTitle("Annuler").keyEquivalent = platform::escapeKey;
    return alert;
}

std::string refusalDetail(const std::string& name, bool nextOnly) {
    if (nextOnly)
        return "Pour un démarrage unique, choisis ce disque dans les options de démarrage du Mac. "
               "Disque de démarrage permet de changer le disque par défaut.";
    return "Sélectionne " + framed(name) +
           " dans Disque de démarrage et confirme le redémarrage. "
           "macOS peut demander l’autorisation d’un propriétaire du Mac.";
}

} // namespace

void selectVolume(platform::Platform& platform, bool& isWorking, const StartupVolume chosen) {
    if (isWorking)
        return;
    isWorking = true;

    // Every way out of the flow returns from here, so that the flag is cleared last, once.
    [&] {
        platform.application.activateIgnoringOtherApps();
        const int response = platform.alerts.runModal(choiceAlert(chosen.name()));
        if (response != platform::firstButtonReturn && response != platform::secondButtonReturn)
            return;
        const bool nextOnly = response == platform::secondButtonReturn;

        // The answer may have come long after the menu was built: the volume must still be there,
        // unchanged, before anything runs with administrator rights.
        const auto fresh = StartupVolume::mounted(platform.volumes, platform.text);
        const bool stillThere = std::any_of(fresh.begin(), fresh.end(), [&](const auto& volume) {
            return volume.equals(chosen, platform.text);
        });
        if (!stillThere) {
            showSettingsFallback(platform, "Le volume a changé ou a été déconnecté.",
                                 "Rouvre le menu pour actualiser la liste.");
            return;
        }

        const std::string script = administratorScript(blessCommand(chosen.url().path, nextOnly));
        switch (runWithAdministratorPrivileges(script, platform.scripts)) {
        case PrivilegedResult::cancelled:
            return;
        case PrivilegedResult::failed:
            showSettingsFallback(platform, "macOS a refusé le changement de disque.",
                                 refusalDetail(chosen.name(), nextOnly));
            return;
        case PrivilegedResult::succeeded:
            break;
        }

        if (nextOnly) {
            platform::Alert done{"Prochain démarrage sur " + framed(chosen.name()),
                                 "Le Mac utilisera ce disque une fois lors du prochain démarrage. "
                                 "Laisse le disque branché s’il est externe.",
                                 {}};
            done.addButtonWithTitle("OK");
            platform.alerts.runModal(done);
            return;
        }
        if (!requestRestart(platform.restart))
            showSettingsFallback(platform, "Le disque de démarrage a été configuré.",
                                 "Pour redémarrer, utilise le menu \uF8FF > Redémarrer.");
    }();
    isWorking = false;
}

} // namespace kavelin
