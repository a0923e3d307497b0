#pragma once

#include <string>
#include <vector>

#include "volumes/startup_volume.h"

namespace kavelin {

inline constexpr std::string_view listVolumesOption = "--list-volumes";

// True when any element of the argument vector, the program's own path included, is exactly
// the listing option. Every other argument is ignored.
bool selectsListing(int argc, const char* const* argv);

// One menu title per volume, each ended by a line feed and shown as visibleText, so that no
// name or version breaks a line or reaches the terminal as a command; empty for no volume.
std::string listingText(const std::vector<StartupVolume>& volumes);

} // namespace kavelin
