// The program itself, in a private mount namespace dressed up as a Mac by scripts/fake-mac: the
// listing's exact bytes, its error stream, and mounts that never answer.

#include <gtest/gtest.h>

#include <cstdlib>

#include <unistd.h>

#include "platform/volume_source.h"
#include "test_support.h"

namespace kavelin {
namespace {

// One session in the fake Mac: the listing under the C and a French locale (the same bytes), then
// with the trace on, which alone may write to the error stream. Then FUSE mounts whose server
// never reads (the shell holds /dev/fuse open), volumes whose system folder links into one of them
// or up to the root, a volume hidden by a mount over its parent, and a responsive bindfs volume
// with a system: the listing, timed on the error stream. Last, the listing without mount table.
// clang-format off
const char* const script = R"sh(set -e
LC_ALL=C "$1" --list-volumes; LC_ALL=fr_FR.UTF-8 "$1" --list-volumes
LC_ALL=C KAVELIN_TRACE=1 "$1" --list-volumes 2>&1 >/dev/null
exec 3<>/dev/fuse
hung() { mkdir -p "$1"; mount -i -t "$2" -o fd=3,rootmode=40000,user_id=0,group_id=0 x "$1"; }
hung /Volumes/rclone fuse.rclone; hung /media/s3 fuse.s3fs; hung /snap/x fuse.snapfuse
hung /mnt/ssh fuse.sshfs
mkdir /srv; mount -t tmpfs tmpfs /srv; mkdir -p /srv/fuse /Volumes/Fuse /mnt/p/v
for name in Lien Racine Cache; do
    truncate -s 8M /srv/$name.img; mkfs.ext4 -q -F -L $name /srv/$name.img
done
mkdir /Volumes/Lien /Volumes/Racine; mount -o loop /srv/Lien.img /Volumes/Lien
mount -o loop /srv/Racine.img /Volumes/Racine; mount -o loop /srv/Cache.img /mnt/p/v
ln -s /mnt/ssh/System /Volumes/Lien/System; ln -s ../.. /Volumes/Racine/System
mount -t tmpfs tmpfs /mnt/p; ln -s / /mnt/p/v
cp -a "/Volumes/Données/System" /srv/fuse/; bindfs /srv/fuse /Volumes/Fuse
start=$(date +%s%N); timeout -s KILL 20 "$1" --list-volumes || true; end=$(date +%s%N)
echo "$(( (end - start) / 1000000 ))" >&2
mount -t tmpfs tmpfs /proc; "$1" --list-volumes
)sh";
// clang-format on

TEST(ListVolumes, LeavesOutMountsThatNeverAnswerAndListsTheRestInTheSameBytesUnderAnyLocale) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root: the fake Mac is a mount namespace with loop-mounted images";
    if (test::run({"bindfs", "--version"}).status != 0 || access("/dev/fuse", R_OK | W_OK) != 0)
        GTEST_SKIP() << "needs bindfs and /dev/fuse (scripts/setup installs bindfs)";
    const char* build = std::getenv("KAVELIN_BUILD_DIR");
    const std::string program = std::string(build ? build : KAVELIN_TEST_BUILD_DIR) + "/kavelin";
    const std::string mountsBefore = test::readWholeFile("/proc/self/mountinfo");
    auto listed = test::run({KAVELIN_TEST_SOURCE_DIR "/../../scripts/fake-mac", "/bin/sh", "-c",
                             script, "sh", program});
    EXPECT_EQ(test::readWholeFile("/proc/self/mountinfo"), mountsBefore)
        << "the fake Mac leaked into the host's mount table";
    if (listed.status == 77)
        GTEST_SKIP() << "the fake Mac cannot be set up here: " << listed.errors;
    ASSERT_EQ(listed.status, 0) << listed.errors;
    // Sorted without case, "/" once though /Volumes links to it; no system, FIFO or RAM disk.
    const std::string fakeMac = "Macintosh HD  —  macOS 14.1 (en cours)\n"
                                "data 2  —  macOS 14.2\n"
                                "Data 10  —  macOS 13.6.1\n"
                                "Données  —  macOS 12.7.4\n";
    // The FIFO version file, refused once from the mount table and once from /Volumes.
    const std::string refused = "kavelin: fichiers: /Volumes/Piège/" +
                                std::string(platform::versionFilePath) +
                                " refusé : pas un fichier ordinaire\n";
    EXPECT_EQ(listed.output, fakeMac + fakeMac + refused + refused + fakeMac +
                                 "Fuse  —  macOS 12.7.4\n" +
                                 "Macintosh HD  —  macOS 14.1 (en cours)\n");
    // Only the time in milliseconds; the bound tells a wait from a hang (timing goals: bench/).
    EXPECT_EQ(listed.errors, std::to_string(std::atoi(listed.errors.c_str())) + "\n");
    EXPECT_LT(std::atoi(listed.errors.c_str()), 2000) << listed.errors;
}

} // namespace
} // namespace kavelin
