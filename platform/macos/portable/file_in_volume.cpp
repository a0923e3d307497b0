// POSIX only (openat, fstatat), so that the same walk runs on macOS and in the Linux tests.

#include "platform/macos/portable/file_in_volume.h"

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/trace.h"

namespace kavelin::platform {

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~Descriptor() {
        if (fd_ >= 0)
            close(fd_);
    }
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_;
};

std::vector<std::string> components(std::string_view path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = std::min(path.find('/', start), path.size());
        if (end > start && path.substr(start, end - start) != ".")
            parts.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::string joined(const std::string& volumePath, const std::string& relativePath) {
    return volumePath == "/" ? "/" + relativePath : volumePath + "/" + relativePath;
}

// Traces why the file was not read; always nullopt, for the caller to return.
std::optional<std::string> refused(const std::string& path, int error) {
    if (auto line = refusalTraceLine(path, error))
        trace("fichiers", *line);
    return std::nullopt;
}

std::optional<std::string> leftTheVolume(const std::string& path) {
    trace("fichiers", path + " refusé : hors du volume");
    return std::nullopt;
}

std::optional<std::string> readAll(int fd, std::size_t maxSize) {
    std::string contents;
    char buffer[4096];
    for (;;) {
        ssize_t count = read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return std::nullopt;
        if (count == 0)
            return contents;
        // The file may have grown since it was looked at.
        if (contents.size() + static_cast<std::size_t>(count) > maxSize)
            return std::nullopt;
        contents.append(buffer, static_cast<std::size_t>(count));
    }
}

} // namespace

std::optional<std::string> refusalTraceLine(const std::string& path, int error) {
    if (error != EPERM)
        return std::nullopt;
    return path + " refusé par macOS : accès non autorisé (Réglages Système > Confidentialité et "
                  "sécurité > Fichiers et dossiers > Kavelin > Volumes amovibles)";
}

std::optional<std::string> readFileInVolumeTree(const std::string& volumePath,
                                                const std::string& relativePath,
                                                std::size_t maxSize) {
    const std::string path = joined(volumePath, relativePath);
    std::vector<std::string> parts = components(relativePath);
    if (parts.empty())
        return std::nullopt;
    for (const auto& part : parts) {
        if (part == "..")
            return leftTheVolume(path);
    }
    Descriptor directory(open(volumePath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat root {};
    if (!directory)
        return refused(path, errno);
    if (fstat(directory.get(), &root) != 0)
        return std::nullopt;
    const std::string fileName = std::move(parts.back());
    parts.pop_back();
    for (const auto& part : parts) {
        Descriptor next(
            openat(directory.get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat status {};
        if (!next) {
            // A link where a folder should be: ELOOP, or ENOTDIR where O_DIRECTORY is checked
            // first.
            if (errno == ELOOP || errno == ENOTDIR) {
                if (fstatat(directory.get(), part.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
                    S_ISLNK(status.st_mode))
                    return leftTheVolume(path);
                return std::nullopt;
            }
            return refused(path, errno);
        }
        if (fstat(next.get(), &status) != 0)
            return std::nullopt;
        if (status.st_dev != root.st_dev)
            return leftTheVolume(path);
        directory = std::move(next);
    }
    // Looked at before it is opened: a FIFO would block the open and a device could never end
    // the read.
    struct stat found {};
    if (fstatat(directory.get(), fileName.c_str(), &found, AT_SYMLINK_NOFOLLOW) != 0)
        return refused(path, errno);
    if (S_ISLNK(found.st_mode) || found.st_dev != root.st_dev)
        return leftTheVolume(path);
    if (!S_ISREG(found.st_mode) || found.st_size < 0 ||
        static_cast<unsigned long long>(found.st_size) > maxSize)
        return std::nullopt;
    Descriptor file(
        openat(directory.get(), fileName.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file)
        return refused(path, errno);
    // Still the file that was looked at, not one put in its place since.
    struct stat opened {};
    if (fstat(file.get(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
        opened.st_dev != found.st_dev || opened.st_ino != found.st_ino)
        return std::nullopt;
    return readAll(file.get(), maxSize);
}

} // namespace kavelin::platform
