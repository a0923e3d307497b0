#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/linux/linux_volume_source.h"
#include "test_support.h"

namespace kavelin::platform {
namespace {

namespace fs = std::filesystem;

TEST(LinuxReadFile, ReadsSmallRegularFilesOnly) {
    test::TemporaryDirectory dir;
    const std::string atBound(maxVersionFileSize, 'x');
    test::writeFile(dir / "plain", "<plist/>");
    test::writeFile(dir / "empty", "");
    test::writeFile(dir / "at-bound", atBound);
    test::writeFile(dir / "over-bound", atBound + "x");
    fs::create_symlink(dir / "plain", dir / "link-to-plain");
    fs::create_symlink("/dev/zero", dir / "link-to-zero");
    fs::create_directory(dir / "folder");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);

    struct Case {
        std::string path;
        std::optional<std::string> contents;
    };
    const std::vector<Case> cases = {
        {dir / "plain", "<plist/>"},
        {dir / "empty", ""},
        {dir / "at-bound", atBound},
        {dir / "link-to-plain", "<plist/>"},
        {dir / "over-bound", std::nullopt},
        // Opening a FIFO for reading would wait for a writer; /dev/zero never ends.
        {dir / "fifo", std::nullopt},
        {dir / "link-to-zero", std::nullopt},
        {"/dev/null", std::nullopt},
        {dir / "folder", std::nullopt},
        {dir / "missing", std::nullopt},
    };
    LinuxVolumeSource source;
    for (auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(source.readFile(c.path), c.contents);
    }
}

TEST(LinuxDirectoryEntries, ListsEveryEntryHiddenOnesIncluded) {
    test::TemporaryDirectory dir;
    test::writeFile(dir / ".hidden", "");
    test::writeFile(dir / "Data", "");
    fs::create_directory(dir / "Macintosh HD");
    fs::create_symlink("/", dir / "link");
    LinuxVolumeSource source;
    auto entries = source.directoryEntries(dir.path());
    ASSERT_TRUE(entries.has_value());
    std::sort(entries->begin(), entries->end());
    EXPECT_EQ(*entries, (std::vector<std::string>{dir / ".hidden", dir / "Data",
                                                  dir / "Macintosh HD", dir / "link"}));
    EXPECT_FALSE(source.directoryEntries(dir / "missing").has_value());
    EXPECT_FALSE(source.directoryEntries(dir / "Data").has_value());
}

TEST(LinuxResolvingSymlinks, ResolvesLikeRealpathAndKeepsWhatCannotBeResolved) {
    test::TemporaryDirectory temporary;
    // The temporary folder itself may sit behind a link.
    const std::string dir = fs::canonical(temporary.path()).string();
    fs::create_directories(dir + "/a/b");
    test::writeFile(dir + "/a/file", "");
    fs::create_symlink("/", dir + "/to-root");
    fs::create_symlink("a/b", dir + "/relative");
    fs::create_symlink("../relative", dir + "/a/up");
    fs::create_symlink(dir + "/a", dir + "/absolute");
    fs::create_symlink(dir + "/missing", dir + "/dangling");
    fs::create_symlink("loop2", dir + "/loop1");
    fs::create_symlink("loop1", dir + "/loop2");

    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/", "/"},
        {dir + "/to-root", "/"},
        {dir + "/relative", dir + "/a/b"},
        {dir + "/a/up", dir + "/a/b"},
        {dir + "/absolute/b/./../b", dir + "/a/b"},
        {dir + "/to-root/" + dir.substr(1) + "/relative", dir + "/a/b"},
        {dir + "/dangling", dir + "/dangling"},
        {dir + "/loop1", dir + "/loop1"},
        {dir + "/a/file/b", dir + "/a/file/b"},
        {dir + "/missing/x", dir + "/missing/x"},
    };
    LinuxVolumeSource source;
    for (auto& [path, resolved] : cases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(source.resolvingSymlinks(path), resolved);
        char* real = realpath(path.c_str(), nullptr);
        EXPECT_EQ(real ? std::string(real) : path, resolved) << "realpath(3) disagrees";
        free(real);
    }
}

TEST(LinuxAttributes, AnExistingFolderIsNoVolumeAndAMissingPathHasNone) {
    test::TemporaryDirectory dir;
    LinuxVolumeSource source;
    auto folder = source.attributes(dir.path());
    ASSERT_TRUE(folder.has_value());
    EXPECT_EQ(folder->isVolume, false);
    EXPECT_FALSE(source.attributes(dir / "missing").has_value());
    auto root = source.attributes("/");
    ASSERT_TRUE(root.has_value());
    EXPECT_EQ(root->isVolume, true);
}

TEST(LinuxMountedVolumePaths, FollowsTheKernelTableInOrder) {
    LinuxVolumeSource source;
    auto paths = source.mountedVolumePaths();
    ASSERT_TRUE(paths.has_value());
    auto root = std::find(paths->begin(), paths->end(), "/");
    auto proc = std::find(paths->begin(), paths->end(), "/proc");
    ASSERT_NE(root, paths->end());
    ASSERT_NE(proc, paths->end());
    EXPECT_FALSE(LinuxVolumeSource("/nonexistent/mountinfo").mountedVolumePaths().has_value());
}

TEST(LinuxProbeVolumeIdentity, ReadsLabelAndUuidFromTheSuperblockWhateverTypeIsNamed) {
    test::TemporaryDirectory dir;
    const std::string uuid = "7c1e2d3f-4a5b-4c6d-8e7f-9a0b1c2d3e4f";
    for (auto name : {"labelled.img", "unlabelled.img", "blank.img"}) {
        test::writeFile(dir / name, "");
        fs::resize_file(dir / name, 4 << 20);
    }
    if (test::run({"mkfs.ext4", "-q", "-F", "-L", "Clé d’été", "-U", uuid, dir / "labelled.img"})
                .status != 0 ||
        test::run({"mkfs.ext4", "-q", "-F", "-U", uuid, dir / "unlabelled.img"}).status != 0)
        GTEST_SKIP() << "mkfs.ext4 cannot make an image here";

    auto probe = [&](const std::string& image, const std::string& type) {
        int fd = open((dir / image).c_str(), O_RDONLY | O_CLOEXEC);
        auto identity = probeVolumeIdentity(fd, type);
        close(fd);
        return identity;
    };
    // The kernel's name of the type, none, and one that libblkid spells otherwise.
    for (std::string type : {"ext4", "", "fuseblk"}) {
        SCOPED_TRACE(type);
        auto labelled = probe("labelled.img", type);
        ASSERT_TRUE(labelled.has_value());
        EXPECT_EQ(labelled->name, "Clé d’été");
        EXPECT_EQ(labelled->uuid, uuid);
        auto unlabelled = probe("unlabelled.img", type);
        ASSERT_TRUE(unlabelled.has_value());
        EXPECT_FALSE(unlabelled->name.has_value());
        EXPECT_EQ(unlabelled->uuid, uuid);
        EXPECT_FALSE(probe("blank.img", type).has_value());
    }
}

// A mount table of our own: its targets need not exist, which shows that network mounts are
// classified without touching their paths (a missing path would make the read fail).
class SyntheticMountTable : public ::testing::Test {
protected:
    void SetUp() override {
        test::writeFile(dir / "mountinfo",
                        "1 0 259:1 / / rw - ext4 /dev/nvme0n1p2 rw\n"
                        "2 1 0:5 / /proc rw - proc proc rw\n"
                        "3 1 0:40 / /mnt/nfs rw - nfs4 server:/export rw\n"
                        "4 1 0:41 / /mnt/smb rw - cifs //server/share rw\n"
                        "5 1 0:42 / /mnt/ssh rw - fuse.sshfs user@host: rw\n"
                        "6 1 0:43 / /mnt/ram rw - tmpfs tmpfs rw\n"
                        "7 1 0:44 / /mnt/overlay rw - overlay overlay rw\n"
                        "8 1 259:90 / /Volumes/Mon\\040Disque rw - ext4 /dev/sdz1 rw\n"
                        "9 1 259:91 / /run/user/0/disk rw - ext4 /dev/sdz2 rw\n"
                        "10 1 259:92 / /run/media/user/Clé rw - ext4 /dev/sdz3 rw\n"
                        "11 1 259:93 / /boot/efi rw - ext4 /dev/sdz4 rw\n"
                        "12 1 259:94 / /mnt/covered rw - ext4 /dev/sdz5 rw\n"
                        "13 1 0:45 / /mnt/covered rw - nfs server:/covering rw\n"
                        "14 1 0:46 / /mnt/uncovered rw - nfs server:/covered rw\n"
                        "15 1 259:95 / /mnt/uncovered rw - ext4 /dev/sdz6 rw\n");
    }
    test::TemporaryDirectory dir;
};

TEST_F(SyntheticMountTable, ListsTargetsInMountOrderUnescaped) {
    LinuxVolumeSource source(dir / "mountinfo");
    EXPECT_EQ(source.mountedVolumePaths(),
              (std::vector<std::string>{
                  "/", "/proc", "/mnt/nfs", "/mnt/smb", "/mnt/ssh", "/mnt/ram", "/mnt/overlay",
                  "/Volumes/Mon Disque", "/run/user/0/disk", "/run/media/user/Clé", "/boot/efi",
                  "/mnt/covered", "/mnt/covered", "/mnt/uncovered", "/mnt/uncovered"}));
}

TEST_F(SyntheticMountTable, ClassifiesEachMountByItsVisibleEntry) {
    struct Case {
        std::string path;
        std::optional<bool> isVolume, isLocal, isBrowsable;
    };
    const std::vector<Case> cases = {
        {"/mnt/nfs", true, false, std::nullopt},
        {"/mnt/smb", true, false, std::nullopt},
        {"/mnt/ssh", true, false, std::nullopt},
        {"/mnt/nfs/deeper/still", false, false, std::nullopt},
        {"/mnt/ram", true, true, false},
        {"/mnt/overlay", true, true, false},
        {"/proc", true, true, false},
        {"/Volumes/Mon Disque", true, true, true},
        {"/run/user/0/disk", true, true, false},
        {"/run/media/user/Clé", true, true, true},
        {"/boot/efi", true, true, false},
        // The last mount at a target hides the earlier ones.
        {"/mnt/covered", true, false, std::nullopt},
        {"/mnt/uncovered", true, true, true},
    };
    LinuxVolumeSource source(dir / "mountinfo");
    for (auto& c : cases) {
        SCOPED_TRACE(c.path);
        auto attributes = source.attributes(c.path);
        ASSERT_TRUE(attributes.has_value());
        EXPECT_EQ(attributes->isVolume, c.isVolume);
        EXPECT_EQ(attributes->volumeIsLocal, c.isLocal);
        if (c.isLocal == false) {
            EXPECT_FALSE(attributes->volumeName.has_value());
        } else {
            EXPECT_EQ(attributes->volumeIsBrowsable, c.isBrowsable);
        }
    }
}

TEST_F(SyntheticMountTable, ResolvingStopsAtNetworkMounts) {
    // A link to a network mount point resolves to it without looking at it; a link to a path
    // below one stays as it is.
    fs::create_symlink("/mnt/nfs", dir / "to-nfs");
    fs::create_symlink("/mnt/nfs/sub", dir / "below-nfs");
    LinuxVolumeSource source(dir / "mountinfo");
    EXPECT_EQ(source.resolvingSymlinks(dir / "to-nfs"), "/mnt/nfs");
    EXPECT_EQ(source.resolvingSymlinks(dir / "below-nfs"), dir / "below-nfs");
    EXPECT_EQ(source.resolvingSymlinks("/mnt/nfs"), "/mnt/nfs");
}

} // namespace
} // namespace kavelin::platform
