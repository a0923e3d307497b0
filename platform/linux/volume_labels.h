#pragma once

#include <optional>
#include <string>

#include <sys/types.h>

namespace kavelin::platform {

// A file system's label and UUID.
struct VolumeIdentity {
    std::optional<std::string> name;
    std::optional<std::string> uuid;
};

// Probes the superblock on fd (a block device or an image file) with libblkid: for the given
// file-system type alone first, then for every type; nullopt when none is recognised.
std::optional<VolumeIdentity> probeVolumeIdentity(int fd, const std::string& type);

// What a mounted file system tells anyone who can open its root (rootFd): the label and UUID
// ioctls, the FAT volume id. complete is set when it answered for both the label and the UUID.
// On a FUSE mount these are questions to its server.
VolumeIdentity identityFromFileSystem(int rootFd, const std::string& type, bool& complete);

// The label and UUID of the block device that holds a mount (its device number, or for file
// systems that show an anonymous one, its source): from the udev database where udev runs, else
// from a probe of the device when this process may read it. Never touches the mount itself.
std::optional<VolumeIdentity> identityFromDevice(dev_t device, const std::string& source,
                                                 const std::string& type);

} // namespace kavelin::platform
