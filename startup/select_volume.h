#pragma once

#include "platform/platform.h"
#include "volumes/startup_volume.h"

namespace kavelin {

// The change of startup disk to the chosen volume, from the choice alert to the last alert:
// re-validation against a fresh discovery, the privileged command, then the confirmation or the
// restart request; every problem ends in the settings fallback alert, a dismissed prompt in
// silence. isWorking is raised for the whole flow and lowered as its very last action; while it
// is raised, a second call does nothing. chosen is a copy, since the menu that carried it may be
// rebuilt while the alerts are up.
void selectVolume(platform::Platform& platform, bool& isWorking, StartupVolume chosen);

} // namespace kavelin
