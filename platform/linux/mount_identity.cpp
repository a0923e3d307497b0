// The identity of a mounted file system: statx for the device, the mount and whether a path is
// the root of a mount, the volume source for the UUID. Not supported: kernels older than Linux
// 5.8, which do not tell whether a path is the root of a mount.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstring>

#include "platform/linux/bless_invocation.h"
#include "platform/linux/linux_volume_source.h"

#ifndef STATX_MNT_ID_UNIQUE
#define STATX_MNT_ID_UNIQUE 0x00004000U
#endif

namespace kavelin::platform {

namespace {

void tell(std::string* why, std::string reason) {
    if (why)
        *why = std::move(reason);
}

} // namespace

std::optional<MountIdentity> mountIdentity(const std::string& path, std::string* why) {
    // A link or a "..", anywhere on the way, could be turned elsewhere between two looks: each
    // component must be a folder itself. NOTE: AT_STATX_DONT_SYNC answers from what the kernel
    // holds, so that a network or FUSE server that stopped answering cannot hold us here; the
    // type, the device, the mount and whether it is a mount's root are the kernel's own anyway.
    if (!path.starts_with('/') || (path.size() > 1 && path.ends_with('/')) ||
        path.find("//") != std::string::npos || path.find("/./") != std::string::npos ||
        path.find("/../") != std::string::npos || path.ends_with("/.") || path.ends_with("/..")) {
        tell(why, "chemin qui n’est pas sous sa forme simple");
        return std::nullopt;
    }
    constexpr int flags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | AT_STATX_DONT_SYNC;
    struct statx status {};
    for (std::size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
        const std::string step = path.substr(0, end == std::string::npos ? path.size() : end);
        if (statx(AT_FDCWD, step.c_str(), flags, STATX_TYPE | STATX_MNT_ID | STATX_MNT_ID_UNIQUE,
                  &status) != 0) {
            tell(why, step + " : " + std::strerror(errno));
            return std::nullopt;
        }
        if (!S_ISDIR(status.stx_mode)) {
            tell(why, step + " n’est pas un dossier");
            return std::nullopt;
        }
        if (end == std::string::npos)
            break;
    }
    if (!(status.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) ||
        !(status.stx_attributes & STATX_ATTR_MOUNT_ROOT) ||
        !(status.stx_mask & (STATX_MNT_ID | STATX_MNT_ID_UNIQUE))) {
        tell(why, "pas la racine d’un système de fichiers monté");
        return std::nullopt;
    }
    auto attributes = LinuxVolumeSource().attributes(path);
    if (!attributes || attributes->isVolume != true) {
        tell(why, "pas un volume de la table des montages");
        return std::nullopt;
    }
    return MountIdentity{makedev(status.stx_dev_major, status.stx_dev_minor), status.stx_mnt_id,
                         std::move(attributes->volumeUUIDString)};
}

} // namespace kavelin::platform
