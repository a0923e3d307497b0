// The program itself, in a private mount namespace dressed up as a Mac by scripts/fake-mac: the
// listing's exact bytes under the C locale and under a French one, and its error stream, empty
// unless the diagnostic trace is asked for.

#include <gtest/gtest.h>

#include <cstdlib>

#include <unistd.h>

#include "platform/volume_source.h"
#include "test_support.h"

namespace kavelin {
namespace {

const char* const fakeMac = KAVELIN_TEST_SOURCE_DIR "/../../scripts/fake-mac";
const char* const builtIn = std::getenv("KAVELIN_BUILD_DIR");
const std::string program = std::string(builtIn ? builtIn : KAVELIN_TEST_BUILD_DIR) + "/kavelin";
const std::string fakeMacListing = "Macintosh HD  —  macOS 14.1 (en cours)\n"
                                   "data 2  —  macOS 14.2\n"
                                   "Data 10  —  macOS 13.6.1\n"
                                   "Données  —  macOS 12.7.4\n";

TEST(ListVolumes, PrintsTheFakeMacsVolumesInTheSameBytesUnderTheCAndAFrenchLocale) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root: the fake Mac is a mount namespace with loop-mounted images";
    // The same listing under the C locale, a French one (scripts/setup installs it), and with
    // the diagnostic trace on, which alone may write to the error stream.
    std::vector<std::vector<std::string>> locales = {
        {"LC_ALL=C"}, {"LC_ALL=fr_FR.UTF-8"}, {"LC_ALL=C", "KAVELIN_TRACE=1"}};
    const bool french = test::run({"locale", "-a"}).output.find("fr_FR.utf8") != std::string::npos;
    if (!french)
        locales.erase(locales.begin() + 1);
    for (auto argv : locales) {
        const bool traced = argv.back() == "KAVELIN_TRACE=1";
        SCOPED_TRACE(argv.back());
        const std::string mountsBefore = test::readWholeFile("/proc/self/mountinfo");
        argv.insert(argv.begin(), "env");
        argv.insert(argv.end(), {fakeMac, program, "--list-volumes"});
        auto listed = test::run(argv);
        EXPECT_EQ(test::readWholeFile("/proc/self/mountinfo"), mountsBefore)
            << "the fake Mac leaked into the host's mount table";
        if (listed.status == 77)
            GTEST_SKIP() << "the fake Mac cannot be set up here: " << listed.errors;
        EXPECT_EQ(listed.status, 0) << listed.errors;
        // Sorted by value and without case, "/" listed once though /Volumes links to it too; left
        // out: a volume without a system, a FIFO version file, a plain folder and a RAM disk.
        EXPECT_EQ(listed.output, fakeMacListing);
        // The FIFO version file, refused once from the mount table and once from /Volumes.
        const std::string refused = "kavelin: fichiers: /Volumes/Piège/" +
                                    std::string(platform::versionFilePath) +
                                    " refusé : pas un fichier ordinaire\n";
        EXPECT_EQ(listed.errors, traced ? refused + refused : "");
    }
    if (!french)
        GTEST_SKIP() << "checked under C only: no fr_FR.UTF-8 locale (scripts/setup makes one)";
}

// Mounts that never answer, next to one that does: FUSE mounts whose server never reads its
// requests (the shell holds /dev/fuse open), volumes whose system folder links into one of them or
// up to the root, a volume hidden by a mount over its parent, a responsive FUSE volume (bindfs)
// that carries a system; then the same listing with the mount table gone.
TEST(ListVolumes, LeavesOutMountsThatNeverAnswerAndStillListsTheRestPromptly) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root: the fake Mac is a mount namespace with loop-mounted images";
    if (test::run({"bindfs", "--version"}).status != 0 || access("/dev/fuse", R_OK | W_OK) != 0)
        GTEST_SKIP() << "needs bindfs and /dev/fuse (scripts/setup installs bindfs)";
    // clang-format off
    const std::string script = R"sh(set -e
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
    auto listed = test::run({fakeMac, "/bin/sh", "-c", script, "sh", program});
    if (listed.status == 77)
        GTEST_SKIP() << "the fake Mac cannot be set up here: " << listed.errors;
    ASSERT_EQ(listed.status, 0) << listed.errors;
    // Timing goals belong to the benchmarks; this bound only tells a wait from a hang.
    EXPECT_LT(std::atoi(listed.errors.c_str()), 2000) << listed.errors;
    // Then, without the mount table, the running system alone.
    EXPECT_EQ(listed.output, fakeMacListing + "Fuse  —  macOS 12.7.4\n" +
                                 "Macintosh HD  —  macOS 14.1 (en cours)\n");
}

} // namespace
} // namespace kavelin
