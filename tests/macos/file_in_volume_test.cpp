#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

#include <sys/stat.h>

#include "platform/macos/portable/file_in_volume.h"
#include "tests/linux/test_support.h"

namespace kavelin::platform {
namespace {

namespace fs = std::filesystem;

const std::string versionFile = "System/Library/CoreServices/SystemVersion.plist";

// A volume root, and beside it a second one standing for the running system.
class FileInVolume : public testing::Test {
protected:
    void SetUp() override {
        test::writeFile(other / versionFile, "running system");
        fs::create_directories(volume / "System/Library/CoreServices");
    }
    std::optional<std::string> read(std::size_t maxSize = 1024,
                                    const std::string& path = versionFile) const {
        return readFileInVolumeTree(volume, path, maxSize);
    }
    test::TemporaryDirectory dir;
    const fs::path volume = dir / "Volume", other = dir / "Other";
};

TEST_F(FileInVolume, ReadsARegularFileUpToItsBound) {
    test::writeFile(volume / versionFile, std::string(16, 'x'));
    EXPECT_EQ(read(16), std::string(16, 'x'));
    EXPECT_EQ(read(15), std::nullopt);
    test::writeFile(volume / versionFile, "");
    EXPECT_EQ(read(), "");
    // Repeated and trailing slashes, and "." components, name the same file.
    EXPECT_EQ(readFileInVolumeTree(volume.string() + "/",
                                   "./System//Library/CoreServices/SystemVersion.plist", 1024),
              "");
}

// Each way a disk could point at another system's file, one at a time. Opened, a FIFO with no
// writer would block this test for good.
TEST_F(FileInVolume, FollowsNoLinkAndLeavesNothing) {
    const std::pair<const char*, std::function<void()>> ways[] = {
        {"System is an absolute link",
         [&] {
             fs::remove_all(volume / "System");
             fs::create_directory_symlink(other / "System", volume / "System");
         }},
        {"Library is a relative link within the volume",
         [&] {
             fs::rename(volume / "System/Library", volume / "Elsewhere");
             fs::create_directory_symlink("../Elsewhere", volume / "System/Library");
             test::writeFile(volume / "Elsewhere/CoreServices/SystemVersion.plist", "inside");
         }},
        {"the file is a link",
         [&] { fs::create_symlink(other / versionFile, volume / versionFile); }},
        {"the file is missing", [] {}},
        {"the file is a folder", [&] { fs::create_directory(volume / versionFile); }},
        {"the file is a FIFO", [&] { ASSERT_EQ(mkfifo((volume / versionFile).c_str(), 0600), 0); }},
    };
    for (const auto& [name, arrange] : ways) {
        SCOPED_TRACE(name);
        fs::remove_all(volume);
        fs::create_directories(volume / "System/Library/CoreServices");
        arrange();
        EXPECT_EQ(read(), std::nullopt);
    }
    EXPECT_EQ(read(1024, "../Other/" + versionFile), std::nullopt);
    EXPECT_EQ(read(1024, ""), std::nullopt);
}

// /proc is always another file system than the root's; /etc/hostname is on the root's own.
TEST(FileInVolumeDevices, StopsAtAnotherFileSystemMountedBeneath) {
    ASSERT_TRUE(fs::exists("/proc/self/status"));
    EXPECT_EQ(readFileInVolumeTree("/", "proc/self/status", 1 << 20), std::nullopt);
    struct stat root {
    }, etc{};
    if (stat("/", &root) == 0 && stat("/etc/hostname", &etc) == 0 && root.st_dev == etc.st_dev &&
        S_ISREG(etc.st_mode)) {
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
