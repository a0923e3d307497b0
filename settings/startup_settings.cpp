#include "settings/startup_settings.h"

#include "platform/trace.h"
#include "texts/texts.h"

namespace kavelin {

namespace {

constexpr const char* startupDiskSettingsURL =
    "x-apple.systempreferences:com.apple.Startup-Disk-Settings.extension";
constexpr const char* startupDiskPreferencePaneURL =
    "file:///System/Library/PreferencePanes/StartupDisk.prefPane";

} // namespace

void openStartupSettings(platform::Platform& platform) {
    if (platform.workspace.openURL(startupDiskSettingsURL))
        return;
    platform::trace("réglages", std::string(startupDiskSettingsURL) +
                                    " ne s’ouvre pas : essai de " + startupDiskPreferencePaneURL);
    // The older preference pane is the only other way in; if it fails too there is nothing left
    // to offer the user, so its answer only reaches the trace.
    if (!platform.workspace.openURL(startupDiskPreferencePaneURL))
        platform::trace("réglages", std::string(startupDiskPreferencePaneURL) + " ne s’ouvre pas");
}

void showSettingsFallback(platform::Platform& platform, const std::string& title,
                          const std::string& detail) {
    platform::Alert alert;
    alert.messageText = title;
    alert.informativeText = detail;
    alert.addButtonWithTitle(texts::openStartupDiskButton);
    alert.addButtonWithTitle(texts::closeButton).answersEscape();
    if (platform.alerts.runModal(alert) == platform::firstButtonReturn)
        openStartupSettings(platform);
}

} // namespace kavelin
