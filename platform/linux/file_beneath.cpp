// Files read beneath one mount: openat2 with RESOLVE_BENEATH and RESOLVE_NO_XDEV, called
// directly (glibc 2.36 has no wrapper), or an equivalent walk with O_NOFOLLOW and device checks
// where the kernel answers ENOSYS. A link into another disk, or a folder over-mounted by one, is
// refused before anything on that disk is asked for.

#include "platform/linux/file_beneath.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <vector>

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace kavelin::platform {

namespace {

struct Descriptor {
    int fd = -1;
    explicit Descriptor(int fd) : fd(fd) {}
    Descriptor(Descriptor&& other) noexcept : fd(other.fd) { other.fd = -1; }
    Descriptor(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd >= 0)
            close(fd);
    }
};

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

void pushComponents(std::vector<std::string>& pending, const std::string& path) {
    std::vector<std::string> components;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = std::min(path.find('/', start), path.size());
        if (end > start)
            components.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    pending.insert(pending.end(), components.rbegin(), components.rend());
}

// The same resolution one component at a time: every step is opened without following it and
// must be on the directory's device; links are read and walked, but never absolute ones and
// never above the directory. Answers an O_PATH descriptor.
int openWithComponents(int dirFd, const std::string& path) {
    struct stat top {};
    if (fstat(dirFd, &top) != 0)
        return -1;
    std::vector<Descriptor> directories;
    directories.emplace_back(fcntl(dirFd, F_DUPFD_CLOEXEC, 0));
    std::vector<std::string> pending;
    pushComponents(pending, path);
    int linksFollowed = 0;
    while (!pending.empty()) {
        std::string component = std::move(pending.back());
        pending.pop_back();
        if (component == ".")
            continue;
        if (component == "..") {
            if (directories.size() == 1)
                return -1;
            directories.pop_back();
            continue;
        }
        Descriptor next(
            openat(directories.back().fd, component.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat status {};
        if (next.fd < 0 || fstat(next.fd, &status) != 0 || status.st_dev != top.st_dev)
            return -1;
        if (S_ISLNK(status.st_mode)) {
            char target[PATH_MAX];
            ssize_t length = readlinkat(next.fd, "", target, sizeof target);
            if (length <= 0 || length == sizeof target || target[0] == '/' || ++linksFollowed > 40)
                return -1;
            pushComponents(pending, std::string(target, length));
            continue;
        }
        if (pending.empty()) {
            int fd = next.fd;
            next.fd = -1;
            return fd;
        }
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

// The contents of the file found (an O_PATH descriptor), when it is a regular file of at most
// maxSize bytes. reopen opens it again for reading when /proc is not there to do it.
template <typename Reopen>
std::optional<std::string> readFound(Descriptor found, std::size_t maxSize, Reopen reopen) {
    struct stat status {};
    if (found.fd < 0 || fstat(found.fd, &status) != 0 || !S_ISREG(status.st_mode) ||
        static_cast<std::size_t>(status.st_size) > maxSize)
        return std::nullopt;
    // Reopening the very file found above through its descriptor leaves no window for a swap.
    // Without /proc, the walk is repeated and must reach the same file.
    std::string self = "/proc/self/fd/" + std::to_string(found.fd);
    Descriptor opened(open(self.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (opened.fd < 0 && errno == ENOENT)
        opened.fd = reopen(O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    struct stat reopened {};
    if (opened.fd < 0 || fstat(opened.fd, &reopened) != 0 || !S_ISREG(reopened.st_mode) ||
        reopened.st_dev != status.st_dev || reopened.st_ino != status.st_ino)
        return std::nullopt;
    // One byte more than the bound tells a file that grew since from one that fits.
    std::string buffer(maxSize + 1, '\0');
    std::size_t filled = 0;
    for (;;) {
        ssize_t count = read(opened.fd, buffer.data() + filled, buffer.size() - filled);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return std::nullopt;
        filled += static_cast<std::size_t>(count);
        if (count == 0 || filled == buffer.size())
            break;
    }
    if (filled > maxSize)
        return std::nullopt;
    buffer.resize(filled);
    return buffer;
}

} // namespace

std::optional<std::string> readFileBeneath(int dirFd, const std::string& relativePath,
                                           std::size_t maxSize, BeneathWalk walk) {
    // O_PATH opens nothing: a FIFO or a device behind the name is looked at, not opened.
    return readFound(Descriptor(openPathBeneath(dirFd, relativePath, walk)), maxSize,
                     [&](int flags) {
                         return walk == BeneathWalk::kernel &&
                                        !kernelLacksOpenat2.load(std::memory_order_relaxed)
                                    ? openWithKernel(dirFd, relativePath, flags)
                                    : -1;
                     });
}

std::optional<std::string> readRegularFile(const std::string& path, std::size_t maxSize) {
    return readFound(Descriptor(open(path.c_str(), O_PATH | O_CLOEXEC)), maxSize,
                     [&](int flags) { return open(path.c_str(), flags); });
}

} // namespace kavelin::platform
