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

// A mount is found at its exact mount point only, the top of a stack winning; a path is left
// alone when it goes through a share not hidden by a mount over it.
TEST(MountFlags, LeavesAloneEveryPathThatGoesThroughADeadMount) {
    const std::vector<MountRecord> mounts = {
        {"/", 0}, // never in the way
        {"/Volumes/Disque", mountIsLocal},
        {"/Volumes/Partage", 0},
        {"/Volumes/Partage/Local", mountIsLocal}, // reached through the share
        {"/Volumes/Couvert", 0},
        {"/Volumes/Couvert", mountIsLocal}, // hides the share beneath it
    };
    const std::tuple<const char*, const MountRecord*, const MountRecord*> rows[] = {
        {"/", &mounts[0], nullptr},
        {"/Volumes", nullptr, nullptr},
        {"", nullptr, nullptr},
        {"/Volumes/Disque", &mounts[1], nullptr},
        {"/Volumes/Disque/System", nullptr, nullptr},
        {"/Volumes/Partage", &mounts[2], &mounts[2]},
        {"/Volumes/Part", nullptr, nullptr},
        {"/Volumes/Partage/System/Library", nullptr, &mounts[2]},
        {"/Volumes/Partage/Local", &mounts[3], &mounts[2]},
        {"/Volumes/Partagé", nullptr, nullptr},
        {"/Volumes/Couvert", &mounts[5], nullptr},
        {"/Volumes/Couvert/System", nullptr, nullptr},
    };
    for (const auto& [path, at, untouchable] : rows) {
        EXPECT_EQ(mountAt(mounts, path), at) << path;
        EXPECT_EQ(untouchableOnTheWay(mounts, path), untouchable) << path;
    }
}

} // namespace
} // namespace kavelin::platform
