#include "startup/select_volume.h"

#include <algorithm>

#include "settings/startup_settings.h"
#include "startup/privileged.h"
#include "texts/texts.h"

namespace kavelin {

namespace {

platform::Alert choiceAlert(const std::string& name) {
    platform::Alert alert{texts::choiceTitle(name), texts::choiceDetail, {}};
    // Neither acting button answers Return: changing the startup disk takes a deliberate click.
    alert.addButtonWithTitle(texts::restartNowButton).answersNoKey();
    alert.addButtonWithTitle(texts::nextStartButton).answersNoKey();
    alert.addButtonWithTitle(texts::cancelButton).answersEscape();
    return alert;
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
            showSettingsFallback(platform, texts::volumeChanged, texts::volumeChangedDetail);
            return;
        }

        const std::string script = administratorScript(blessCommand(chosen.url().path, nextOnly));
        switch (runWithAdministratorPrivileges(script, platform.scripts)) {
        case PrivilegedResult::cancelled:
            return;
        case PrivilegedResult::failed:
            showSettingsFallback(platform, texts::refused,
                                 nextOnly ? texts::refusedNextStartDetail
                                          : texts::refusedRestartDetail(chosen.name()));
            return;
        case PrivilegedResult::succeeded:
            break;
        }

        if (nextOnly) {
            platform::Alert done{texts::nextStartTitle(chosen.name()), texts::nextStartDetail, {}};
            done.addButtonWithTitle(texts::okButton);
            platform.alerts.runModal(done);
            return;
        }
        if (!requestRestart(platform.restart))
            showSettingsFallback(platform, texts::configured, texts::restartFromMenuDetail);
    }();
    isWorking = false;
}

} // namespace kavelin
