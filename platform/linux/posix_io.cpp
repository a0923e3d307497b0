// Descriptors, bounded reads, child processes and the program's path over POSIX and Linux's
// /proc. Not supported: closing inherited descriptors in a child on a C library older than
// glibc 2.34 (no posix_spawn_file_actions_addclosefrom_np; descriptors opened with O_CLOEXEC
// still stay out).

#include "platform/linux/posix_io.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/trace.h"

extern char** environ;

namespace kavelin::platform {

void UniqueFd::reset(int fd) noexcept {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

bool UniqueFd::close() {
    return ::close(release()) == 0;
}

namespace {

constexpr int readFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

void traceRefusal(std::string_view name, std::string_view why) {
    if (traceEnabled())
        trace("fichiers", std::string(name) + " refusé : " + std::string(why));
}

// Reads to the end of fd, or one byte past maxSize, which tells a file that grew since it was
// measured from one that fits.
std::optional<std::string> readAtMost(int fd, std::size_t maxSize, std::string_view name) {
    std::string buffer(maxSize + 1, '\0');
    std::size_t filled = 0;
    for (;;) {
        ssize_t count = read(fd, buffer.data() + filled, buffer.size() - filled);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return std::nullopt;
        filled += static_cast<std::size_t>(count);
        if (count == 0 || filled == buffer.size())
            break;
    }
    if (filled > maxSize) {
        traceRefusal(name, "a grandi au-delà de la limite pendant la lecture");
        return std::nullopt;
    }
    buffer.resize(filled);
    return buffer;
}

} // namespace

std::optional<std::string> readFoundFile(UniqueFd found, std::size_t maxSize, const Reopen& reopen,
                                         std::string_view name) {
    struct stat status {};
    if (!found || fstat(found.get(), &status) != 0)
        return std::nullopt;
    if (!S_ISREG(status.st_mode)) {
        traceRefusal(name, "pas un fichier ordinaire");
        return std::nullopt;
    }
    if (static_cast<std::size_t>(status.st_size) > maxSize) {
        traceRefusal(name, std::to_string(status.st_size) + " octets, plus que la limite de " +
                               std::to_string(maxSize));
        return std::nullopt;
    }
    std::string self = "/proc/self/fd/" + std::to_string(found.get());
    UniqueFd opened(open(self.c_str(), readFlags));
    if (!opened && errno == ENOENT && reopen)
        opened.reset(reopen(readFlags));
    struct stat reopened {};
    if (!opened || fstat(opened.get(), &reopened) != 0)
        return std::nullopt;
    if (!S_ISREG(reopened.st_mode) || reopened.st_dev != status.st_dev ||
        reopened.st_ino != status.st_ino) {
        traceRefusal(name, "remplacé pendant la lecture");
        return std::nullopt;
    }
    return readAtMost(opened.get(), maxSize, name);
}

std::optional<std::string> readRegularFile(const std::string& path, std::size_t maxSize,
                                           int* openError) {
    // O_PATH opens nothing: a FIFO or a device behind the name is looked at, not opened.
    UniqueFd found(open(path.c_str(), O_PATH | O_CLOEXEC));
    if (openError)
        *openError = found ? 0 : errno;
    return readFoundFile(
        std::move(found), maxSize, [&](int flags) { return open(path.c_str(), flags); }, path);
}

namespace {

std::vector<char*> pointers(const std::vector<std::string>& strings) {
    std::vector<char*> result;
    result.reserve(strings.size() + 1);
    for (const auto& string : strings)
        result.push_back(const_cast<char*>(string.c_str()));
    result.push_back(nullptr);
    return result;
}

} // namespace

pid_t spawnProcess(const std::vector<std::string>& arguments, const SpawnSetup& setup) {
    if (arguments.empty()) {
        errno = EINVAL;
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    if (int failed = posix_spawn_file_actions_init(&actions)) {
        errno = failed;
        return -1;
    }
    if (int failed = posix_spawnattr_init(&attributes)) {
        posix_spawn_file_actions_destroy(&actions);
        errno = failed;
        return -1;
    }
    // Our working directory may be a removable disk, or gone: the child would keep it busy.
    int failed = posix_spawn_file_actions_addchdir_np(&actions, setup.directory.c_str());
    for (int descriptor : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        const int flags = descriptor == STDIN_FILENO ? O_RDONLY : O_WRONLY;
        if (failed)
            break;
        if (descriptor == STDERR_FILENO && setup.errorOutput >= 0)
            failed = posix_spawn_file_actions_adddup2(&actions, setup.errorOutput, descriptor);
        else
            failed = posix_spawn_file_actions_addopen(&actions, descriptor, "/dev/null", flags, 0);
    }
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // Our own descriptors (display connection, sockets) stay with us.
    if (!failed)
        failed = posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
    sigset_t noSignals;
    sigset_t allSignals;
    sigemptyset(&noSignals);
    sigfillset(&allSignals);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (setup.newSession)
        flags |= POSIX_SPAWN_SETSID;
    if (!failed)
        failed = posix_spawnattr_setsigmask(&attributes, &noSignals);
    if (!failed)
        failed = posix_spawnattr_setsigdefault(&attributes, &allSignals);
    if (!failed)
        failed = posix_spawnattr_setflags(&attributes, flags);

    pid_t child = -1;
    if (!failed) {
        auto argv = pointers(arguments);
        auto envp = pointers(setup.environment);
        failed = posix_spawn(&child, argv[0], &actions, &attributes, argv.data(), envp.data());
    }
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (failed) {
        errno = failed;
        return -1;
    }
    return child;
}

std::vector<std::string> currentEnvironment() {
    std::vector<std::string> variables;
    for (char** entry = environ; entry && *entry; ++entry)
        variables.emplace_back(*entry);
    return variables;
}

std::optional<int> waitForExit(pid_t child) {
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return std::nullopt;
    }
    return status;
}

std::filesystem::path programPath() {
    std::error_code error;
    auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : program;
}

} // namespace kavelin::platform
