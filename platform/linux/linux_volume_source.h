#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>

#include "platform/volume_source.h"

namespace kavelin::platform {

// Largest version file read. Real ones are under 1 KiB; the most expensive file of this size
// decodes in well under a millisecond.
inline constexpr std::size_t maxVersionFileSize = 16 * 1024;

// A file system's label and UUID as read from its superblock.
struct VolumeIdentity {
    std::optional<std::string> name;
    std::optional<std::string> uuid;
};

// Probes the superblock on fd (a block device or an image file) with libblkid: for the given
// file-system type alone first, then for every type; nullopt when none is recognised.
std::optional<VolumeIdentity> probeVolumeIdentity(int fd, const std::string& type);

// The volume source over the kernel's mount table (libmount), the udev database, libblkid and
// file-system ioctls.
class LinuxVolumeSource final : public VolumeSource {
public:
    // mountInfoPath is the mount table to read; tests pass a file of their own.
    explicit LinuxVolumeSource(std::string mountInfoPath = "/proc/self/mountinfo");
    ~LinuxVolumeSource() override;

    std::optional<std::vector<std::string>> mountedVolumePaths() override;
    std::optional<std::vector<std::string>> directoryEntries(const std::string& path) override;
    std::string resolvingSymlinks(const std::string& path) override;
    std::optional<VolumeAttributes> attributes(const std::string& path) override;
    std::optional<std::string> readFile(const std::string& path) override;
    std::optional<PropertyList> decodePropertyList(const std::string& data) override;

    struct MountTable;

private:
    // The table as the kernel has it now: read again when forced or when the kernel reports a
    // change since the last read. Called with mutex_ held.
    const MountTable* currentTable(bool forceReload);

    std::mutex mutex_;
    std::string mountInfoPath_;
    std::unique_ptr<MountTable> table_;
    int changeFd_ = -1;
};

} // namespace kavelin::platform
