#include "settings/launch_at_login.h"

#include "texts/texts.h"

namespace kavelin {

namespace {

platform::Alert approvalAlert() {
    return {texts::approvalTitle, texts::approvalDetail, {}};
}

// The service's own sentence, shown unchanged: it is the only way the user learns what failed.
platform::Alert failureAlert(const std::string& error) {
    return {texts::loginChangeFailed, error, {}};
}

} // namespace

void toggleLaunchAtLogin(platform::Platform& platform) {
    auto& service = platform.loginItems;
    platform::Alert alert;
    const int status = service.status();
    if (status == platform::loginItemRequiresApproval) {
        // Registering again would not help: only the user can approve it in the settings.
        alert = approvalAlert();
    } else if (status == platform::loginItemEnabled) {
        const auto error = service.unregisterItem();
        if (!error)
            return;
        alert = failureAlert(*error);
    } else if (const auto error = service.registerItem()) {
        alert = failureAlert(*error);
    } else if (service.status() == platform::loginItemEnabled) {
        return;
    } else {
        alert = approvalAlert();
    }

    alert.addButtonWithTitle(texts::openSystemSettingsButton);
    alert.addButtonWithTitle(texts::closeButton).answersEscape();
    platform.application.activateIgnoringOtherApps();
    if (platform.alerts.runModal(alert) == platform::firstButtonReturn)
        service.openSystemSettingsLoginItems();
}

} // namespace kavelin
