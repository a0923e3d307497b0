// Labels, UUIDs and classification of real mounts. Runs as root in a private mount namespace of
// this test process, so that nothing it mounts is seen outside.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/linux/linux_volume_source.h"
#include "test_support.h"

namespace kavelin::platform {
namespace {

namespace fs = std::filesystem;

constexpr const char* labelledUuid = "0b1d2c3e-4f50-4a6b-8c7d-9e0f1a2b3c4d";
constexpr const char* unlabelledUuid = "5e6f7a8b-9c0d-4e1f-a2b3-c4d5e6f7a8b9";

class MountedVolumes : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (geteuid() != 0) {
            skipReason = "needs root to mount loop images";
            return;
        }
        if (unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            skipReason = std::string("no private mount namespace: ") + std::strerror(errno);
            return;
        }
        directory = new test::TemporaryDirectory;
        // Unprivileged users must reach the mount points.
        fs::permissions(directory->path(), fs::perms(0755));
        if (!makeVolume("labelled", "Données 2", labelledUuid) ||
            !makeVolume("unlabelled", "", unlabelledUuid)) {
            skipReason = "cannot make or loop-mount an ext4 image (mkfs.ext4, loop devices)";
            return;
        }
        fs::create_directory(*directory / "ram");
    }

    static bool makeVolume(const std::string& name, const std::string& label,
                           const std::string& uuid) {
        std::string image = *directory / (name + ".img");
        test::writeFile(image, "");
        fs::resize_file(image, 8 << 20);
        std::vector<std::string> mkfs = {"mkfs.ext4", "-q", "-F", "-U", uuid};
        if (!label.empty())
            mkfs.insert(mkfs.end(), {"-L", label});
        mkfs.push_back(image);
        fs::create_directory(*directory / name);
        return test::run(mkfs).status == 0 &&
               test::run({"mount", "-o", "loop", image, *directory / name}).status == 0;
    }

    static void TearDownTestSuite() {
        if (directory) {
            for (auto name : {"ram", "ram", "labelled", "unlabelled"})
                umount2((*directory / name).c_str(), MNT_DETACH);
            delete directory;
            directory = nullptr;
        }
    }

    void SetUp() override {
        if (!skipReason.empty())
            GTEST_SKIP() << skipReason;
    }

    static inline std::string skipReason;
    static inline test::TemporaryDirectory* directory = nullptr;
};

// The name and UUID of each volume, one "path|name|uuid" line each, "-" for absent.
std::string describe(LinuxVolumeSource& source, const std::vector<std::string>& paths) {
    std::string text;
    for (auto& path : paths) {
        auto attributes = source.attributes(path);
        text += path + "|" + (attributes ? attributes->volumeName.value_or("-") : "?") + "|" +
                (attributes ? attributes->volumeUUIDString.value_or("-") : "?") + "\n";
    }
    return text;
}

// The same description, made by a child process that runs as nobody, without groups.
std::string describeAsNobody(const std::vector<std::string>& paths) {
    int fds[2];
    if (pipe(fds) != 0)
        return "pipe failed";
    pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        if (setgroups(0, nullptr) != 0 || setresgid(65534, 65534, 65534) != 0 ||
            setresuid(65534, 65534, 65534) != 0)
            _exit(2);
        LinuxVolumeSource source;
        std::string text = describe(source, paths);
        bool written = write(fds[1], text.data(), text.size()) == ssize_t(text.size());
        _exit(written ? 0 : 3);
    }
    close(fds[1]);
    std::string text;
    char buffer[512];
    ssize_t count;
    while ((count = read(fds[0], buffer, sizeof buffer)) > 0)
        text.append(buffer, count);
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? text : "child failed";
}

// The UUID ioctl that unprivileged users rely on without udev arrived in Linux 6.8.
bool kernelReportsUuids() {
    utsname name{};
    uname(&name);
    int major = 0, minor = 0;
    std::sscanf(name.release, "%d.%d", &major, &minor);
    return major > 6 || (major == 6 && minor >= 8);
}

TEST_F(MountedVolumes, RootAndUnprivilegedUsersSeeTheSameLabelsAndUuids) {
    const std::vector<std::string> paths = {*directory / "labelled", *directory / "unlabelled"};
    const std::string expected =
        paths[0] + "|Données 2|" + labelledUuid + "\n" + paths[1] + "|-|" + unlabelledUuid + "\n";
    LinuxVolumeSource source;
    EXPECT_EQ(describe(source, paths), expected);

    // nobody cannot open the loop devices, so the labels come from the mounted file systems.
    std::string asNobody = describeAsNobody(paths);
    if (kernelReportsUuids())
        EXPECT_EQ(asNobody, expected);
    else
        EXPECT_EQ(asNobody, paths[0] + "|Données 2|-\n" + paths[1] + "|-|-\n");
}

TEST_F(MountedVolumes, AUserDeniedTheMountPointGetsTheLabelFromTheUdevDatabase) {
    // A udev database of this namespace only, over /run, with the entry udev writes for the
    // loop device: unsafe bytes of the label escaped as \xNN.
    const std::string volume = *directory / "labelled";
    struct stat status {};
    ASSERT_EQ(stat(volume.c_str(), &status), 0);
    ASSERT_EQ(mount("tmpfs", "/run", "tmpfs", 0, "size=1m"), 0);
    const std::string data = "/run/udev/data";
    fs::create_directories(data);
    test::writeFile(data + "/b" + std::to_string(major(status.st_dev)) + ":" +
                        std::to_string(minor(status.st_dev)),
                    std::string("E:ID_FS_TYPE=ext4\nE:ID_FS_LABEL=Donn__es_2\n"
                                "E:ID_FS_LABEL_ENC=Donn\\xc3\\xa9es\\x202\n"
                                "E:ID_FS_UUID=") +
                        labelledUuid + "\nE:ID_FS_UUID_ENC=" + labelledUuid + "\n");
    fs::permissions(volume, fs::perms(0700));

    std::string asNobody = describeAsNobody({volume});
    fs::permissions(volume, fs::perms(0755));
    umount2("/run", MNT_DETACH);
    EXPECT_EQ(asNobody, volume + "|Données 2|" + labelledUuid + "\n");
}

TEST_F(MountedVolumes, AMountHidesTheOneBelowUntilItGoes) {
    const std::string ram = *directory / "ram";
    LinuxVolumeSource source;
    auto attributesOf = [&](const std::string& path) {
        auto attributes = source.attributes(path);
        EXPECT_TRUE(attributes.has_value());
        return attributes.value_or(VolumeAttributes{});
    };
    EXPECT_EQ(attributesOf(ram).isVolume, false);
    EXPECT_EQ(attributesOf(ram).volumeIsBrowsable, true);

    ASSERT_EQ(mount("tmpfs", ram.c_str(), "tmpfs", 0, "size=1m"), 0);
    auto tmpfs = attributesOf(ram);
    EXPECT_EQ(tmpfs.isVolume, true);
    EXPECT_EQ(tmpfs.volumeIsLocal, true);
    EXPECT_EQ(tmpfs.volumeIsBrowsable, false);
    EXPECT_FALSE(tmpfs.volumeName.has_value());

    ASSERT_EQ(mount((*directory / "labelled").c_str(), ram.c_str(), nullptr, MS_BIND, nullptr), 0);
    auto bound = attributesOf(ram);
    EXPECT_EQ(bound.volumeIsBrowsable, true);
    EXPECT_EQ(bound.volumeName, "Données 2");
    EXPECT_EQ(bound.volumeUUIDString, labelledUuid);

    ASSERT_EQ(umount(ram.c_str()), 0);
    EXPECT_EQ(attributesOf(ram).volumeIsBrowsable, false);
    ASSERT_EQ(umount(ram.c_str()), 0);
    EXPECT_EQ(attributesOf(ram).isVolume, false);
}

TEST_F(MountedVolumes, MountedVolumePathsFollowMountsAndUnmounts) {
    const std::string ram = *directory / "ram";
    LinuxVolumeSource source;
    auto count = [&] {
        auto paths = source.mountedVolumePaths().value_or(std::vector<std::string>{});
        return std::count(paths.begin(), paths.end(), ram);
    };
    EXPECT_EQ(count(), 0);
    ASSERT_EQ(mount("tmpfs", ram.c_str(), "tmpfs", 0, "size=1m"), 0);
    EXPECT_EQ(count(), 1);
    ASSERT_EQ(umount(ram.c_str()), 0);
    EXPECT_EQ(count(), 0);
}

} // namespace
} // namespace kavelin::platform
