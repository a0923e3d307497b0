#pragma once

// A temporary folder, whole files, and child processes started from an argument vector.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
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
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Completed {
    int status = -1; // -1 when the child did not exit normally
    std::string output, errors;
};

// Runs argv[0] found on PATH. Both streams go to files, so that neither can fill up and block.
inline Completed run(const std::vector<std::string>& argv) {
    TemporaryDirectory streams;
    const std::string output = streams / "stdout", errors = streams / "stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT, 0600);
    std::vector<char*> args(argv.size() + 1);
    std::ranges::transform(argv, args.begin(),
                           [](auto& arg) { return const_cast<char*>(arg.c_str()); });
    pid_t child = 0;
    int status = 0;
    bool exited = posix_spawnp(&child, args[0], &actions, nullptr, args.data(), environ) == 0 &&
                  waitpid(child, &status, 0) == child && WIFEXITED(status);
    posix_spawn_file_actions_destroy(&actions);
    return {exited ? WEXITSTATUS(status) : -1, readWholeFile(output), readWholeFile(errors)};
}

} // namespace kavelin::test
