#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavelin::platform {

// How a path beneath a directory is resolved: by the kernel (openat2, Linux 5.6), or one
// component at a time where the kernel lacks it.
enum class BeneathWalk { kernel, components };

// The whole contents of the regular file at relativePath beneath the directory dirFd, reached
// without leaving that directory's file system and without climbing above it (links are followed
// only while they stay beneath it), and not larger than maxSize; nullopt when there is no such
// file. FIFOs and devices are looked at, never opened.
std::optional<std::string> readFileBeneath(int dirFd, const std::string& relativePath,
                                           std::size_t maxSize,
                                           BeneathWalk walk = BeneathWalk::kernel);

// Adds the components of a path to a stack of components still to walk, the first one last, so
// that a walk pops them in order; empty components (repeated or trailing slashes) are skipped.
void pushPathComponents(std::vector<std::string>& pending, std::string_view path);

} // namespace kavelin::platform
