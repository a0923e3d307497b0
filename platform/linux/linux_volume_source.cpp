// The volume source of the Linux backend.
// Wraps: libmount (the mount table of /proc/self/mountinfo, network and pseudo file-system
// classification), the udev database (libudev), libblkid low-level probing, the FS_IOC_GETFSLABEL,
// FS_IOC_GETFSUUID and FAT volume-id ioctls, std::filesystem listings, and the property-list
// decoder. Not supported: labels of network shares (never asked: their servers may be gone), the
// blkid cache file (its labels go stale), and "hidden" mount options of desktop environments.

#include "platform/linux/linux_volume_source.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <blkid/blkid.h>
#include <fcntl.h>
#include <libmount/libmount.h>
#include <libudev.h>
#include <linux/fs.h>
#include <linux/msdos_fs.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "platform/linux/property_list_decoder.h"

// NOTE: the UUID ioctl (Linux 6.8) is newer than some distributions' kernel headers.
#ifndef FS_IOC_GETFSUUID
struct fsuuid2 {
    __u8 len;
    __u8 uuid[16];
};
#define FS_IOC_GETFSUUID _IOR(0x15, 0, struct fsuuid2)
#endif

namespace kavelin::platform {

struct LinuxVolumeSource::MountTable {
    struct Mount {
        std::string target;
        std::string source;
        std::string fileSystemType;
        dev_t device = 0;
        bool isNetwork = false;
        bool isPseudo = false;
    };
    std::vector<Mount> mounts; // in mount order
    // The visible mount of each target: the last one mounted there.
    std::unordered_map<std::string, std::size_t> visibleAt;

    const Mount* visibleMount(const std::string& path) const {
        auto found = visibleAt.find(path);
        return found == visibleAt.end() ? nullptr : &mounts[found->second];
    }
    // The visible mount that holds path: the one at its longest mounted prefix.
    const Mount* containingMount(std::string path) const {
        for (;;) {
            if (const Mount* mount = visibleMount(path))
                return mount;
            std::size_t slash = path.rfind('/');
            if (slash == std::string::npos || path == "/")
                return nullptr;
            path.erase(slash == 0 ? 1 : slash);
        }
    }
    bool onNetwork(const std::string& path) const {
        const Mount* mount = containingMount(path);
        return mount && mount->isNetwork;
    }
};

namespace {

using MountTable = LinuxVolumeSource::MountTable;

std::unique_ptr<MountTable> readMountTable(int fd, const std::string& path) {
    int copy = dup(fd);
    if (copy < 0)
        return nullptr;
    FILE* stream = fdopen(copy, "r");
    if (!stream) {
        close(copy);
        return nullptr;
    }
    libmnt_table* raw = mnt_new_table();
    if (!raw) {
        fclose(stream);
        return nullptr;
    }
    std::unique_ptr<libmnt_table, decltype(&mnt_unref_table)> table(raw, mnt_unref_table);
    int parsed = mnt_table_parse_stream(table.get(), stream, path.c_str());
    fclose(stream);
    if (parsed != 0)
        return nullptr;

    auto result = std::make_unique<MountTable>();
    std::unique_ptr<libmnt_iter, decltype(&mnt_free_iter)> iter(mnt_new_iter(MNT_ITER_FORWARD),
                                                                mnt_free_iter);
    if (!iter)
        return nullptr;
    libmnt_fs* fs = nullptr;
    while (mnt_table_next_fs(table.get(), iter.get(), &fs) == 0) {
        const char* target = mnt_fs_get_target(fs);
        if (!target)
            continue;
        const char* source = mnt_fs_get_source(fs);
        const char* type = mnt_fs_get_fstype(fs);
        result->mounts.push_back({target, source ? source : "", type ? type : "",
                                  mnt_fs_get_devno(fs), mnt_fs_is_netfs(fs) == 1,
                                  mnt_fs_is_pseudofs(fs) == 1});
        result->visibleAt[target] = result->mounts.size() - 1;
    }
    return result;
}

bool isBelow(std::string_view path, std::string_view tree) {
    return path == tree || (path.starts_with(tree) && path[tree.size()] == '/');
}

// Trees where the system mounts what is not the user's: kernel interfaces, run-time state, boot
// files, packaged applications. Removable media mounted under /run/media stay visible.
bool isSystemInternal(std::string_view path) {
    if (isBelow(path, "/run/media"))
        return false;
    constexpr std::array<std::string_view, 9> trees = {
        "/proc", "/sys", "/dev", "/run", "/boot", "/efi", "/snap", "/var/lib", "/var/snap"};
    return std::any_of(trees.begin(), trees.end(),
                       [&](std::string_view tree) { return isBelow(path, tree); });
}

using Identity = VolumeIdentity;

std::optional<std::string> nonEmpty(const char* text) {
    if (!text || !*text)
        return std::nullopt;
    return std::string(text);
}

// udev writes labels with unsafe bytes as \xNN.
std::string decodeUdevEscapes(std::string_view text) {
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 3]))) {
            decoded +=
                static_cast<char>(std::stoi(std::string(text.substr(i + 2, 2)), nullptr, 16));
            i += 3;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

// The udev database, where udev runs: what it probed when the device appeared.
std::optional<Identity> identityFromUdev(dev_t device) {
    // NOTE: without its database file libudev finds nothing, after resolving the device's whole
    // sysfs path one component at a time; checking for the file first spares that work.
    std::string database =
        "/run/udev/data/b" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
    if (access(database.c_str(), F_OK) != 0)
        return std::nullopt;
    std::unique_ptr<udev, decltype(&udev_unref)> context(udev_new(), udev_unref);
    if (!context)
        return std::nullopt;
    std::unique_ptr<udev_device, decltype(&udev_device_unref)> entry(
        udev_device_new_from_devnum(context.get(), 'b', device), udev_device_unref);
    if (!entry || !udev_device_get_property_value(entry.get(), "ID_FS_TYPE"))
        return std::nullopt;
    Identity identity;
    if (const char* label = udev_device_get_property_value(entry.get(), "ID_FS_LABEL_ENC"))
        identity.name = nonEmpty(decodeUdevEscapes(label).c_str());
    else
        identity.name = nonEmpty(udev_device_get_property_value(entry.get(), "ID_FS_LABEL"));
    if (const char* uuid = udev_device_get_property_value(entry.get(), "ID_FS_UUID_ENC"))
        identity.uuid = nonEmpty(decodeUdevEscapes(uuid).c_str());
    else
        identity.uuid = nonEmpty(udev_device_get_property_value(entry.get(), "ID_FS_UUID"));
    return identity;
}

// The device node of a block device number, from sysfs.
std::optional<std::string> deviceNode(dev_t device) {
    std::ifstream uevent("/sys/dev/block/" + std::to_string(major(device)) + ":" +
                         std::to_string(minor(device)) + "/uevent");
    std::string line;
    while (std::getline(uevent, line))
        if (line.starts_with("DEVNAME="))
            return "/dev/" + line.substr(8);
    return std::nullopt;
}

// Reads LABEL and UUID with a probe of the superblock; nullopt when nothing was recognised.
std::optional<Identity> probeIdentity(int fd, const std::string& onlyType) {
    std::unique_ptr<blkid_struct_probe, decltype(&blkid_free_probe)> probe(blkid_new_probe(),
                                                                           blkid_free_probe);
    if (!probe || blkid_probe_set_device(probe.get(), fd, 0, 0) != 0)
        return std::nullopt;
    blkid_probe_enable_superblocks(probe.get(), 1);
    blkid_probe_set_superblocks_flags(probe.get(),
                                      BLKID_SUBLKS_LABEL | BLKID_SUBLKS_UUID | BLKID_SUBLKS_TYPE);
    if (!onlyType.empty()) {
        char* names[] = {const_cast<char*>(onlyType.c_str()), nullptr};
        blkid_probe_filter_superblocks_type(probe.get(), BLKID_FLTR_ONLYIN, names);
    }
    if (blkid_do_safeprobe(probe.get()) != 0)
        return std::nullopt;
    Identity identity;
    const char* value = nullptr;
    if (blkid_probe_lookup_value(probe.get(), "LABEL", &value, nullptr) == 0)
        identity.name = nonEmpty(value);
    if (blkid_probe_lookup_value(probe.get(), "UUID", &value, nullptr) == 0)
        identity.uuid = nonEmpty(value);
    return identity;
}

// The superblock itself, when this process may read the device.
std::optional<Identity> identityFromProbe(dev_t device, const std::string& type) {
    auto node = deviceNode(device);
    if (!node)
        return std::nullopt;
    int fd = open(node->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    std::optional<Identity> identity;
    struct stat status {};
    if (fstat(fd, &status) == 0 && S_ISBLK(status.st_mode) && status.st_rdev == device) {
        identity = probeVolumeIdentity(fd, type);
    }
    close(fd);
    return identity;
}

} // namespace

std::optional<VolumeIdentity> probeVolumeIdentity(int fd, const std::string& type) {
    // The mount table names the type: probing for it alone reads one superblock instead of
    // trying every known one. A type that libblkid names otherwise gets the full probe.
    if (auto identity = probeIdentity(fd, type))
        return identity;
    return probeIdentity(fd, "");
}

namespace {

std::string formatUuid(const unsigned char* bytes) {
    std::string text;
    constexpr char digits[] = "0123456789abcdef";
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            text += '-';
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    return text;
}

// What the mounted file system tells any user who can open its root. complete is set when it
// answered for both the label and the UUID.
Identity identityFromFileSystem(const std::string& mountPoint, const std::string& type,
                                bool& complete) {
    Identity identity;
    complete = false;
    int fd = open(mountPoint.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return identity;
    char label[FSLABEL_MAX] = {};
    const bool labelAnswered = ioctl(fd, FS_IOC_GETFSLABEL, label) == 0;
    if (labelAnswered) {
        label[FSLABEL_MAX - 1] = '\0';
        identity.name = nonEmpty(label);
    }
    fsuuid2 uuid{};
    std::uint32_t volumeId = 0;
    if (ioctl(fd, FS_IOC_GETFSUUID, &uuid) == 0 && uuid.len == 16) {
        complete = labelAnswered;
        // An all-zero UUID identifies nothing (libblkid does not report one either).
        if (std::any_of(uuid.uuid, uuid.uuid + 16, [](unsigned char b) { return b != 0; }))
            identity.uuid = formatUuid(uuid.uuid);
    } else if ((type == "vfat" || type == "msdos") &&
               ioctl(fd, FAT_IOCTL_GET_VOLUME_ID, &volumeId) == 0) {
        char text[10];
        std::snprintf(text, sizeof text, "%04X-%04X", volumeId >> 16, volumeId & 0xFFFF);
        identity.uuid = text;
    }
    close(fd);
    return identity;
}

// The label and UUID of a local mount. The mounted file system itself answers first where it
// can (ext4, btrfs, xfs, f2fs...): it is current and costs two ioctls, where a probe of the
// device costs a dozen system calls and a read. Otherwise the udev database, then a probe.
Identity identify(const MountTable::Mount& mount) {
    bool complete = false;
    Identity fromFileSystem;
    if (!mount.isPseudo) {
        fromFileSystem = identityFromFileSystem(mount.target, mount.fileSystemType, complete);
        if (complete)
            return fromFileSystem;
    }
    dev_t device = mount.device;
    if (major(device) == 0) {
        // Some file systems (btrfs) show an anonymous device number; their source names the disk.
        struct stat status {};
        device = mount.source.starts_with('/') && stat(mount.source.c_str(), &status) == 0 &&
                         S_ISBLK(status.st_mode)
                     ? status.st_rdev
                     : 0;
    }
    if (device != 0) {
        if (auto identity = identityFromUdev(device))
            return *identity;
        if (auto identity = identityFromProbe(device, mount.fileSystemType))
            return *identity;
    }
    return fromFileSystem;
}

} // namespace

LinuxVolumeSource::LinuxVolumeSource(std::string mountInfoPath)
    : mountInfoPath_(std::move(mountInfoPath)) {}

LinuxVolumeSource::~LinuxVolumeSource() {
    if (changeFd_ >= 0)
        close(changeFd_);
}

const LinuxVolumeSource::MountTable* LinuxVolumeSource::currentTable(bool forceReload) {
    if (table_ && !forceReload && changeFd_ >= 0) {
        // The kernel flags the open table file when a mount or unmount happened since.
        pollfd changed{changeFd_, POLLPRI, 0};
        if (poll(&changed, 1, 0) == 0 || !(changed.revents & (POLLPRI | POLLERR)))
            return table_.get();
    }
    if (changeFd_ >= 0)
        close(changeFd_);
    changeFd_ = open(mountInfoPath_.c_str(), O_RDONLY | O_CLOEXEC);
    table_ = changeFd_ >= 0 ? readMountTable(changeFd_, mountInfoPath_) : nullptr;
    return table_.get();
}

std::optional<std::vector<std::string>> LinuxVolumeSource::mountedVolumePaths() {
    std::lock_guard lock(mutex_);
    const MountTable* table = currentTable(true);
    if (!table)
        return std::nullopt;
    std::vector<std::string> paths;
    paths.reserve(table->mounts.size());
    for (auto& mount : table->mounts)
        paths.push_back(mount.target);
    return paths;
}

std::optional<std::vector<std::string>>
LinuxVolumeSource::directoryEntries(const std::string& path) {
    std::error_code error;
    std::filesystem::directory_iterator entries(path, error);
    if (error)
        return std::nullopt;
    std::vector<std::string> paths;
    for (auto end = std::filesystem::end(entries); entries != end; entries.increment(error)) {
        if (error)
            return std::nullopt;
        paths.push_back(entries->path().string());
    }
    return paths;
}

// realpath(3)'s walk, one component at a time, except that it never looks into a network mount:
// a mount point whose server is gone would block the first lstat under it.
std::string LinuxVolumeSource::resolvingSymlinks(const std::string& path) {
    if (!path.starts_with('/'))
        return path;
    std::lock_guard lock(mutex_);
    const MountTable* table = currentTable(false);
    // The kernel reports mount points resolved: most candidates need no walk at all.
    if (table && table->visibleMount(path))
        return path;

    std::vector<std::string> pending; // components still to walk, the next one last
    auto push = [&](std::string_view text) {
        std::vector<std::string> components;
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t end = std::min(text.find('/', start), text.size());
            if (end > start)
                components.emplace_back(text.substr(start, end - start));
            start = end + 1;
        }
        pending.insert(pending.end(), components.rbegin(), components.rend());
    };
    push(path);

    std::string resolved; // "" is the root
    int linksFollowed = 0;
    while (!pending.empty()) {
        std::string component = std::move(pending.back());
        pending.pop_back();
        if (component == ".")
            continue;
        if (component == "..") {
            if (std::size_t slash = resolved.rfind('/'); slash != std::string::npos)
                resolved.erase(slash);
            continue;
        }
        std::string next = resolved + "/" + component;
        if (table && table->onNetwork(next)) {
            // A mount point is already a resolved path; below it nothing may be looked at.
            bool done =
                std::all_of(pending.begin(), pending.end(), [](auto& c) { return c == "."; });
            return done && table->visibleMount(next) ? next : path;
        }
        struct stat status {};
        if (lstat(next.c_str(), &status) != 0)
            return path;
        if (S_ISLNK(status.st_mode)) {
            if (++linksFollowed > 40)
                return path;
            // Some links (in /proc) report a size of 0.
            std::string target(status.st_size > 0 ? status.st_size + 1 : PATH_MAX, '\0');
            ssize_t length = readlink(next.c_str(), target.data(), target.size());
            if (length <= 0 || static_cast<std::size_t>(length) >= target.size())
                return path;
            target.resize(length);
            if (target.starts_with('/'))
                resolved.clear();
            push(target);
            continue;
        }
        if (!S_ISDIR(status.st_mode) && !pending.empty())
            return path;
        resolved = std::move(next);
    }
    return resolved.empty() ? "/" : resolved;
}

std::optional<VolumeAttributes> LinuxVolumeSource::attributes(const std::string& path) {
    std::lock_guard lock(mutex_);
    const MountTable* table = currentTable(false);
    if (!table)
        return std::nullopt;
    VolumeAttributes attributes;
    const auto* mount = table->containingMount(path);
    const bool onNetwork = mount && mount->isNetwork;
    if (mount && mount->target == path) {
        attributes.isVolume = true;
        attributes.volumeIsLocal = !onNetwork;
        attributes.volumeIsBrowsable = !mount->isPseudo && !isSystemInternal(path);
        if (!onNetwork) {
            Identity identity = identify(*mount);
            attributes.volumeName = std::move(identity.name);
            attributes.volumeUUIDString = std::move(identity.uuid);
        }
        return attributes;
    }
    attributes.isVolume = false;
    if (onNetwork) {
        attributes.volumeIsLocal = false;
        return attributes;
    }
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0)
        return std::nullopt;
    if (mount) {
        attributes.volumeIsLocal = true;
        attributes.volumeIsBrowsable = !mount->isPseudo && !isSystemInternal(mount->target);
    }
    return attributes;
}

std::optional<std::string> LinuxVolumeSource::readFile(const std::string& path) {
    // O_PATH opens nothing: a FIFO or a device behind the name is looked at, not opened.
    int pathFd = open(path.c_str(), O_PATH | O_CLOEXEC);
    if (pathFd < 0)
        return std::nullopt;
    struct stat status {};
    if (fstat(pathFd, &status) != 0 || !S_ISREG(status.st_mode) ||
        static_cast<std::size_t>(status.st_size) > maxVersionFileSize) {
        close(pathFd);
        return std::nullopt;
    }
    // Reopening the very file found above through its descriptor leaves no window for a swap.
    std::string self = "/proc/self/fd/" + std::to_string(pathFd);
    int fd = open(self.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    close(pathFd);
    if (fd < 0)
        return std::nullopt;
    std::optional<std::string> contents;
    struct stat opened {};
    if (fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_dev == status.st_dev &&
        opened.st_ino == status.st_ino) {
        // One byte more than the bound tells a file that grew since from one that fits.
        std::string buffer(maxVersionFileSize + 1, '\0');
        std::size_t filled = 0;
        for (;;) {
            ssize_t count = read(fd, buffer.data() + filled, buffer.size() - filled);
            if (count < 0 && errno == EINTR)
                continue;
            if (count < 0)
                break;
            filled += static_cast<std::size_t>(count);
            if (count == 0 || filled == buffer.size()) {
                if (filled <= maxVersionFileSize) {
                    buffer.resize(filled);
                    contents = std::move(buffer);
                }
                break;
            }
        }
    }
    close(fd);
    return contents;
}

std::optional<PropertyList> LinuxVolumeSource::decodePropertyList(const std::string& data) {
    return decodePropertyListData(data);
}

} // namespace kavelin::platform
