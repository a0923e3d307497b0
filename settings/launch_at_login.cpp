#include "app/kavelin.h"

namespace kavelin {

// Placeholder until the launch-at-login switch lands.
void Kavelin::toggleLaunchAtLogin() {}

} // namespace kavelin
