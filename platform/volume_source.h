#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kavelin::platform {

// The file that tells a volume's system version, relative to the volume's root.
inline constexpr std::string_view versionFilePath =
    "System/Library/CoreServices/SystemVersion.plist";
// Largest version file a source reads; a disk may be hostile. Real ones are under 1 KiB; the
// most expensive file of this size decodes in well under a millisecond.
inline constexpr std::size_t maxVersionFileSize = 16 * 1024;

// The five volume attributes that discovery reads; each may be absent.
struct VolumeAttributes {
    std::optional<bool> isVolume;
    std::optional<bool> volumeIsLocal;
    std::optional<bool> volumeIsBrowsable;
    std::optional<std::string> volumeName;
    std::optional<std::string> volumeUUIDString;
};

// What discovery reads of a decoded property list: whether its top level is a dictionary with
// string keys and, for each entry in order, its key and its value when that value is a string.
struct PropertyList {
    struct Entry {
        std::string key;
        std::optional<std::string> stringValue; // absent when the value is not a string
    };
    bool isDictionary = false;
    std::vector<Entry> entries;
};

// The file-system operations of volume discovery. Paths are absolute, UTF-8, without a trailing
// slash except for "/".
class VolumeSource {
public:
    virtual ~VolumeSource() = default;
    // Mount points of all mounted volumes in the platform's order; nullopt when unavailable.
    virtual std::optional<std::vector<std::string>> mountedVolumePaths() = 0;
    // Full paths of a directory's immediate entries, hidden ones included; nullopt on failure.
    virtual std::optional<std::vector<std::string>> directoryEntries(const std::string& path) = 0;
    // The path with every symbolic link resolved; the path unchanged when it cannot be resolved.
    virtual std::string resolvingSymlinks(const std::string& path) = 0;
    // The volume attributes of a path; nullopt when the read fails.
    virtual std::optional<VolumeAttributes> attributes(const std::string& path) = 0;
    // The whole contents of a small regular file; nullopt when missing, unreadable or unsafe.
    virtual std::optional<std::string> readFile(const std::string& path) = 0;
    // The same for a file at relativePath inside the volume mounted at volumePath, reached
    // without leaving that volume; nullopt also when the path leads elsewhere. Sources that
    // cannot tell volumes apart read the joined path.
    virtual std::optional<std::string> readFileInVolume(const std::string& volumePath,
                                                        const std::string& relativePath) {
        return readFile(volumePath == "/" ? "/" + relativePath : volumePath + "/" + relativePath);
    }
    // The key that tells volumes without a UUID apart: equal for two paths that show the same
    // volume. The path byte for byte by default, as on file systems where two names that differ
    // only in normalisation are two folders.
    virtual std::string volumeKey(const std::string& resolvedPath) { return resolvedPath; }
    // The decoded property list (XML or binary); nullopt when the data is not a property list.
    virtual std::optional<PropertyList> decodePropertyList(const std::string& data) = 0;
};

} // namespace kavelin::platform
