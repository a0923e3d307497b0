#pragma once

// A temporary folder, whole files, and child processes started from an argument vector.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <cstdlib>
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

} // namespace kavelin::test
