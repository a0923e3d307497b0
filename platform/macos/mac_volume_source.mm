// The volume source over Foundation: NSFileManager's mounted-volume list and directory listing,
// NSURL symbolic-link resolution and resource values, NSData file reading and
// NSPropertyListSerialization (XML and binary formats), with the kernel's mount table
// (getfsstat, MNT_NOWAIT) read once per discovery: a mount that is not local (a network share,
// FUSE) or not for browsing is answered from its flags, and its path is never touched, so a
// server that is gone cannot freeze the menu. The version file is read only when it is a
// regular file within maxVersionFileSize, reached inside its own volume: a removable disk is
// untrusted. Not supported: prefetching resource values with the listings (they would be looked
// up on every mount, dead ones included).

#import <Foundation/Foundation.h>

#include <sys/mount.h>
#include <sys/param.h>

#include <cstring>
#include <mutex>

#include "platform/macos/mac_conversions.h"
#include "platform/macos/portable/file_in_volume.h"
#include "platform/macos/portable/mount_flags.h"
#include "platform/native_services.h"
#include "platform/volume_source.h"

namespace kavelin::platform {

static_assert(mountIsLocal == MNT_LOCAL);
static_assert(mountDontBrowse == MNT_DONTBROWSE);

namespace {

// The kernel's mount table as it stands, without waiting for any file system; empty when it
// cannot be read.
std::vector<MountRecord> readMountTable() {
    for (int attempt = 0; attempt < 4; ++attempt) {
        int count = getfsstat(nullptr, 0, MNT_NOWAIT);
        if (count <= 0)
            return {};
        // Room for mounts that arrive between the two calls; a full buffer may have missed some.
        std::vector<struct statfs> entries(static_cast<std::size_t>(count) + 8);
        int filled = getfsstat(
            entries.data(), static_cast<int>(entries.size() * sizeof(struct statfs)), MNT_NOWAIT);
        if (filled < 0)
            return {};
        if (static_cast<std::size_t>(filled) == entries.size())
            continue;
        std::vector<MountRecord> mounts;
        mounts.reserve(static_cast<std::size_t>(filled));
        for (int index = 0; index < filled; ++index) {
            const struct statfs& entry = entries[static_cast<std::size_t>(index)];
            mounts.push_back(
                {std::string(entry.f_mntonname, strnlen(entry.f_mntonname, MAXPATHLEN)),
                 entry.f_flags});
        }
        return mounts;
    }
    return {};
}

// The five volume attributes, in the order discovery names them.
NSArray<NSURLResourceKey>* volumeKeys() {
    return @[
        NSURLVolumeNameKey, NSURLVolumeUUIDStringKey, NSURLVolumeIsLocalKey,
        NSURLVolumeIsBrowsableKey, NSURLIsVolumeKey
    ];
}

std::optional<bool> boolValue(id value) {
    if (![value isKindOfClass:[NSNumber class]])
        return std::nullopt;
    NSNumber* number = value;
    return static_cast<bool>(number.boolValue);
}

std::optional<std::string> stringValue(id value) {
    if (![value isKindOfClass:[NSString class]])
        return std::nullopt;
    return utf8(value);
}

std::vector<std::string> paths(NSArray<NSURL*>* urls) {
    std::vector<std::string> result;
    result.reserve(urls.count);
    for (NSURL* url in urls) {
        NSString* path = url.path;
        if (path.length > 0)
            result.push_back(utf8(path));
    }
    return result;
}

class MacVolumeSource final : public VolumeSource {
public:
    std::optional<std::vector<std::string>> mountedVolumePaths() override {
        @autoreleasepool {
            // A discovery starts with this listing: the mount table read now serves it whole.
            {
                std::lock_guard lock(mutex);
                mounts = readMountTable();
                mountsRead = true;
            }
            NSArray<NSURL*>* urls =
                [[NSFileManager defaultManager] mountedVolumeURLsIncludingResourceValuesForKeys:nil
                                                                                        options:0];
            if (!urls)
                return std::nullopt;
            return paths(urls);
        }
    }

    std::optional<std::vector<std::string>> directoryEntries(const std::string& path) override {
        @autoreleasepool {
            NSString* string = stringFromUTF8(path);
            if (string.length == 0)
                return std::nullopt;
            NSURL* directory = [NSURL fileURLWithPath:string isDirectory:YES];
            NSError* error = nil;
            NSArray<NSURL*>* entries =
                [[NSFileManager defaultManager] contentsOfDirectoryAtURL:directory
                                              includingPropertiesForKeys:nil
                                                                 options:0
                                                                   error:&error];
            if (!entries)
                return std::nullopt;
            return paths(entries);
        }
    }

    std::string resolvingSymlinks(const std::string& path) override {
        // Looking at the path may hang; and a mount point is no link.
        if (untouchableMount(path))
            return path;
        @autoreleasepool {
            NSString* resolved = fileURL(path).URLByResolvingSymlinksInPath.path;
            if (resolved.length == 0)
                return path;
            return utf8(resolved);
        }
    }

    std::optional<VolumeAttributes> attributes(const std::string& path) override {
        // A mount point is answered from its flags; a path beneath it is left alone.
        if (auto mount = untouchableMount(path))
            return mount->mountPoint == path ? attributesFromMountFlags(*mount) : std::nullopt;
        @autoreleasepool {
            NSURL* url = fileURL(path);
            if (!url)
                return std::nullopt;
            NSError* error = nil;
            NSDictionary<NSURLResourceKey, id>* values = [url resourceValuesForKeys:volumeKeys()
                                                                              error:&error];
            if (!values)
                return std::nullopt;
            VolumeAttributes attributes;
            attributes.isVolume = boolValue(values[NSURLIsVolumeKey]);
            attributes.volumeIsLocal = boolValue(values[NSURLVolumeIsLocalKey]);
            attributes.volumeIsBrowsable = boolValue(values[NSURLVolumeIsBrowsableKey]);
            attributes.volumeName = stringValue(values[NSURLVolumeNameKey]);
            attributes.volumeUUIDString = stringValue(values[NSURLVolumeUUIDStringKey]);
            return attributes;
        }
    }

    std::optional<std::string> readFile(const std::string& path) override {
        @autoreleasepool {
            // Looked at before it is opened: a FIFO would block the read and a device could
            // never end it. Links are resolved first, so that what is checked is what is read.
            NSURL* url = fileURL(path).URLByResolvingSymlinksInPath;
            if (!url)
                return std::nullopt;
            NSError* error = nil;
            NSDictionary<NSURLResourceKey, id>* values =
                [url resourceValuesForKeys:@[ NSURLIsRegularFileKey, NSURLFileSizeKey ]
                                     error:&error];
            NSNumber* size = values[NSURLFileSizeKey];
            if (!boolValue(values[NSURLIsRegularFileKey]).value_or(false) ||
                ![size isKindOfClass:[NSNumber class]] ||
                size.unsignedLongLongValue > maxVersionFileSize)
                return std::nullopt;
            NSData* data = [NSData dataWithContentsOfURL:url options:0 error:&error];
            // The file may have grown since it was looked at.
            if (!data || data.length > maxVersionFileSize)
                return std::nullopt;
            if (data.length == 0)
                return std::string();
            return std::string(static_cast<const char*>(data.bytes), data.length);
        }
    }

    std::optional<std::string> readFileInVolume(const std::string& volumePath,
                                                const std::string& relativePath) override {
        // The running system's own file is its version wherever it lies; any other volume's
        // must be found on that volume, not through a link to the running system's.
        if (volumePath == "/")
            return readFile("/" + relativePath);
        return readFileInVolumeTree(volumePath, relativePath, maxVersionFileSize);
    }

    // NOTE: APFS and HFS+ look names up whatever their normalisation: two spellings of one
    // path reach one folder, so they make one key.
    std::string volumeKey(const std::string& resolvedPath) override {
        @autoreleasepool {
            NSString* path = stringFromUTF8(resolvedPath);
            return path ? utf8(path.precomposedStringWithCanonicalMapping) : resolvedPath;
        }
    }

    std::optional<PropertyList> decodePropertyList(const std::string& data) override {
        @autoreleasepool {
            NSData* bytes = [NSData dataWithBytes:data.data() length:data.size()];
            NSError* error = nil;
            id decoded = [NSPropertyListSerialization propertyListWithData:bytes
                                                                   options:0
                                                                    format:nullptr
                                                                     error:&error];
            if (!decoded)
                return std::nullopt;
            PropertyList list;
            if (![decoded isKindOfClass:[NSDictionary class]])
                return list;
            NSDictionary* dictionary = decoded;
            for (id key in dictionary) {
                if (![key isKindOfClass:[NSString class]])
                    return PropertyList{};
                list.entries.push_back({utf8(key), stringValue(dictionary[key])});
            }
            list.isDictionary = true;
            return list;
        }
    }

private:
    // The mount on the way to this path that must not be touched, from the table of the
    // current discovery (read now when none is).
    std::optional<MountRecord> untouchableMount(const std::string& path) {
        std::lock_guard lock(mutex);
        if (!mountsRead) {
            mounts = readMountTable();
            mountsRead = true;
        }
        const MountRecord* mount = untouchableOnTheWay(mounts, path);
        if (!mount)
            return std::nullopt;
        return *mount;
    }

    std::mutex mutex;
    std::vector<MountRecord> mounts;
    bool mountsRead = false;
};

} // namespace

VolumeSource& nativeVolumeSource() {
    static MacVolumeSource source;
    return source;
}

} // namespace kavelin::platform
