#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace kavelin::testing {

// A fresh folder under /tmp, removed with everything in it.
class TemporaryFolder {
public:
    TemporaryFolder() {
        std::string pattern = "/tmp/kavelin-test-XXXXXX";
        if (!mkdtemp(pattern.data()))
            std::abort();
        path = pattern;
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    std::filesystem::path operator/(const std::string& name) const { return path / name; }
    std::filesystem::path path;
};

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeExecutable(const std::filesystem::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

// The NUL-terminated records of a file written by the argument recorder.
inline std::vector<std::string> readRecords(const std::filesystem::path& path) {
    std::vector<std::string> records;
    const std::string content = readFile(path);
    std::size_t start = 0;
    for (std::size_t end; (end = content.find('\0', start)) != std::string::npos; start = end + 1)
        records.push_back(content.substr(start, end - start));
    return records;
}

// Random volume paths, biased towards what a shell or a string literal would trip on: any
// byte but NUL, often quotes, backslashes, dollar signs, backticks, line breaks, dashes and
// multi-byte UTF-8.
class HostilePaths {
public:
    explicit HostilePaths(unsigned seed) : engine(seed) {}

    std::string next() {
        static const std::vector<std::string> pieces = {"'",         "\"",   "\\",
                                                        "$",         "`",    "\n",
                                                        "\t",        " ",    "-",
                                                        "--setBoot", ";",    "|",
                                                        "&",         "(",    ")",
                                                        "<",         ">",    "*",
                                                        "?",         "[",    "~",
                                                        "#",         "!",    "{",
                                                        "}",         "$(",   "'\\''",
                                                        "\\\"",      "é",    "\xE2\x80\x99",
                                                        "ß",         "日本", "\xF0\x9F\x92\xBE",
                                                        "\xFF",      "\xC3", "\r",
                                                        "=",         "%",    "/",
                                                        "//"};
        std::uniform_int_distribution<int> length(0, 24);
        std::uniform_int_distribution<int> kind(0, 3);
        std::uniform_int_distribution<std::size_t> piece(0, pieces.size() - 1);
        std::uniform_int_distribution<int> byte(1, 255);
        std::string path = kind(engine) == 0 ? "" : "/Volumes/";
        for (int count = length(engine); count > 0; --count) {
            if (kind(engine) == 0)
                path += static_cast<char>(byte(engine));
            else
                path += pieces[piece(engine)];
        }
        return path;
    }

private:
    std::mt19937 engine;
};

} // namespace kavelin::testing
