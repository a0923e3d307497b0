#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/linux/bounded_probes.h"
#include "platform/linux/posix_io.h"
#include "platform/linux/volume_labels.h"
#include "platform/volume_source.h"

namespace kavelin::platform {

// How long one discovery (from the listing of the mounted volumes on) waits, in all, for mounts
// that may never answer.
inline constexpr std::chrono::milliseconds unresponsiveMountWait{300};

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
    std::optional<std::string> readFileInVolume(const std::string& volumePath,
                                                const std::string& relativePath) override;
    std::string volumeKey(const std::string& resolvedPath) override;
    std::optional<PropertyList> decodePropertyList(const std::string& data) override;

    // Mounts with file-system work still blocked in the kernel.
    std::size_t pendingProbes() const { return probes_.pending(); }

    struct MountTable;
    struct VolumeProbe;

private:
    using Clock = BoundedProbes::Clock;

    // The table as the kernel has it now: read again when forced or when the kernel reports a
    // change since the last read. Called with mutex_ held.
    const MountTable* currentTable(bool forceReload);
    // The end of the current discovery's wait for unresponsive mounts; a new wait starts when
    // the last one is long over. Called with mutex_ held.
    Clock::time_point waitDeadline();
    std::optional<std::string> resolve(const MountTable* table, const std::string& path);
    std::optional<VolumeProbe> probe(const MountTable* table, std::size_t mount,
                                     bool readVersionFile);
    std::optional<VolumeIdentity> deviceIdentity(const MountTable* table, std::size_t mount);

    std::mutex mutex_;
    std::string mountInfoPath_;
    std::unique_ptr<MountTable> table_;
    UniqueFd changeFd_;
    Clock::time_point tableChecked_{};
    BoundedProbes probes_;
    Clock::time_point waitEnd_{};
    // What one discovery learnt: work started ahead on mounts that may hang, and the identity of
    // each device of the mounts it vouches for.
    std::unordered_map<std::size_t, std::shared_ptr<BoundedProbes::Job<VolumeProbe>>> readAhead_;
    std::unordered_map<dev_t, VolumeIdentity> identities_;
};

} // namespace kavelin::platform
