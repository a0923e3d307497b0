#pragma once

// A temporary folder, whole files, child processes started from an argument vector, and mounts
// in a private mount namespace.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <cstdlib>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kavelin::test {

// A new folder, removed with all it holds when the object goes.
struct TemporaryDirectory {
    std::string path =
        mkdtemp((std::filesystem::temp_directory_path() / "kavelin-test.XXXXXX").string().data());
    ~TemporaryDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

inline void writeFile(const std::filesystem::path& path, const std::string& contents) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << contents;
}

inline std::string readWholeFile(const std::string& path) {
    return (std::ostringstream() << std::ifstream(path, std::ios::binary).rdbuf()).str();
}

struct Completed {
    int status = -1; // -1 when the child did not exit normally
    std::string output, errors;
};

// Runs argv[0] found on PATH, each argument quoted for the shell. Both streams go to files, so
// that neither can fill up and block.
inline Completed run(const std::vector<std::string>& argv) {
    TemporaryDirectory streams;
    std::string command = "exec";
    for (const std::string& arg : argv) {
        command += " '";
        for (char c : arg)
            command += c == '\'' ? "'\\''" : std::string(1, c);
        command += "'";
    }
    const int status = std::system(
        (command + " >'" + streams / "stdout" + "' 2>'" + streams / "stderr" + "'").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readWholeFile(streams / "stdout"),
            readWholeFile(streams / "stderr")};
}

// Why mounts cannot be made here, after moving this process into a private mount namespace;
// empty when they can.
inline std::string whyNoPrivateMounts() {
    if (geteuid() != 0)
        return "needs root to mount";
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr))
        return "cannot make a private mount namespace (unshare)";
    return "";
}

// Mounts at folder a FUSE file system whose server, the descriptor returned, never reads:
// whatever touches it waits until the descriptor is closed. -1 when it cannot be mounted.
inline int mountUnansweredFuse(const std::string& folder, const char* type) {
    const int server = open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (server < 0)
        return -1;
    const std::string options =
        "fd=" + std::to_string(server) + ",rootmode=40000,user_id=0,group_id=0";
    std::filesystem::create_directories(folder);
    if (mount("x", folder.c_str(), type, MS_NOSUID | MS_NODEV, options.c_str()) == 0)
        return server;
    close(server);
    return -1;
}

inline long threadCount() {
    return std::distance(std::filesystem::directory_iterator("/proc/self/task"), {});
}

} // namespace kavelin::test
