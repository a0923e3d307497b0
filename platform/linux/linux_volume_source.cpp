// The volume source of the Linux backend.
// Wraps: libmount (the mount table of /proc/self/mountinfo, network and pseudo file-system
// classification), the labels of volume_labels.h, openat2 through file_beneath.h, statx mount
// ids, std::filesystem listings, and the property-list decoder. Work on mounts that may hang
// (FUSE of any kind, network shares, sources the table cannot vouch for) runs on bounded probes,
// started ahead for every volume as soon as the mounted volumes are listed.
// Not supported: labels of network shares (never asked: their servers may be gone), the blkid
// cache file, and "hidden" mount options of desktop environments.

#include "platform/linux/linux_volume_source.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <libmount/libmount.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "platform/linux/file_beneath.h"
#include "platform/linux/posix_io.h"
#include "platform/linux/property_list_decoder.h"
#include "platform/trace.h"

namespace kavelin::platform {

namespace {

constexpr std::size_t none = static_cast<std::size_t>(-1);
// The probe keys of work done without a mount table, when nothing vouches for any mount: on the
// root, and elsewhere (so that a folder that never answers does not cost the root its turn).
constexpr int unknownRoot = -1;
constexpr int unknownMount = -2;

} // namespace

struct LinuxVolumeSource::MountTable {
    struct Mount {
        int id = 0;
        std::string target;
        std::string root; // the folder of the file system that the mount shows
        std::string source;
        std::string fileSystemType;
        dev_t device = 0;
        bool isNetwork = false;
        bool isPseudo = false;
        // Its answers come from a process or a server that may never give them.
        bool mayHang = false;
    };
    std::vector<Mount> mounts; // in mount order
    // The visible mount of each target: the last one mounted there.
    std::unordered_map<std::string, std::size_t> visibleAt;
    // The last mount at each target that may hang, for targets that have one.
    std::unordered_map<std::string, std::size_t> mayHangAt;
    std::unordered_map<int, std::size_t> byId;

    std::size_t visibleIndex(const std::string& path) const {
        auto found = visibleAt.find(path);
        return found == visibleAt.end() ? none : found->second;
    }
    const Mount* visibleMount(const std::string& path) const {
        std::size_t index = visibleIndex(path);
        return index == none ? nullptr : &mounts[index];
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
    // The innermost mount that may hang among those a walk to path crosses (hidden ones
    // included: the table cannot say which of them the walk meets); nullptr when none.
    const Mount* mayHangOnWay(std::string path) const {
        if (mayHangAt.empty())
            return nullptr;
        for (;;) {
            if (auto found = mayHangAt.find(path); found != mayHangAt.end())
                return &mounts[found->second];
            std::size_t slash = path.rfind('/');
            if (slash == std::string::npos || path == "/")
                return nullptr;
            path.erase(slash == 0 ? 1 : slash);
        }
    }
};

struct LinuxVolumeSource::VolumeProbe {
    bool opened = false;
    int mountId = -1; // the mount the path reached; -1 when the kernel does not tell
    dev_t device = 0;
    VolumeIdentity identity;
    bool identityComplete = false;
    std::optional<std::string> versionFile;
};

namespace {

using MountTable = LinuxVolumeSource::MountTable;
using VolumeProbe = LinuxVolumeSource::VolumeProbe;

bool isFuse(std::string_view type) {
    return type == "fuse" || type == "fuseblk" || type.starts_with("fuse.");
}

std::unique_ptr<MountTable> readMountTable(int fd, const std::string& path) {
    UniqueFd copy(dup(fd));
    std::unique_ptr<FILE, decltype(&fclose)> stream(copy ? fdopen(copy.get(), "r") : nullptr,
                                                    fclose);
    if (!stream)
        return nullptr;
    copy.release(); // the stream owns it now
    std::unique_ptr<libmnt_table, decltype(&mnt_unref_table)> table(mnt_new_table(),
                                                                    mnt_unref_table);
    if (!table || mnt_table_parse_stream(table.get(), stream.get(), path.c_str()) != 0)
        return nullptr;
    stream.reset();

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
        const char* root = mnt_fs_get_root(fs);
        MountTable::Mount mount{mnt_fs_get_id(fs),        target,
                                root ? root : "/",        source ? source : "",
                                type ? type : "",         mnt_fs_get_devno(fs),
                                mnt_fs_is_netfs(fs) == 1, mnt_fs_is_pseudofs(fs) == 1};
        // NOTE: libmount counts every FUSE mount without a subtype as a pseudo file system,
        // though a disk read through a FUSE driver is as much the user's as any other.
        if (mount.fileSystemType == "fuse" || mount.fileSystemType == "fuseblk")
            mount.isPseudo = false;
        // Local kernel file systems answer from a block device or from memory; anything else
        // (FUSE, network shares, sources that name no device) may wait on someone else.
        mount.mayHang =
            isFuse(mount.fileSystemType) || mount.isNetwork ||
            (!mount.isPseudo && major(mount.device) == 0 && !mount.source.starts_with('/'));
        const std::size_t index = result->mounts.size();
        result->visibleAt[mount.target] = index;
        if (mount.mayHang)
            result->mayHangAt[mount.target] = index;
        result->byId[mount.id] = index;
        result->mounts.push_back(std::move(mount));
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

// The mount a path (or, with an empty path, the descriptor) leads to, and its device. STATX
// mount ids arrived in Linux 5.8; before, the id stays -1 and only the device tells.
std::optional<VolumeProbe> reachedMount(int dirFd, const char* path) {
    struct statx status {};
    const int flags =
        AT_STATX_DONT_SYNC | AT_NO_AUTOMOUNT | AT_SYMLINK_NOFOLLOW | (*path ? 0 : AT_EMPTY_PATH);
    if (statx(dirFd, path, flags, STATX_TYPE | STATX_MNT_ID, &status) != 0)
        return std::nullopt;
    VolumeProbe reached;
    reached.opened = true;
    if (status.stx_mask & STATX_MNT_ID)
        reached.mountId = static_cast<int>(status.stx_mnt_id);
    reached.device = makedev(status.stx_dev_major, status.stx_dev_minor);
    return reached;
}

// Everything discovery asks of one volume, from its root: which mount the path reaches, what
// the file system says its label and UUID are, and the version file. Safe to run on a probe
// thread: it touches nothing but its arguments.
VolumeProbe probeVolumeRoot(const std::string& path, const std::string& type, bool askIdentity,
                            bool readVersionFile) {
    VolumeProbe probe;
    UniqueFd root(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!root)
        return probe;
    if (auto reached = reachedMount(root.get(), ""))
        probe = *reached;
    probe.opened = true;
    if (askIdentity)
        probe.identity = identityFromFileSystem(root.get(), type, probe.identityComplete);
    if (readVersionFile)
        probe.versionFile =
            readFileBeneath(root.get(), std::string(versionFilePath), maxVersionFileSize);
    return probe;
}

struct LinkStep {
    mode_t mode = 0;
    std::string target; // for a link
};

std::optional<LinkStep> lookAt(const std::string& path) {
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0)
        return std::nullopt;
    LinkStep step{status.st_mode, {}};
    if (S_ISLNK(status.st_mode)) {
        // Some links (in /proc) report a size of 0.
        std::string target(status.st_size > 0 ? status.st_size + 1 : PATH_MAX, '\0');
        ssize_t length = readlink(path.c_str(), target.data(), target.size());
        if (length <= 0 || static_cast<std::size_t>(length) >= target.size())
            return std::nullopt;
        target.resize(length);
        step.target = std::move(target);
    }
    return step;
}

std::optional<std::vector<std::string>> listDirectory(const std::string& path) {
    std::error_code error;
    std::filesystem::directory_iterator entries(path, error);
    if (error)
        return std::nullopt;
    std::vector<std::string> names;
    for (auto end = std::filesystem::end(entries); entries != end; entries.increment(error)) {
        if (error)
            return std::nullopt;
        names.push_back(entries->path().filename().string());
    }
    return names;
}

std::optional<std::string> readFileInDirectory(const std::string& directory,
                                               const std::string& relativePath) {
    UniqueFd folder(open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder)
        return std::nullopt;
    return readFileBeneath(folder.get(), relativePath, maxVersionFileSize);
}

std::string joined(const std::string& directory, std::string_view name) {
    return directory == "/" ? "/" + std::string(name) : directory + "/" + std::string(name);
}

} // namespace

LinuxVolumeSource::LinuxVolumeSource(std::string mountInfoPath)
    : mountInfoPath_(std::move(mountInfoPath)) {}

LinuxVolumeSource::~LinuxVolumeSource() = default;

const LinuxVolumeSource::MountTable* LinuxVolumeSource::currentTable(bool forceReload) {
    const auto now = Clock::now();
    // Within one discovery the table read at its start holds; a table read long ago is checked
    // against the kernel, which flags the open table file when a mount or unmount happened.
    if (table_ && !forceReload && changeFd_) {
        if (now - tableChecked_ < std::chrono::milliseconds(100))
            return table_.get();
        pollfd changed{changeFd_.get(), POLLPRI, 0};
        if (poll(&changed, 1, 0) == 0 || !(changed.revents & (POLLPRI | POLLERR))) {
            tableChecked_ = now;
            return table_.get();
        }
    }
    changeFd_.reset(open(mountInfoPath_.c_str(), O_RDONLY | O_CLOEXEC));
    table_ = changeFd_ ? readMountTable(changeFd_.get(), mountInfoPath_) : nullptr;
    tableChecked_ = now;
    // What was learnt of the mounts belonged to the table it was learnt from.
    readAhead_.clear();
    identities_.clear();
    return table_.get();
}

LinuxVolumeSource::Clock::time_point LinuxVolumeSource::waitDeadline() {
    const auto now = Clock::now();
    if (now > waitEnd_ + std::chrono::seconds(1))
        waitEnd_ = now + unresponsiveMountWait;
    return waitEnd_;
}

std::optional<std::vector<std::string>> LinuxVolumeSource::mountedVolumePaths() {
    std::lock_guard lock(mutex_);
    const MountTable* table = currentTable(true);
    waitEnd_ = Clock::now() + unresponsiveMountWait;
    if (!table) {
        trace("volumes", "table des montages illisible : " + mountInfoPath_);
        return std::nullopt;
    }
    std::vector<std::string> paths;
    paths.reserve(table->mounts.size());
    for (std::size_t index = 0; index < table->mounts.size(); ++index) {
        const auto& mount = table->mounts[index];
        paths.push_back(mount.target);
        // Volumes that discovery will read, on mounts that may hang, are all asked at once, so
        // that the wait for those that never answer is one wait, however many there are. A
        // mount whose earlier probe is still blocked is not asked again.
        if (table->visibleIndex(mount.target) != index || mount.isNetwork || mount.isPseudo ||
            isSystemInternal(mount.target) || !table->mayHangOnWay(mount.target))
            continue;
        readAhead_[index] = probes_.start<VolumeProbe>(
            mount.id, Clock::now(), [path = mount.target, type = mount.fileSystemType] {
                return probeVolumeRoot(path, type, true, true);
            });
    }
    return paths;
}

std::optional<VolumeProbe> LinuxVolumeSource::probe(const MountTable* table, std::size_t mount,
                                                    bool readVersionFile) {
    const auto& entry = table->mounts[mount];
    if (!table->mayHangOnWay(entry.target)) {
        const bool askIdentity = !identities_.contains(entry.device);
        if (!askIdentity && !readVersionFile)
            return reachedMount(AT_FDCWD, entry.target.c_str()).value_or(VolumeProbe{});
        return probeVolumeRoot(entry.target, entry.fileSystemType, askIdentity, readVersionFile);
    }
    auto& job = readAhead_[mount];
    if (!job)
        job = probes_.start<VolumeProbe>(entry.id, waitDeadline(),
                                         [path = entry.target, type = entry.fileSystemType] {
                                             return probeVolumeRoot(path, type, true, true);
                                         });
    return probes_.wait(entry.id, job, waitDeadline());
}

std::optional<VolumeIdentity> LinuxVolumeSource::deviceIdentity(const MountTable* table,
                                                                std::size_t mount) {
    const auto& entry = table->mounts[mount];
    return identityFromDevice(entry.device, entry.source, entry.fileSystemType);
}

std::optional<std::vector<std::string>>
LinuxVolumeSource::directoryEntries(const std::string& path) {
    std::lock_guard lock(mutex_);
    const MountTable* table = currentTable(false);
    auto resolved = table ? resolve(table, path) : path;
    if (!resolved)
        return std::nullopt;
    const MountTable::Mount* risky = table ? table->mayHangOnWay(*resolved) : nullptr;
    auto names = table && !risky
                     ? listDirectory(*resolved)
                     : probes_
                           .run<std::optional<std::vector<std::string>>>(
                               risky ? risky->id : unknownMount, waitDeadline(),
                               [directory = *resolved] { return listDirectory(directory); })
                           .value_or(std::nullopt);
    if (!names)
        return std::nullopt;
    std::vector<std::string> paths;
    paths.reserve(names->size());
    for (const auto& name : *names)
        paths.push_back(joined(path, name));
    return paths;
}

std::string LinuxVolumeSource::resolvingSymlinks(const std::string& path) {
    if (!path.starts_with('/'))
        return path;
    std::lock_guard lock(mutex_);
    const MountTable* table = currentTable(false);
    // The kernel reports mount points resolved: most candidates need no walk at all.
    if (table && table->visibleMount(path))
        return path;
    return resolve(table, path).value_or(path);
}

// realpath(3)'s walk, one component at a time, except that it never looks into a network mount
// (a mount point whose server is gone would block the first lstat under it), and looks into
// other mounts that may hang only through a bounded probe. nullopt when it cannot resolve.
std::optional<std::string> LinuxVolumeSource::resolve(const MountTable* table,
                                                      const std::string& path) {
    std::vector<std::string> pending; // components still to walk, the next one last
    auto push = [&](std::string_view text) { pushPathComponents(pending, text); };
    push(path);

    // The mounts that hold each folder of the resolved path, kept as the walk goes, so that a
    // deep path costs one table look-up per component rather than one per prefix.
    struct Holders {
        const MountTable::Mount* containing = nullptr; // the visible mount that holds it
        const MountTable::Mount* mayHang = nullptr;    // the innermost that may hang on the way
    };
    auto holdersOf = [&](const std::string& folder, Holders holders) {
        if (!table)
            return holders;
        if (const auto* mount = table->visibleMount(folder))
            holders.containing = mount;
        if (auto found = table->mayHangAt.find(folder); found != table->mayHangAt.end())
            holders.mayHang = &table->mounts[found->second];
        return holders;
    };
    const Holders atRoot = holdersOf("/", {});
    std::vector<Holders> holders; // of each component of resolved

    std::string resolved; // "" is the root
    int linksFollowed = 0;
    while (!pending.empty()) {
        std::string component = std::move(pending.back());
        pending.pop_back();
        if (component == ".")
            continue;
        if (component == "..") {
            if (std::size_t slash = resolved.rfind('/'); slash != std::string::npos) {
                resolved.erase(slash);
                holders.pop_back();
            }
            continue;
        }
        std::string next = resolved + "/" + component;
        const bool done =
            std::all_of(pending.begin(), pending.end(), [](auto& c) { return c == "."; });
        const Holders nextHolders = holdersOf(next, holders.empty() ? atRoot : holders.back());
        if (nextHolders.containing && nextHolders.containing->isNetwork) {
            // A mount point is already a resolved path; below it nothing may be looked at.
            if (done && table->visibleMount(next))
                return next;
            return std::nullopt;
        }
        const MountTable::Mount* risky = nextHolders.mayHang;
        if (risky && risky->target == next && table->visibleMount(next)) {
            resolved = std::move(next); // a mount point: a folder, and not a link
            holders.push_back(nextHolders);
            continue;
        }
        auto step =
            table && !risky
                ? lookAt(next)
                : probes_
                      .run<std::optional<LinkStep>>(risky ? risky->id : unknownMount,
                                                    waitDeadline(), [next] { return lookAt(next); })
                      .value_or(std::nullopt);
        if (!step)
            return std::nullopt;
        if (S_ISLNK(step->mode)) {
            if (++linksFollowed > 40)
                return std::nullopt;
            if (step->target.starts_with('/')) {
                resolved.clear();
                holders.clear();
            }
            push(step->target);
            continue;
        }
        if (!S_ISDIR(step->mode) && !done)
            return std::nullopt;
        resolved = std::move(next);
        holders.push_back(nextHolders);
    }
    return resolved.empty() ? "/" : resolved;
}

std::optional<VolumeAttributes> LinuxVolumeSource::attributes(const std::string& path) {
    std::lock_guard lock(mutex_);
    const MountTable* table = currentTable(false);
    VolumeAttributes attributes;
    if (!table) {
        // Without the table only the root is known to be a volume, and nothing vouches for it.
        if (path != "/")
            return std::nullopt;
        auto root = probes_.run<VolumeProbe>(unknownRoot, waitDeadline(),
                                             [] { return probeVolumeRoot("/", "", true, false); });
        if (!root || !root->opened)
            return std::nullopt;
        attributes.isVolume = true;
        VolumeIdentity identity = root->identity;
        if (!root->identityComplete)
            identity = identityFromDevice(root->device, "", "").value_or(identity);
        attributes.volumeName = std::move(identity.name);
        attributes.volumeUUIDString = std::move(identity.uuid);
        return attributes;
    }

    std::size_t index = table->visibleIndex(path);
    if (index != none) {
        const auto* mount = &table->mounts[index];
        const bool visibleToUser = !mount->isPseudo && !isSystemInternal(path);
        if (mount->isNetwork || (!visibleToUser && path != "/"))
            return VolumeAttributes{true, !mount->isNetwork, visibleToUser, {}, {}};
        auto reached = probe(table, index, false);
        if (!reached)
            return std::nullopt; // no answer in time
        // A mount point this process may not open is still described by the table and the
        // device.
        if (reached->opened && reached->mountId >= 0 && reached->mountId != mount->id) {
            // The path leads to another mount than the table's last one there: a mount stacked
            // in another order, or the path's parent over-mounted, which hides this volume.
            auto other = table->byId.find(reached->mountId);
            if (other == table->byId.end() || table->mounts[other->second].target != path)
                return VolumeAttributes{false, true, visibleToUser, {}, {}};
            index = other->second;
            mount = &table->mounts[index];
        }
        attributes.isVolume = true;
        attributes.volumeIsLocal = !mount->isNetwork;
        attributes.volumeIsBrowsable = !mount->isPseudo && !isSystemInternal(path);
        if (mount->isPseudo)
            return attributes;
        VolumeIdentity identity;
        if (auto known = identities_.find(mount->device); known != identities_.end()) {
            identity = known->second;
        } else {
            // The mounted file system answers first where it can (ext4, btrfs, xfs, f2fs...): it
            // is current and costs two ioctls, where a probe of the device costs a dozen system
            // calls and a read. Otherwise the udev database, then a probe.
            identity = reached->identity;
            if (!reached->identityComplete)
                identity = deviceIdentity(table, index).value_or(identity);
            if (!table->mayHangOnWay(mount->target))
                identities_[mount->device] = identity;
        }
        attributes.volumeName = std::move(identity.name);
        attributes.volumeUUIDString = std::move(identity.uuid);
        return attributes;
    }

    attributes.isVolume = false;
    const auto* mount = table->containingMount(path);
    if (mount && mount->isNetwork) {
        attributes.volumeIsLocal = false;
        return attributes;
    }
    const MountTable::Mount* risky = table->mayHangOnWay(path);
    auto step = !risky ? lookAt(path)
                       : probes_
                             .run<std::optional<LinkStep>>(risky->id, waitDeadline(),
                                                           [path] { return lookAt(path); })
                             .value_or(std::nullopt);
    if (!step)
        return std::nullopt;
    if (mount) {
        attributes.volumeIsLocal = true;
        attributes.volumeIsBrowsable = !mount->isPseudo && !isSystemInternal(mount->target);
    }
    return attributes;
}

std::optional<std::string> LinuxVolumeSource::readFileInVolume(const std::string& volumePath,
                                                               const std::string& relativePath) {
    std::lock_guard lock(mutex_);
    const MountTable* table = currentTable(false);
    const std::size_t index = table ? table->visibleIndex(volumePath) : none;
    if (index != none) {
        const auto& mount = table->mounts[index];
        if (mount.isNetwork)
            return std::nullopt;
        if (relativePath == versionFilePath) {
            auto probed = probe(table, index, true);
            // A volume whose mount point leads elsewhere has no file of its own to give.
            if (!probed || (probed->mountId >= 0 && probed->mountId != mount.id))
                return std::nullopt;
            return probed->versionFile;
        }
    }
    const MountTable::Mount* risky = table ? table->mayHangOnWay(volumePath) : nullptr;
    if (table && !risky)
        return readFileInDirectory(volumePath, relativePath);
    const int key = risky ? risky->id : volumePath == "/" ? unknownRoot : unknownMount;
    return probes_
        .run<std::optional<std::string>>(
            key, waitDeadline(),
            [volumePath, relativePath] { return readFileInDirectory(volumePath, relativePath); })
        .value_or(std::nullopt);
}

std::optional<std::string> LinuxVolumeSource::readFile(const std::string& path) {
    std::lock_guard lock(mutex_);
    const MountTable* table = currentTable(false);
    const MountTable::Mount* risky = table ? table->mayHangOnWay(path) : nullptr;
    if (table && !risky)
        return readRegularFile(path, maxVersionFileSize);
    return probes_
        .run<std::optional<std::string>>(
            risky ? risky->id : unknownMount, waitDeadline(),
            [path] { return readRegularFile(path, maxVersionFileSize); })
        .value_or(std::nullopt);
}

std::string LinuxVolumeSource::volumeKey(const std::string& resolvedPath) {
    std::lock_guard lock(mutex_);
    const MountTable* table = currentTable(false);
    const MountTable::Mount* mount = table ? table->visibleMount(resolvedPath) : nullptr;
    if (!mount)
        return resolvedPath;
    // Bind mounts show one tree of one file system wherever they are: its device and the folder
    // at the mount's root name it. The leading NUL keeps the key apart from any UUID and path.
    return std::string(1, '\0') + std::to_string(major(mount->device)) + ":" +
           std::to_string(minor(mount->device)) + ":" + mount->root;
}

std::optional<PropertyList> LinuxVolumeSource::decodePropertyList(const std::string& data) {
    auto decoded = decodePropertyListData(data);
    // NOTE: hook for the decoder's guard, which alone knows whether the data was malformed or
    // beyond its bounds (depth, expanded values): it may trace that reason where it refuses.
    if (!decoded)
        trace("volumes", "liste de propriétés refusée (" + std::to_string(data.size()) +
                             " octets) : ni XML ni binaire, mal formée ou au-delà des bornes");
    return decoded;
}

} // namespace kavelin::platform
