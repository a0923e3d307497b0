// The per-user lock of the tray application, held and released by real processes.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/linux/single_instance.h"
#include "test_support.h"

namespace kavelin::platform {
namespace {

namespace fs = std::filesystem;

// Each claim opens the file anew, so a second one in this process conflicts as another would.
TEST(SingleInstanceLock, OneHolderAtATimeAndAKilledOneBlocksNothing) {
    test::TemporaryDirectory runtime;
    std::optional<SingleInstanceLock> first = SingleInstanceLock::claim(runtime.path);
    ASSERT_EQ(first->state(), InstanceClaim::held);
    EXPECT_EQ(SingleInstanceLock::claim(runtime.path).state(), InstanceClaim::heldElsewhere);
    first.reset();
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        const SingleInstanceLock lock = SingleInstanceLock::claim(runtime.path);
        const char held = lock.state() == InstanceClaim::held;
        (void)!write(ready[1], &held, 1);
        pause();
        _exit(0);
    }
    char held = 0;
    ASSERT_EQ(read(ready[0], &held, 1), 1);
    close(ready[0]), close(ready[1]);
    EXPECT_TRUE(held);
    EXPECT_EQ(SingleInstanceLock::claim(runtime.path).state(), InstanceClaim::heldElsewhere);
    kill(holder, SIGKILL);
    ASSERT_EQ(waitpid(holder, nullptr, 0), holder);
    ASSERT_TRUE(fs::exists(runtime / "kavelin.lock")) << "the dead holder's file stays behind";
    EXPECT_EQ(SingleInstanceLock::claim(runtime.path).state(), InstanceClaim::held);
}

TEST(SingleInstanceLock, FoldersThatCannotHoldAPrivateLockLeaveTheStartUnguarded) {
    test::TemporaryDirectory runtime;
    const std::string shared = runtime / "shared", planted = runtime / "planted";
    fs::create_directory(shared), fs::create_directory(planted);
    chmod(shared.c_str(), 0777), chmod(planted.c_str(), 0700);
    const std::string target = runtime / "target";
    test::writeFile(target, "kept");
    fs::create_symlink(target, planted + "/kavelin.lock");
    const std::string aFile = runtime / "file";
    test::writeFile(aFile, "");

    const std::pair<const char*, std::string> cases[] = {
        {"no folder given", ""},
        {"a missing folder", runtime / "missing"},
        {"a file, not a folder", aFile},
        {"a folder anyone may write to", shared},
        {"a link planted where the lock goes", planted}};
    for (const auto& [why, folder] : cases)
        EXPECT_EQ(SingleInstanceLock::claim(folder).state(), InstanceClaim::unavailable) << why;
    EXPECT_EQ(test::readWholeFile(target), "kept");

    if (geteuid() != 0)
        GTEST_SKIP() << "skipped: a folder of another user needs root to make";
    const std::string foreign = runtime / "foreign";
    fs::create_directory(foreign);
    chmod(foreign.c_str(), 0700);
    ASSERT_EQ(chown(foreign.c_str(), 65534, 65534), 0);
    EXPECT_EQ(SingleInstanceLock::claim(foreign).state(), InstanceClaim::unavailable);
}

} // namespace
} // namespace kavelin::platform
