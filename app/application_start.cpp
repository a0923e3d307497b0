#include "app/kavelin.h"

namespace kavelin {

int runApplicationStart(platform::Platform& platform) {
    // The backend built the application object before handing over its services, so the order
    // holds: application, delegate (which takes its status item), policy, delegate link, loop.
    Kavelin delegate(platform);
    platform.application.setActivationPolicyAccessory();
    platform.application.setDelegate(&delegate);
    int status = platform.application.run();
    // The application object does not own its delegate, which is about to go.
    platform.application.setDelegate(nullptr);
    return status;
}

} // namespace kavelin
