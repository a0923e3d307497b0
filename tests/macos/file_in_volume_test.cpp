#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/macos/portable/file_in_volume.h"

namespace kavelin::platform {
namespace {

namespace fs = std::filesystem;

constexpr const char* versionFile = "System/Library/CoreServices/SystemVersion.plist";

// A volume root in a fresh temporary folder, and a second folder standing for another system.
class FileInVolume : public testing::Test {
protected:
    void SetUp() override {
        base = fs::temp_directory_path() /
               ("kavelin-volume-" + std::to_string(getpid()) + "-" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(base);
        fs::create_directories(volume() / "System/Library/CoreServices");
        fs::create_directories(other() / "System/Library/CoreServices");
        write(other() / versionFile, "running system");
    }
    void TearDown() override { fs::remove_all(base); }

    fs::path volume() const { return base / "Volume"; }
    fs::path other() const { return base / "Other"; }
    static void write(const fs::path& path, const std::string& contents) {
        std::ofstream(path, std::ios::binary) << contents;
    }
    std::optional<std::string> read(std::size_t maxSize = 1024) const {
        return readFileInVolumeTree(volume().string(), versionFile, maxSize);
    }

    fs::path base;
};

TEST_F(FileInVolume, ReadsARegularFileUpToItsBound) {
    write(volume() / versionFile, std::string(16, 'x'));
    EXPECT_EQ(read(16), std::string(16, 'x'));
    EXPECT_EQ(read(15), std::nullopt);
    write(volume() / versionFile, "");
    EXPECT_EQ(read(), "");
    // Repeated and trailing slashes, and "." components, name the same file.
    EXPECT_EQ(readFileInVolumeTree(volume().string() + "/",
                                   "./System//Library/CoreServices/"
                                   "SystemVersion.plist",
                                   1024),
              "");
}

TEST_F(FileInVolume, FollowsNoLinkAndLeavesNothing) {
    // Each way a disk could point at another system's file, one at a time.
    const std::vector<std::pair<std::string, std::function<void()>>> ways = {
        {"System is an absolute link",
         [&] {
             fs::remove_all(volume() / "System");
             fs::create_directory_symlink(other() / "System", volume() / "System");
         }},
        {"Library is a relative link within the volume",
         [&] {
             fs::rename(volume() / "System/Library", volume() / "Elsewhere");
             fs::create_directory_symlink("../Elsewhere", volume() / "System/Library");
             write(volume() / "Elsewhere/CoreServices/SystemVersion.plist", "inside");
         }},
        {"the file is a link",
         [&] { fs::create_symlink(other() / versionFile, volume() / versionFile); }},
        {"the file is missing", [] {}},
        {"the file is a folder", [&] { fs::create_directory(volume() / versionFile); }},
    };
    for (const auto& [name, arrange] : ways) {
        SCOPED_TRACE(name);
        fs::remove_all(volume());
        fs::create_directories(volume() / "System/Library/CoreServices");
        arrange();
        EXPECT_EQ(read(), std::nullopt);
    }
    EXPECT_EQ(readFileInVolumeTree(volume().string(), "../Other/" + std::string(versionFile), 1024),
              std::nullopt);
    EXPECT_EQ(readFileInVolumeTree(volume().string(), "", 1024), std::nullopt);
}

TEST_F(FileInVolume, LooksAtAFifoWithoutOpeningIt) {
    // Opened, a FIFO with no writer would block this test for good.
    ASSERT_EQ(mkfifo((volume() / versionFile).c_str(), 0600), 0) << std::strerror(errno);
    EXPECT_EQ(read(), std::nullopt);
}

TEST(FileInVolumeDevices, StopsAtAnotherFileSystemMountedBeneath) {
    // /proc is always another file system than the root's; /etc/hostname is on the root's own.
    std::ifstream direct("/proc/self/status");
    ASSERT_TRUE(direct.good());
    EXPECT_EQ(readFileInVolumeTree("/", "proc/self/status", 1 << 20), std::nullopt);
    struct stat root {
    }, etc{};
    const bool sameDevice = stat("/", &root) == 0 && stat("/etc/hostname", &etc) == 0 &&
                            root.st_dev == etc.st_dev && S_ISREG(etc.st_mode);
    if (sameDevice) {
        EXPECT_TRUE(readFileInVolumeTree("/", "etc/hostname", 1 << 20).has_value());
    }
}

TEST(FileInVolumeTrace, NamesThePrivacySettingForAConsentRefusalOnly) {
    auto line = refusalTraceLine("/Volumes/Clé/System", EPERM);
    ASSERT_TRUE(line);
    EXPECT_EQ(line->rfind("/Volumes/Clé/System refusé par macOS", 0), 0u) << *line;
    EXPECT_NE(line->find("Volumes amovibles"), std::string::npos) << *line;
    for (int error : {ENOENT, EACCES, ELOOP, ENOTDIR})
        EXPECT_FALSE(refusalTraceLine("/Volumes/Clé/System", error)) << error;
}

} // namespace
} // namespace kavelin::platform
