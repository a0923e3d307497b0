#include "app/kavelin.h"

namespace kavelin {

// Placeholder until the selection flow lands.
void Kavelin::selectVolume(const VolumeMenuItem&) {}

} // namespace kavelin
