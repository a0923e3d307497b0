#pragma once

#include "platform/text_service.h"
#include "platform/volume_source.h"

namespace kavelin::platform {

// The services of the backend linked into the program, built on first use and kept for the
// process. Only the composition roots call these (the entry point for the listing, the backend's
// application start for the menu); everything else receives its services as arguments.

// The volume source of the linked backend. Cannot fail.
VolumeSource& nativeVolumeSource();

// The text service of the linked backend. Cannot fail.
TextService& nativeTextService();

} // namespace kavelin::platform
