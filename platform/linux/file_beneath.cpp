// Files read beneath one mount: openat2 with RESOLVE_BENEATH and RESOLVE_NO_XDEV, called
// directly (glibc 2.36 has no wrapper), or an equivalent walk with O_NOFOLLOW and device checks
// where the kernel answers ENOSYS. A link into another disk, or a folder over-mounted by one, is
// refused before anything on that disk is asked for.

#include "platform/linux/file_beneath.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/linux/posix_io.h"
#include "platform/trace.h"

namespace kavelin::platform {

namespace {

std::atomic<bool> kernelLacksOpenat2{false};

int openWithKernel(int dirFd, const std::string& path, int flags) {
    open_how how{};
    how.flags = static_cast<__u64>(flags | O_CLOEXEC);
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_XDEV | RESOLVE_NO_MAGICLINKS;
    for (;;) {
        long fd = syscall(SYS_openat2, dirFd, path.c_str(), &how, sizeof how);
        if (fd >= 0 || errno != EAGAIN) // EAGAIN: a rename raced the lookup
            return static_cast<int>(fd);
    }
}

// The same resolution one component at a time: every step is opened without following it and
// must be on the directory's device; links are read and walked, but never absolute ones and
// never above the directory. Answers an O_PATH descriptor, or -1 with errno EXDEV for a path
// that leaves the directory or its device.
int openWithComponents(int dirFd, const std::string& path) {
    struct stat top {};
    if (fstat(dirFd, &top) != 0)
        return -1;
    const auto leaves = [] {
        errno = EXDEV;
        return -1;
    };
    std::vector<UniqueFd> directories;
    directories.emplace_back(fcntl(dirFd, F_DUPFD_CLOEXEC, 0));
    std::vector<std::string> pending;
    pushPathComponents(pending, path);
    int linksFollowed = 0;
    while (!pending.empty()) {
        std::string component = std::move(pending.back());
        pending.pop_back();
        if (component == ".")
            continue;
        if (component == "..") {
            if (directories.size() == 1)
                return leaves();
            directories.pop_back();
            continue;
        }
        UniqueFd next(
            openat(directories.back().get(), component.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat status {};
        if (!next || fstat(next.get(), &status) != 0)
            return -1;
        if (status.st_dev != top.st_dev)
            return leaves();
        if (S_ISLNK(status.st_mode)) {
            char target[PATH_MAX];
            ssize_t length = readlinkat(next.get(), "", target, sizeof target);
            if (length <= 0 || length == sizeof target)
                return -1;
            if (target[0] == '/')
                return leaves();
            if (++linksFollowed > 40)
                return -1;
            pushPathComponents(pending, std::string_view(target, length));
            continue;
        }
        if (pending.empty())
            return next.release();
        if (!S_ISDIR(status.st_mode))
            return -1;
        directories.push_back(std::move(next));
    }
    return -1; // the directory itself is not a file
}

int openPathBeneath(int dirFd, const std::string& path, BeneathWalk walk) {
    if (walk == BeneathWalk::kernel && !kernelLacksOpenat2.load(std::memory_order_relaxed)) {
        int fd = openWithKernel(dirFd, path, O_PATH);
        if (fd >= 0 || errno != ENOSYS)
            return fd;
        kernelLacksOpenat2.store(true, std::memory_order_relaxed);
    }
    return openWithComponents(dirFd, path);
}

// The path as the trace shows it: the directory's own path, then the relative one.
std::string traceName(int dirFd, const std::string& relativePath) {
    if (!traceEnabled())
        return {};
    std::error_code error;
    auto directory = std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(dirFd), error);
    return (error ? std::filesystem::path("?") : directory).string() + "/" + relativePath;
}

} // namespace

void pushPathComponents(std::vector<std::string>& pending, std::string_view path) {
    std::vector<std::string> components;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = std::min(path.find('/', start), path.size());
        if (end > start)
            components.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    pending.insert(pending.end(), components.rbegin(), components.rend());
}

std::optional<std::string> readFileBeneath(int dirFd, const std::string& relativePath,
                                           std::size_t maxSize, BeneathWalk walk) {
    // O_PATH opens nothing: a FIFO or a device behind the name is looked at, not opened.
    UniqueFd found(openPathBeneath(dirFd, relativePath, walk));
    const bool leftTheVolume = !found && errno == EXDEV;
    const std::string name = traceName(dirFd, relativePath);
    if (leftTheVolume)
        trace("fichiers", name + " refusé : hors du volume");
    const auto reopen = [&](int flags) {
        return walk == BeneathWalk::kernel && !kernelLacksOpenat2.load(std::memory_order_relaxed)
                   ? openWithKernel(dirFd, relativePath, flags)
                   : -1;
    };
    return readFoundFile(std::move(found), maxSize, reopen, name);
}

} // namespace kavelin::platform
