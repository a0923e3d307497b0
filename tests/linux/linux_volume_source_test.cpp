// The Linux volume source against the real libraries; real mounts in a private mount namespace.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include <grp.h>
#include <sys/stat.h>

#include "platform/linux/file_beneath.h"
#include "platform/linux/linux_volume_source.h"
#include "test_support.h"

namespace kavelin::platform {
namespace {

namespace fs = std::filesystem;
using Reads = std::vector<std::pair<std::string, std::optional<std::string>>>;

// What the source says of a path: its attributes joined by "|", "-" when absent; or "none".
std::string describe(auto&& source, const std::string& path) {
    auto a = source.attributes(path);
    auto flag = [](std::optional<bool> value, std::string yes, std::string no) {
        return !value ? "-" : *value ? yes : no;
    };
    return !a ? "none"
              : flag(a->isVolume, "volume", "folder") + "|" +
                    flag(a->volumeIsLocal, "local", "remote") + "|" +
                    flag(a->volumeIsBrowsable, "browsable", "hidden") + "|" +
                    a->volumeName.value_or("-") + "|" + a->volumeUUIDString.value_or("-");
}

// What a file beneath the folder reads as, by both walks.
void expectReadsBeneath(const std::string& folder, const Reads& reads) {
    int fd = open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    for (auto walk : {BeneathWalk::kernel, BeneathWalk::components})
        for (auto& [path, contents] : reads)
            EXPECT_EQ(readFileBeneath(fd, path, 100, walk), contents)
                << path << (walk == BeneathWalk::kernel ? " (openat2)" : " (components)");
    close(fd);
}

// A FIFO would wait for a writer; /dev/zero never ends. Links beneath a folder stay beneath it.
TEST(LinuxReadFile, ReadsSmallRegularFilesOnlyAndBeneathStaysBeneath) {
    test::TemporaryDirectory dir;
    const std::string atBound(maxVersionFileSize, 'x');
    test::writeFile(dir / "at-bound", atBound);
    fs::create_symlink(dir / "at-bound", dir / "link");
    ASSERT_EQ(test::run({"truncate", "-s", "4G", dir / "huge"}).status, 0);
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", dir / "link-to-zero");
    // clang-format off
    for (auto& [path, contents] : Reads{{dir / "at-bound", atBound}, {dir / "link", atBound},
             {dir / "huge", {}}, {dir / "fifo", {}}, {dir / "link-to-zero", {}}, {"/dev/null", {}}})
        EXPECT_EQ(LinuxVolumeSource().readFile(path), contents) << path;
    // clang-format on

    test::writeFile(dir / "in/sys/file", "mine");
    fs::create_symlink("sys/file", dir / "in/relative");
    fs::create_symlink(dir / "in/sys/file", dir / "in/absolute");
    fs::create_symlink("../../at-bound", dir / "in/sys/escape");
    // clang-format off
    expectReadsBeneath(dir / "in", {{"sys/file", "mine"}, {"relative", "mine"}, {"sys/../sys/file",
        "mine"}, {"absolute", {}}, {"../at-bound", {}}, {"sys/escape", {}}, {"sys", {}}});
    // clang-format on
}

// A link under /Volumes to a folder 1,000 levels deep resolves to that folder (its cost is
// measured by the deepLinkResolve benchmark).
TEST(LinuxResolve, ADeepLinkResolvesToItsTarget) {
    test::TemporaryDirectory dir;
    std::string deep = dir.path;
    for (int level = 0; level < 1000; ++level)
        deep += "/d";
    fs::create_directories(deep);
    fs::create_symlink(deep, dir / "link");
    LinuxVolumeSource source;
    EXPECT_EQ(source.resolvingSymlinks(dir / "link/."), deep);
}

// A mount table whose targets do not exist: network mounts are classified without touching them.
TEST(SyntheticMountTable, ClassifiesMountsWithoutTouchingNetworkOnes) {
    test::TemporaryDirectory dir;
    test::writeFile(dir / "mountinfo",
                    "1 0 259:1 / / rw - ext4 /dev/nvme0n1p2 rw\n"
                    "3 1 0:40 / /mnt/nfs rw - nfs4 server:/export rw\n"
                    "4 1 0:42 / /mnt/ssh rw - fuse.sshfs user@host: rw\n"
                    "5 1 0:43 / /mnt/ram rw - tmpfs tmpfs rw\n"
                    "6 1 259:90 / /Volumes/Mon\\040Disque rw - ext4 /dev/sdz1 rw\n"
                    "7 1 259:91 / /run/user/0/disk rw - ext4 /dev/sdz2 rw\n"
                    "8 1 259:92 / /run/media/user/Clé rw - ext4 /dev/sdz3 rw\n");
    LinuxVolumeSource source(dir / "mountinfo");
    EXPECT_EQ(
        source.mountedVolumePaths(),
        (std::vector<std::string>{"/", "/mnt/nfs", "/mnt/ssh", "/mnt/ram", "/Volumes/Mon Disque",
                                  "/run/user/0/disk", "/run/media/user/Clé"}));
    // clang-format off
    for (auto& [path, described] : std::vector<std::pair<std::string, std::string>>{
             {"/mnt/nfs", "volume|remote|browsable|-|-"}, {"/mnt/ssh", "volume|remote|browsable|-|-"},
             {"/mnt/nfs/deeper/still", "folder|remote|-|-|-"}, {"/mnt/ram", "volume|local|hidden|-|-"},
             {"/Volumes/Mon Disque", "volume|local|browsable|-|-"}, {"/run/user/0/disk",
             "volume|local|hidden|-|-"}, {"/run/media/user/Clé", "volume|local|browsable|-|-"}})
        // clang-format on
        EXPECT_EQ(describe(source, path), described) << path;
    // Volumes without UUID: bind mounts of one tree share a key, other trees and devices do not.
    test::writeFile(dir / "bound", "1 0 259:1 / / rw - ext4 /dev/nvme0n1p2 rw\n"
                                   "2 1 8:17 / /media/stick rw - vfat /dev/sdb1 rw\n"
                                   "3 1 8:17 / /mnt/again rw - vfat /dev/sdb1 rw\n"
                                   "4 1 8:17 /sub /mnt/sub rw - vfat /dev/sdb1 rw\n"
                                   "5 1 8:18 / /mnt/other rw - vfat /dev/sdb2 rw\n");
    LinuxVolumeSource bound(dir / "bound");
    ASSERT_TRUE(bound.mountedVolumePaths().has_value());
    EXPECT_EQ(bound.volumeKey("/media/stick"), bound.volumeKey("/mnt/again"));
    for (const char* path : {"/mnt/sub", "/mnt/other", "/"})
        EXPECT_NE(bound.volumeKey("/media/stick"), bound.volumeKey(path)) << path;
    EXPECT_EQ(bound.volumeKey("/media/stick/folder"), "/media/stick/folder");
    // Without the table the root is still a volume, of unknown kind; nothing else is known.
    LinuxVolumeSource withoutTable(dir / "missing");
    EXPECT_FALSE(withoutTable.mountedVolumePaths().has_value());
    EXPECT_TRUE(describe(withoutTable, "/").starts_with("volume|-|-|"));
    EXPECT_EQ(describe(withoutTable, "/tmp"), "none");
}

const std::string uuid = "0b1d2c3e-4f50-4a6b-8c7d-9e0f1a2b3c4d",
                  labelled = "volume|local|browsable|Données 2|" + uuid;

class MountedVolumes : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        fs::permissions(dir.path, fs::perms(0755)); // unprivileged users must reach the mounts
        fs::create_directories(dir / "labelled");
        skipReason = test::whyNoPrivateMounts();
        if (skipReason.empty() &&
            test::run({"sh", "-c",
                       "mkfs.ext4 -q -F -L 'Données 2' -U $0 $1.img 8M && mount -o loop $1.img $1",
                       uuid, dir / "labelled"})
                    .status != 0)
            skipReason = "cannot make or loop-mount an ext4 image (mkfs.ext4, loop devices)";
    }
    static void TearDownTestSuite() { umount2((dir / "labelled").c_str(), MNT_DETACH); }
    void SetUp() override {
        if (!skipReason.empty())
            GTEST_SKIP() << skipReason;
    }
    static inline std::string skipReason;
    static inline test::TemporaryDirectory dir;
};

// Root reads the label from the device (libblkid); nobody cannot open the loop device, so it gets
// the label from the mounted file system (the UUID ioctl arrived in Linux 6.8).
TEST_F(MountedVolumes, RootAndUnprivilegedUsersSeeTheSameLabelsAndUuids) {
    LinuxVolumeSource source;
    EXPECT_EQ(describe(source, dir / "labelled"), labelled);
    const std::string out = dir / "as-nobody"; // written by a child that runs as nobody
    test::writeFile(out, "cannot become nobody");
    fs::permissions(out, fs::perms(0666));
    if (fork() == 0) {
        if (setgroups(0, nullptr) == 0 && setresgid(65534, 65534, 65534) == 0 &&
            setresuid(65534, 65534, 65534) == 0)
            test::writeFile(out, describe(LinuxVolumeSource(), dir / "labelled"));
        _exit(0);
    }
    wait(nullptr);
    int major = 0, minor = 0;
    std::sscanf(test::readWholeFile("/proc/sys/kernel/osrelease").c_str(), "%d.%d", &major, &minor);
    EXPECT_EQ(test::readWholeFile(out),
              major * 100 + minor >= 608 ? labelled : "volume|local|browsable|Données 2|-");
}

// The last mount at a path hides the others until it goes; a file is read in its own mount only.
TEST_F(MountedVolumes, TheLastMountAtAPathHidesTheOthersAndFilesStayInTheirMount) {
    const std::string ram = dir / "ram";
    fs::create_directories(ram);
    LinuxVolumeSource source;
    auto state = [&] {
        auto paths = source.mountedVolumePaths().value_or(std::vector<std::string>{});
        return std::to_string(std::count(paths.begin(), paths.end(), ram)) + " " +
               describe(source, ram);
    };
    ASSERT_EQ(mount("tmpfs", ram.c_str(), "tmpfs", 0, "size=1m"), 0);
    EXPECT_EQ(state(), "1 volume|local|hidden|-|-");
    ASSERT_EQ(mount((dir / "labelled").c_str(), ram.c_str(), nullptr, MS_BIND, nullptr), 0);
    EXPECT_EQ(state(), "2 " + labelled);
    ASSERT_EQ(umount(ram.c_str()), 0);
    EXPECT_EQ(state(), "1 volume|local|hidden|-|-");
    umount2(ram.c_str(), MNT_DETACH);

    test::writeFile(dir / "labelled/file", "labelled");
    expectReadsBeneath(dir.path, {{"labelled/file", std::nullopt}});
    EXPECT_EQ(source.readFileInVolume(dir / "labelled", "file"), "labelled");
}

// A FUSE mount whose server never reads: each discovery gives up on it, and the one probe stuck
// in the kernel is not joined by another until the server goes.
TEST_F(MountedVolumes, AMountThatNeverAnswersIsLeftOutWithOneProbeStuckAtATime) {
    const std::string hung = dir / "hung";
    const int server = test::mountUnansweredFuse(hung, "fuse.rclone");
    if (server < 0)
        GTEST_SKIP() << "cannot mount a FUSE file system (/dev/fuse)";
    test::writeFile(dir / "hung-table", "40 1 0:99 / " + hung + " rw - fuse.rclone x rw\n");
    LinuxVolumeSource source(dir / "hung-table");
    long afterFirst = 0;
    for (int discovery = 0; discovery < 3; ++discovery) {
        EXPECT_EQ(describe(source, hung), "none");
        EXPECT_EQ(source.readFileInVolume(hung, "file"), std::nullopt);
        EXPECT_EQ(source.pendingProbes(), 1u);
        if (discovery == 0)
            afterFirst = test::threadCount();
    }
    EXPECT_EQ(test::threadCount(), afterFirst) << "threads pile up on a mount that never answers";
    umount2(hung.c_str(), MNT_DETACH);
    close(server); // the connection ends, and with it the request the probe waits for
    for (int waited = 0; waited < 500 && source.pendingProbes() > 0; ++waited)
        usleep(10000);
    EXPECT_EQ(source.pendingProbes(), 0u);
}

} // namespace
} // namespace kavelin::platform
