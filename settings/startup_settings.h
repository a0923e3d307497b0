#pragma once

#include <string>

#include "platform/platform.h"

namespace kavelin {

// Opens the Startup Disk settings, or the older preference pane when they do not open. Silent.
void openStartupSettings(platform::Platform& platform);

// The alert that ends a change of startup disk that could not be completed; its first button
// opens the Startup Disk settings, Escape closes it.
void showSettingsFallback(platform::Platform& platform, const std::string& title,
                          const std::string& detail);

} // namespace kavelin
