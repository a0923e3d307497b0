#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/volume_source.h"

namespace kavelin::platform {

// Flag values of <sys/mount.h>, as getfsstat reports them; mac_volume_source.mm checks them
// against the SDK's own.
inline constexpr std::uint32_t mountIsLocal = 0x00001000;    // MNT_LOCAL
inline constexpr std::uint32_t mountDontBrowse = 0x00100000; // MNT_DONTBROWSE

// One mount as getfsstat(MNT_NOWAIT) gives it: from the kernel's table, without asking the file
// system, so a share whose server is gone answers at once.
struct MountRecord {
    std::string mountPoint;
    std::uint32_t flags = 0;
};

// The mount whose mount point is exactly path; nullptr when none. When mounts are stacked on one
// point, the last one, which covers the others, answers.
const MountRecord* mountAt(const std::vector<MountRecord>& mounts, std::string_view path);

// Whether nothing beneath the mount may be touched: a network share or a FUSE mount (not local)
// can block every lookup for as long as its server is gone; a mount that is not for browsing
// will not be listed anyway. Never the root.
bool mustNotTouch(const MountRecord& mount);

// The first mount that must not be touched on the way to path: at one of its leading folders or
// at path itself (the mount on top where several are stacked); nullptr when the way is clear.
// Looking a path up beneath a share whose server is gone blocks as surely as looking at the share.
const MountRecord* untouchableOnTheWay(const std::vector<MountRecord>& mounts,
                                       std::string_view path);

// The attributes of such a mount, from its flags alone: a volume, neither local nor browsable as
// its flags say, with no name or UUID. nullopt for a mount the file system may be asked about.
std::optional<VolumeAttributes> attributesFromMountFlags(const MountRecord& mount);

} // namespace kavelin::platform
