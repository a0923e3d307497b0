#include <algorithm>
#include <string>
#include <unordered_set>

#include "volumes/startup_volume.h"

namespace kavelin {

namespace {

constexpr std::string_view rootPath = "/";
constexpr std::string_view mountDirectory = "/Volumes";
constexpr std::string_view productVersionKey = "ProductVersion";

std::string lastPathComponent(const std::string& path) {
    if (path == rootPath)
        return path;
    std::string_view trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.remove_suffix(1);
    return std::string(trimmed.substr(trimmed.rfind('/') + 1));
}

// Candidates in order: the root, the mounted volumes, the entries of the mount directory. A
// source that cannot be read adds nothing.
std::vector<std::string> gatherCandidates(platform::VolumeSource& source) {
    std::vector<std::string> candidates{std::string(rootPath)};
    if (auto mounted = source.mountedVolumePaths())
        candidates.insert(candidates.end(), mounted->begin(), mounted->end());
    if (auto entries = source.directoryEntries(std::string(mountDirectory)))
        candidates.insert(candidates.end(), entries->begin(), entries->end());
    return candidates;
}

bool passesVolumeTests(const platform::VolumeAttributes& attributes) {
    return attributes.isVolume.value_or(false) && attributes.volumeIsLocal.value_or(false) &&
           attributes.volumeIsBrowsable.value_or(false);
}

// The "ProductVersion" string of the volume's version file; nullopt when the file is missing,
// not a property list, not a dictionary, or holds no such string.
std::optional<std::string> productVersion(const std::string& volumePath,
                                          platform::VolumeSource& source,
                                          platform::TextService& text) {
    auto contents = source.readFileInVolume(volumePath, std::string(platform::versionFilePath));
    if (!contents)
        return std::nullopt;
    auto propertyList = source.decodePropertyList(*contents);
    if (!propertyList || !propertyList->isDictionary)
        return std::nullopt;
    // A dictionary holds one value per key: when a file repeats the key, the later entry wins.
    const platform::PropertyList::Entry* found = nullptr;
    for (const auto& entry : propertyList->entries) {
        if (text.canonicallyEquivalent(entry.key, productVersionKey))
            found = &entry;
    }
    if (!found)
        return std::nullopt;
    return found->stringValue;
}

class Discovery {
public:
    Discovery(platform::VolumeSource& source, platform::TextService& text)
        : source(source), text(text) {}

    std::optional<StartupVolume> evaluate(const std::string& candidate) {
        std::string resolved = source.resolvingSymlinks(candidate);
        bool isRoot = resolved == rootPath;
        auto attributes = source.attributes(resolved);
        if (!attributes)
            return std::nullopt;
        if (!isRoot && !passesVolumeTests(*attributes))
            return std::nullopt;
        // UUIDs and the source's keys of volumes without one share one set: a volume is the
        // same volume whichever way it was reached, and the first qualifying appearance wins.
        // Equivalent UUID texts name one volume; whether two paths do is the source's to say.
        std::string key = attributes->volumeUUIDString
                              ? text.canonicalForm(*attributes->volumeUUIDString)
                              : source.volumeKey(resolved);
        // A later appearance of an accepted volume is dropped whatever its version file holds,
        // so that file need not be read.
        if (seenKeys.contains(key))
            return std::nullopt;
        auto version = productVersion(resolved, source, text);
        if (!version)
            return std::nullopt;
        seenKeys.insert(std::move(key));
        std::string name = attributes->volumeName.value_or(lastPathComponent(resolved));
        return StartupVolume(platform::FileURL{resolved}, std::move(name), std::move(*version),
                             attributes->volumeUUIDString, isRoot);
    }

private:
    platform::VolumeSource& source;
    platform::TextService& text;
    std::unordered_set<std::string> seenKeys;
};

} // namespace

std::vector<StartupVolume> StartupVolume::mounted(platform::VolumeSource& source,
                                                  platform::TextService& text) {
    Discovery discovery(source, text);
    std::vector<StartupVolume> volumes;
    for (const auto& candidate : gatherCandidates(source)) {
        if (auto volume = discovery.evaluate(candidate))
            volumes.push_back(std::move(*volume));
    }
    std::stable_sort(volumes.begin(), volumes.end(),
                     [&](const StartupVolume& a, const StartupVolume& b) {
                         if (a.isCurrent() != b.isCurrent())
                             return a.isCurrent();
                         return text.finderCompare(a.name(), b.name()) < 0;
                     });
    return volumes;
}

} // namespace kavelin
