#pragma once

// The POSIX plumbing of the Linux backend, written once: an owned descriptor, the bounded read of
// a small file that may come from an untrusted disk, the start of a child process that inherits
// nothing by accident, and the program's own path.

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kavelin::platform {

// One open file descriptor, closed when its owner goes; -1 owns nothing.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) noexcept : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() { return std::exchange(fd_, -1); }
    // Closes the descriptor held, if any, and takes fd.
    void reset(int fd = -1) noexcept;
    // Closes now; false with errno set when close fails (a delayed write error shows there).
    bool close();

private:
    int fd_ = -1;
};

// Opens a file again for reading, with the flags given; a descriptor, or -1.
using Reopen = std::function<int(int flags)>;

// The whole contents of the file that found designates (an O_PATH descriptor is enough), when it
// is a regular file of at most maxSize bytes; nullopt otherwise. The file is looked at before it
// is opened for reading, so a FIFO or a device is never opened, and it is then reopened through
// found itself, leaving no window for a swap; where /proc is missing, reopen opens it again, and
// it must be the same file. A file that grows past the bound while read is refused too. Refusals
// are traced under name.
std::optional<std::string> readFoundFile(UniqueFd found, std::size_t maxSize, const Reopen& reopen,
                                         std::string_view name);

// The same for a path anywhere, links followed wherever they lead. openError receives the
// error number of the lookup (ENOENT for a missing file), 0 once the path was found.
std::optional<std::string> readRegularFile(const std::string& path, std::size_t maxSize,
                                           int* openError = nullptr);

// How a child process starts: every descriptor of ours but the three standard ones (on
// /dev/null, or the error stream on errorOutput) closed, an empty signal mask and default
// dispositions, this working directory and exactly this environment ("NAME=value" entries).
struct SpawnSetup {
    std::vector<std::string> environment;
    std::string directory = "/";
    // In a session of its own, so that it outlives a terminal that closes on us.
    bool newSession = false;
    // A descriptor of ours that becomes the child's standard error; -1 for /dev/null.
    int errorOutput = -1;
};

// Starts the program at arguments[0] (an absolute path, no search) with those arguments; its
// process id, or -1 with errno set.
pid_t spawnProcess(const std::vector<std::string>& arguments, const SpawnSetup& setup);

// Our own environment as it is now, for a child that needs the desktop session's variables.
std::vector<std::string> currentEnvironment();

// Waits for the child's end (through signals); its wait status, or nullopt.
std::optional<int> waitForExit(pid_t child);

// The path of the running program; empty when the kernel does not tell.
std::filesystem::path programPath();

} // namespace kavelin::platform
