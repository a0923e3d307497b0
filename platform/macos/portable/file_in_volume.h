#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace kavelin::platform {

// The whole contents of the regular file at relativePath inside the volume whose root is
// volumePath, at most maxSize bytes. Each component is opened beneath the one before without
// following it (O_NOFOLLOW) and must lie on the root's device, so a disk whose "System" links to
// the running system's, or an empty folder with another disk mounted over it, yields nothing. A
// FIFO or a device is looked at, never opened. nullopt when there is no such file.
std::optional<std::string> readFileInVolumeTree(const std::string& volumePath,
                                                const std::string& relativePath,
                                                std::size_t maxSize);

// The diagnostic line for a file the system refused to open, when the refusal deserves one: EPERM
// is the answer of macOS's privacy consent (removable or network volumes, protected folders),
// which once refused stays so until the user allows it again in the system settings.
std::optional<std::string> refusalTraceLine(const std::string& path, int error);

} // namespace kavelin::platform
