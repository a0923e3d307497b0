// The services of the macOS backend that application mode uses, built by mac_platform.mm. Plain
// C++: the Objective-C stays in the .mm files. The volume source and the text service are
// reached through nativeVolumeSource() and nativeTextService() (platform/native_services.h), as
// the listing reaches them.
#pragma once

#include <memory>

#include "platform/platform.h"

namespace kavelin::platform {

// The shared application object, created by this call if it does not exist yet.
std::unique_ptr<Application> makeMacApplication();
std::unique_ptr<StatusBar> makeMacStatusBar();
std::unique_ptr<Images> makeMacImages();
std::unique_ptr<Alerts> makeMacAlerts();
std::unique_ptr<Workspace> makeMacWorkspace();
std::unique_ptr<LoginItemService> makeMacLoginItems();
std::unique_ptr<ScriptRunner> makeMacScriptRunner();
std::unique_ptr<RestartRequester> makeMacRestartRequester();

} // namespace kavelin::platform
