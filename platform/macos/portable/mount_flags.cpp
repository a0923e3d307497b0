#include "platform/macos/portable/mount_flags.h"

namespace kavelin::platform {

const MountRecord* mountAt(const std::vector<MountRecord>& mounts, std::string_view path) {
    for (auto mount = mounts.rbegin(); mount != mounts.rend(); ++mount) {
        if (mount->mountPoint == path)
            return &*mount;
    }
    return nullptr;
}

bool mustNotTouch(const MountRecord& mount) {
    // The running system is listed whatever its flags say, under the name its file system gives.
    if (mount.mountPoint == "/")
        return false;
    return !(mount.flags & mountIsLocal) || (mount.flags & mountDontBrowse);
}

const MountRecord* untouchableOnTheWay(const std::vector<MountRecord>& mounts,
                                       std::string_view path) {
    for (std::size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
        std::string_view leading = path.substr(0, end);
        const MountRecord* mount = mountAt(mounts, leading);
        if (mount && mustNotTouch(*mount))
            return mount;
        if (end == std::string_view::npos)
            return nullptr;
    }
}

std::optional<VolumeAttributes> attributesFromMountFlags(const MountRecord& mount) {
    if (!mustNotTouch(mount))
        return std::nullopt;
    VolumeAttributes attributes;
    attributes.isVolume = true;
    attributes.volumeIsLocal = (mount.flags & mountIsLocal) != 0;
    attributes.volumeIsBrowsable = (mount.flags & mountDontBrowse) == 0;
    return attributes;
}

} // namespace kavelin::platform
