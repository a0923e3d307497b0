// The identity of a mounted file system: statx for the device, the mount and whether a path is
// the root of a mount, the volume source for the UUID. Not supported: kernels older than Linux
// 5.8, which do not tell whether a path is the root of a mount.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

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
    if (!path.starts_with('/')) {
        tell(why, "chemin relatif");
        return std::nullopt;
    }
    // A link or a "..", anywhere on the way, could be turned elsewhere between two looks.
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr),
                                                         &std::free);
    if (!resolved) {
        tell(why, std::strerror(errno));
        return std::nullopt;
    }
    if (path != resolved.get()) {
        tell(why, "le chemin passe par un lien ou n’est pas sous sa forme simple");
        return std::nullopt;
    }
    struct statx status {};
    if (statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
              STATX_BASIC_STATS | STATX_MNT_ID | STATX_MNT_ID_UNIQUE, &status) != 0) {
        tell(why, std::strerror(errno));
        return std::nullopt;
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
