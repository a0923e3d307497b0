#pragma once

#include "platform/platform.h"

namespace kavelin {

// Registers the application as a login item when it is not enabled, unregisters it when it is;
// an approval still pending or a failed change ends in an alert that offers the login items
// settings.
void toggleLaunchAtLogin(platform::Platform& platform);

} // namespace kavelin
