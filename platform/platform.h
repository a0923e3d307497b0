#pragma once

#include "platform/alert.h"
#include "platform/application.h"
#include "platform/images.h"
#include "platform/login_items.h"
#include "platform/restart_requester.h"
#include "platform/script_runner.h"
#include "platform/status_bar.h"
#include "platform/text_service.h"
#include "platform/volume_source.h"
#include "platform/workspace.h"

namespace kavelin::platform {

// Every service the application uses, handed to `Kavelin` at construction. Not owned.
struct Platform {
    Application& application;
    StatusBar& statusBar;
    Images& images;
    Alerts& alerts;
    Workspace& workspace;
    LoginItemService& loginItems;
    VolumeSource& volumes;
    TextService& text;
    ScriptRunner& scripts;
    RestartRequester& restart;
};

} // namespace kavelin::platform
