// Stands in for bless or pkexec in the tests: writes beside itself, each record followed by NUL,
// "arguments" (argv[1..]), "stdin" (what descriptor 0 is), "environment" and "directory" (the
// working directory); exits with 0.
#include <fstream>
#include <string>
#include <unistd.h>

extern char** environ;

int main(int argc, char** argv) {
    const std::string self = argv[0];
    const std::string folder = self.substr(0, self.rfind('/') + 1);

    std::ofstream arguments(folder + "arguments", std::ios::binary | std::ios::trunc);
    for (int i = 1; i < argc; ++i)
        arguments << argv[i] << '\0';

    char target[4096];
    const ssize_t length = readlink("/proc/self/fd/0", target, sizeof target);
    std::ofstream(folder + "stdin", std::ios::binary | std::ios::trunc)
        << std::string(target, length > 0 ? static_cast<std::size_t>(length) : 0) << '\0';

    char directory[4096];
    std::ofstream(folder + "directory", std::ios::binary | std::ios::trunc)
        << (getcwd(directory, sizeof directory) ? directory : "") << '\0';

    std::ofstream environment(folder + "environment", std::ios::binary | std::ios::trunc);
    for (char** entry = environ; *entry; ++entry)
        environment << *entry << '\0';
    return arguments && environment ? 0 : 1;
}
