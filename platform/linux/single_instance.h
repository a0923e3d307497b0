#pragma once

// One tray application per user: a lock on a file in the user's runtime folder, held for the
// life of the process. The kernel drops the lock with the last descriptor, so an instance that
// crashed or was killed never blocks the next start, and no session bus is needed.

#include <string>

#include "platform/linux/posix_io.h"

namespace kavelin::platform {

enum class InstanceClaim {
    held,          // this process is the one instance
    heldElsewhere, // another process of this user holds the lock
    unavailable,   // no private runtime folder or no lock there: run unguarded
};

class SingleInstanceLock {
public:
    // Claims the lock in runtimeDirectory, which must be a folder of this user that nobody else
    // can write to; anything else leaves the start unguarded rather than refused.
    static SingleInstanceLock claim(const std::string& runtimeDirectory);

    InstanceClaim state() const { return state_; }

private:
    SingleInstanceLock(UniqueFd lock, InstanceClaim state)
        : lock_(std::move(lock)), state_(state) {}

    UniqueFd lock_;
    InstanceClaim state_;
};

// XDG_RUNTIME_DIR, or /run/user/UID where the session sets no variable; empty when neither.
std::string userRuntimeDirectory();

} // namespace kavelin::platform
