// The volume source over Foundation: NSFileManager's mounted-volume list and directory listing,
// NSURL symbolic-link resolution and resource values, NSData file reading and
// NSPropertyListSerialization (XML and binary formats). The version file is read only when it
// is a regular file within maxVersionFileSize: a removable disk is untrusted. Not supported:
// reusing the resource values prefetched by the listings (each read asks the file system again).

#import <Foundation/Foundation.h>

#include "platform/macos/mac_conversions.h"
#include "platform/native_services.h"
#include "platform/volume_source.h"

namespace kavelin::platform {

namespace {

// The five volume attributes, in the order discovery names them; prefetched by both listings.
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
            NSArray<NSURL*>* urls = [[NSFileManager defaultManager]
                mountedVolumeURLsIncludingResourceValuesForKeys:volumeKeys()
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
                                              includingPropertiesForKeys:volumeKeys()
                                                                 options:0
                                                                   error:&error];
            if (!entries)
                return std::nullopt;
            return paths(entries);
        }
    }

    std::string resolvingSymlinks(const std::string& path) override {
        @autoreleasepool {
            NSString* resolved = fileURL(path).URLByResolvingSymlinksInPath.path;
            if (resolved.length == 0)
                return path;
            return utf8(resolved);
        }
    }

    std::optional<VolumeAttributes> attributes(const std::string& path) override {
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
};

} // namespace

VolumeSource& nativeVolumeSource() {
    static MacVolumeSource source;
    return source;
}

} // namespace kavelin::platform
