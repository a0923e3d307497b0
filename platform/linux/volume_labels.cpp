// Labels and UUIDs of file systems.
// Wraps: the udev database (libudev), libblkid low-level probing, the FS_IOC_GETFSLABEL,
// FS_IOC_GETFSUUID and FAT volume-id ioctls. Not supported: the blkid cache file (its labels go
// stale).

#include "platform/linux/volume_labels.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string_view>

#include <blkid/blkid.h>
#include <fcntl.h>
#include <libudev.h>
#include <linux/fs.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "platform/linux/posix_io.h"

// NOTE: the UUID ioctl (Linux 6.8) is newer than some distributions' kernel headers.
#ifndef FS_IOC_GETFSUUID
struct fsuuid2 {
    __u8 len;
    __u8 uuid[16];
};
#define FS_IOC_GETFSUUID _IOR(0x15, 0, struct fsuuid2)
#endif

namespace kavelin::platform {

namespace {

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
    auto path = deviceNode(device);
    if (!path)
        return std::nullopt;
    UniqueFd node(open(path->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat status {};
    if (!node || fstat(node.get(), &status) != 0 || !S_ISBLK(status.st_mode) ||
        status.st_rdev != device)
        return std::nullopt;
    return probeVolumeIdentity(node.get(), type);
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

} // namespace

VolumeIdentity identityFromFileSystem(int fd, const std::string& type, bool& complete) {
    VolumeIdentity identity;
    complete = false;
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
    return identity;
}

std::optional<VolumeIdentity> identityFromDevice(dev_t device, const std::string& source,
                                                 const std::string& type) {
    if (major(device) == 0) {
        // Some file systems (btrfs) show an anonymous device number; their source names the disk.
        struct stat status {};
        device =
            source.starts_with('/') && stat(source.c_str(), &status) == 0 && S_ISBLK(status.st_mode)
                ? status.st_rdev
                : 0;
    }
    if (device == 0)
        return std::nullopt;
    if (auto identity = identityFromUdev(device))
        return identity;
    return identityFromProbe(device, type);
}

} // namespace kavelin::platform
