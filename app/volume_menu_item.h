#pragma once

#include <optional>

#include "platform/menu.h"
#include "volumes/startup_volume.h"

namespace kavelin {

// A menu item that carries the volume it stands for, copied when the menu was built.
struct VolumeMenuItem : platform::MenuItem {
    std::optional<StartupVolume> volume;

    using platform::MenuItem::MenuItem;
};

} // namespace kavelin
