#include <gtest/gtest.h>

#include "platform/macos/portable/mount_flags.h"

namespace kavelin::platform {
namespace {

TEST(MountFlags, AnswersForMountsThatMustNotBeTouchedOnly) {
    struct Row {
        MountRecord mount;
        bool answered;
        bool local, browsable;
    };
    const Row rows[] = {
        {{"/Volumes/Disque", mountIsLocal}, false, {}, {}},
        {{"/Volumes/Partage", 0}, true, false, true}, // network share, FUSE
        {{"/System/Volumes/Data", mountIsLocal | mountDontBrowse}, true, true, false},
        {{"/Volumes/Caché", mountDontBrowse}, true, false, false},
        // The running system is asked, whatever its flags: its name comes from the file system.
        {{"/", 0}, false, {}, {}},
        {{"/", mountIsLocal | mountDontBrowse}, false, {}, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.mount.mountPoint + " flags " + std::to_string(row.mount.flags));
        EXPECT_EQ(mustNotTouch(row.mount), row.answered);
        auto attributes = attributesFromMountFlags(row.mount);
        ASSERT_EQ(attributes.has_value(), row.answered);
        if (!attributes)
            continue;
        EXPECT_EQ(attributes->isVolume, true);
        EXPECT_EQ(attributes->volumeIsLocal, row.local);
        EXPECT_EQ(attributes->volumeIsBrowsable, row.browsable);
        // No name or UUID: both would have to be asked of the file system.
        EXPECT_FALSE(attributes->volumeName || attributes->volumeUUIDString);
    }
}

TEST(MountFlags, FindsOnlyTheExactMountPointAndTheTopOfAStack) {
    const std::vector<MountRecord> mounts = {
        {"/", mountIsLocal},
        {"/Volumes/Partage", 0},
        {"/Volumes/Disque", mountIsLocal},
        {"/Volumes/Partage", mountIsLocal}, // mounted over the share, which it hides
    };
    EXPECT_EQ(mountAt(mounts, "/Volumes/Partage"), &mounts[3]);
    EXPECT_EQ(mountAt(mounts, "/"), &mounts[0]);
    for (const char* path : {"/Volumes/Partage/dossier", "/Volumes/Part", "/Volumes", ""})
        EXPECT_EQ(mountAt(mounts, path), nullptr) << path;
}

TEST(MountFlags, LeavesAloneEveryPathThatGoesThroughADeadMount) {
    const std::vector<MountRecord> mounts = {
        {"/", 0}, // never in the way
        {"/Volumes/Disque", mountIsLocal},
        {"/Volumes/Partage", 0},
        {"/Volumes/Partage/Local", mountIsLocal}, // reached through the share
        {"/Volumes/Couvert", 0},
        {"/Volumes/Couvert", mountIsLocal}, // hides the share beneath it
    };
    const std::pair<const char*, const MountRecord*> rows[] = {
        {"/", nullptr},
        {"/Volumes", nullptr},
        {"/Volumes/Disque", nullptr},
        {"/Volumes/Disque/System", nullptr},
        {"/Volumes/Partage", &mounts[2]},
        {"/Volumes/Partage/System/Library", &mounts[2]},
        {"/Volumes/Partage/Local", &mounts[2]},
        {"/Volumes/Partagé", nullptr},
        {"/Volumes/Couvert/System", nullptr},
    };
    for (const auto& [path, expected] : rows)
        EXPECT_EQ(untouchableOnTheWay(mounts, path), expected) << path;
}

} // namespace
} // namespace kavelin::platform
