#include "volumes/startup_volume.h"

namespace kavelin {

// The parts of the record that reach for the linked backend's services live apart, so that
// tests linking the core with their own services never need a backend.

std::vector<StartupVolume> StartupVolume::mounted() {
    return mounted(platform::nativeVolumeSource(), platform::nativeTextService());
}

bool operator==(const StartupVolume& a, const StartupVolume& b) {
    return a.equals(b, platform::nativeTextService());
}

} // namespace kavelin
