#include "platform/linux/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/trace.h"

namespace kavelin::platform {

namespace {

constexpr const char* lockName = "kavelin.lock";

void traceUnguarded(const std::string& what) {
    trace("instance", what + ": started without a single-instance guard");
}

} // namespace

SingleInstanceLock SingleInstanceLock::claim(const std::string& runtimeDirectory) {
    if (runtimeDirectory.empty()) {
        traceUnguarded("no runtime folder");
        return {UniqueFd(), InstanceClaim::unavailable};
    }
    UniqueFd folder(::open(runtimeDirectory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat status {};
    if (!folder || ::fstat(folder.get(), &status) != 0) {
        traceUnguarded(runtimeDirectory + ": " + std::strerror(errno));
        return {UniqueFd(), InstanceClaim::unavailable};
    }
    // A folder that another user owns or may write to could hold a lock planted to keep this
    // user's application from ever starting.
    if (status.st_uid != ::geteuid() || (status.st_mode & (S_IWGRP | S_IWOTH))) {
        traceUnguarded(runtimeDirectory + ": not a private folder of this user");
        return {UniqueFd(), InstanceClaim::unavailable};
    }
    UniqueFd lock(
        ::openat(folder.get(), lockName, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!lock) {
        traceUnguarded(runtimeDirectory + "/" + lockName + ": " + std::strerror(errno));
        return {UniqueFd(), InstanceClaim::unavailable};
    }
    int result;
    do
        result = ::flock(lock.get(), LOCK_EX | LOCK_NB);
    while (result != 0 && errno == EINTR);
    if (result == 0)
        return {std::move(lock), InstanceClaim::held};
    if (errno == EWOULDBLOCK)
        return {UniqueFd(), InstanceClaim::heldElsewhere};
    // A file system without locks (ENOLCK, EOPNOTSUPP) must not keep the application from starting.
    traceUnguarded(runtimeDirectory + "/" + lockName + ": " + std::strerror(errno));
    return {UniqueFd(), InstanceClaim::unavailable};
}

std::string userRuntimeDirectory() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return runtime;
    std::string fallback = "/run/user/" + std::to_string(::geteuid());
    return ::access(fallback.c_str(), X_OK) == 0 ? fallback : std::string();
}

} // namespace kavelin::platform
