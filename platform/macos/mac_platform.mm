// The factory of the macOS backend: builds every service over AppKit, Foundation and
// ServiceManagement into one Platform and runs the application start. Not supported: starting
// outside an application bundle with its Info.plist (no status icon resource, no login item).

#import <Foundation/Foundation.h>

#include "app/kavelin.h"
#include "platform/application_mode.h"
#include "platform/macos/mac_services.h"
#include "platform/native_services.h"

namespace kavelin::platform {

int startApplication(int argc, char** argv) {
    (void)argc;
    (void)argv;
    @autoreleasepool {
        // The application object first: everything after it, the status item included, needs it.
        auto application = makeMacApplication();
        auto statusBar = makeMacStatusBar();
        auto images = makeMacImages();
        auto alerts = makeMacAlerts();
        auto workspace = makeMacWorkspace();
        auto loginItems = makeMacLoginItems();
        auto scripts = makeMacScriptRunner();
        auto restart = makeMacRestartRequester();
        Platform platform{.application = *application,
                          .statusBar = *statusBar,
                          .images = *images,
                          .alerts = *alerts,
                          .workspace = *workspace,
                          .loginItems = *loginItems,
                          .volumes = nativeVolumeSource(),
                          .text = nativeTextService(),
                          .scripts = *scripts,
                          .restart = *restart};
        return kavelin::runApplicationStart(platform);
    }
}

} // namespace kavelin::platform
