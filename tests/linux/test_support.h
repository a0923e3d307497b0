#pragma once

// Small helpers for the backend tests: temporary folders, files, and child processes run from an
// argument vector (never through a shell).

#include <optional>
#include <string>
#include <vector>

namespace kavelin::test {

class TemporaryDirectory {
public:
    TemporaryDirectory();
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

void writeFile(const std::string& path, const std::string& contents);
std::string readWholeFile(const std::string& path);

struct Completed {
    int status = -1; // exit status, or -1 when the child did not exit normally
    std::string output;
    std::string errors;
};
// Runs argv[0] found on PATH, standard output and standard error captured.
Completed run(const std::vector<std::string>& argv);

} // namespace kavelin::test
