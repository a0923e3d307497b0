// The root side of the privileged run: a stand-in pkexec changes the disks while the prompt would
// be up, then runs the helper, which blesses only the volume measured before the prompt.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/file.h>
#include <unistd.h>

#include "platform/linux/pkexec_script_runner.h"
#include "platform/linux/posix_io.h"
#include "startup/privileged.h"
#include "test_support.h"

namespace kavelin::platform {
namespace {

using namespace std::string_literals;
namespace fs = std::filesystem;

class RootSide : public ::testing::Test {
protected:
    void SetUp() override {
        if (const auto why = test::whyNoPrivateMounts(); !why.empty())
            GTEST_SKIP() << why << ": loop-mounted disk images";
        ASSERT_EQ(mount("tmpfs", dir.path.c_str(), "tmpfs", 0, "size=64m"), 0);
        // Two disks, A mounted as the volume; mount(8) attaches each image to a loop device.
        const auto made = sh("for d in A:" + uuidA + " B:" + uuidB +
                             "; do truncate -s 8M $D/${d%%:*}.img && "
                             "mkfs.ext4 -q -F -U ${d#*:} $D/${d%%:*}.img; done && "
                             "mkdir -p \"$V\" && mount -o loop $D/A.img \"$V\"");
        if (made.status != 0)
            GTEST_SKIP() << "cannot mount disk images here: " << made.errors;
        // The stand-in bless records beside itself, one run at a time.
        lock = UniqueFd(open(KAVELIN_TEST_BLESS_RECORDS, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        ASSERT_TRUE(lock && flock(lock.get(), LOCK_EX) == 0);
    }

    test::Completed sh(const std::string& script) const {
        return test::run(
            {"/bin/sh", "-c", "D='" + dir.path + "'; V=\"$D/" + volume + "\"; " + script});
    }

    // Runs the bless command for path through a pkexec that first runs duringPrompt; what bless
    // received ("" when it did not run) and the outcome.
    std::pair<std::string, PrivilegedResult>
    bless(const std::string& path, const std::string& duringPrompt, bool nextOnly = false) {
        fs::remove(records / "arguments");
        test::writeFile(dir / "during-prompt",
                        "set -e\n" + duringPrompt + "\ntouch \"$D/swapped\"\n");
        fs::remove(dir / "swapped");
        test::writeFile(dir / "pkexec",
                        "#!/bin/sh\nexport D='" + dir.path + "' V='" + dir / volume +
                            "'\n/bin/sh \"$D/during-prompt\" || exit 99\nexec \"$@\"\n");
        fs::permissions(dir / "pkexec", fs::perms::owner_all);
        PkexecScriptRunner runner(dir / "pkexec", pollUntilReadable, KAVELIN_TEST_BLESS_HELPER);
        const auto result =
            classifyExecution(runner.execute(administratorScript(blessCommand(path, nextOnly))));
        EXPECT_TRUE(fs::exists(dir / "swapped")) << "the change during the prompt failed";
        return {test::readWholeFile(records / "arguments"), result};
    }

    const std::string uuidA = "6a0e6f5c-1f0e-4c7a-9a55-0d3c2b1a0fa1";
    const std::string uuidB = "6a0e6f5c-1f0e-4c7a-9a55-0d3c2b1a0fb2";
    const std::string volume = "Volumes/Data";
    const fs::path records = KAVELIN_TEST_BLESS_RECORDS;
    test::TemporaryDirectory dir;
    UniqueFd lock;
};

TEST_F(RootSide, BlessesOnlyTheVolumeThatWasThereBeforeThePrompt) {
    using enum PrivilegedResult;
    const std::tuple<const char*, std::string, PrivilegedResult> rows[] = {
        {"nothing changed", "", succeeded},
        {"another disk mounted at the same path", "umount \"$V\"; mount -o loop $D/B.img \"$V\"",
         failed},
        {"the disk gone, its folder left", "umount \"$V\"", failed},
        {"a RAM disk mounted over it", "mount -t tmpfs tmpfs \"$V\"", failed},
        {"the folder now a link to another disk",
         "umount \"$V\"; rmdir \"$V\"; mkdir $D/B; mount -o loop $D/B.img $D/B; ln -s $D/B \"$V\"",
         failed},
    };
    for (const auto& [story, duringPrompt, expected] : rows) {
        SCOPED_TRACE(story);
        const auto [blessed, result] = bless(dir / volume, duringPrompt);
        EXPECT_EQ(result, expected);
        EXPECT_EQ(blessed,
                  expected == succeeded ? "--mount\0"s + dir / volume + "\0--setBoot\0"s : ""s);
        sh("umount -l \"$V\" $D/B 2>/dev/null; rm -f \"$V\"; mkdir -p \"$V\"; "
           "mount -o loop $D/A.img \"$V\"");
    }
}

// Volume names made to break out of a quoting: each mounted volume reaches bless as one argument,
// with standard input /dev/null, and nothing else runs.
TEST_F(RootSide, HostileVolumeNamesReachBlessAsOneArgument) {
    const std::string canary = dir / "canary";
    // "@" stands for the canary's path.
    for (std::string name : {"'; touch @; '", "$(touch @)", "`touch @`", "--setBoot",
                             "x'\ntouch @\n'", "\\\"; touch @; \\\"", "\\'; touch @; '\\",
                             "'\\''; touch @; '\\''", "x'|touch @|'", "${IFS}touch${IFS}@",
                             "* ? [a-z] ~root", " ", "\xC3\xA9'\xC3\xB1\"\xE6\x97\xA5 \xE2\x80\x99",
                             "\" with administrator privileges\ndo shell script \"touch @"}) {
        for (std::size_t at; (at = name.find('@')) != std::string::npos;)
            name.replace(at, 1, canary);
        SCOPED_TRACE(::testing::PrintToString(name));
        const std::string path = dir / "Volumes" + "/" + name;
        fs::create_directories(path);
        ASSERT_EQ(mount("tmpfs", path.c_str(), "tmpfs", 0, "size=1m"), 0) << std::strerror(errno);
        const bool nextOnly = name.size() % 2;
        const auto [blessed, result] = bless(path, "", nextOnly);
        EXPECT_EQ(result, PrivilegedResult::succeeded);
        EXPECT_EQ(blessed,
                  "--mount\0"s + path + "\0--setBoot\0"s + (nextOnly ? "--nextonly\0"s : ""s));
        EXPECT_EQ(test::readWholeFile(records / "context"), "/dev/null\0/\0"s);
        ASSERT_FALSE(fs::exists(canary));
    }
}

} // namespace
} // namespace kavelin::platform
