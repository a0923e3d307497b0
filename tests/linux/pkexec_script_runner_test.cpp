// The runner against real processes: a stand-in for pkexec (a shell script, or the argument
// recorder itself), the real /bin/sh, and the argument recorder in place of bless.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <poll.h>
#include <random>
#include <unistd.h>

#include "platform/linux/apple_script_literal.h"
#include "platform/linux/pkexec_script_runner.h"
#include "startup/privileged.h"

namespace kavelin::platform {
namespace {

using namespace std::string_literals;
namespace fs = std::filesystem;

// A stand-in pkexec that runs its arguments unprivileged, as pkexec does once authorised.
constexpr const char* passThrough = "#!/bin/sh\nexec \"$@\"\n";

// The NUL-terminated records of a file written by the argument recorder.
std::vector<std::string> readRecords(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> records;
    for (std::string record; std::getline(in, record, '\0');)
        records.push_back(record);
    return records;
}

// A fresh folder holding the argument recorder under the name "bless", and what stands in for
// pkexec: a script, the recorder itself ("recorder"), or nothing ("").
struct Stage {
    explicit Stage(const std::string& pkexec = passThrough) {
        std::string pattern = "/tmp/kavelin-test-XXXXXX";
        if (!mkdtemp(pattern.data()))
            std::abort();
        folder = pattern;
        fs::create_symlink(KAVELIN_ARGUMENT_RECORDER, folder / "bless");
        if (pkexec == "recorder")
            fs::create_symlink(KAVELIN_ARGUMENT_RECORDER, folder / "pkexec");
        else if (!pkexec.empty()) {
            std::ofstream(folder / "pkexec") << pkexec;
            fs::permissions(folder / "pkexec", fs::perms::owner_all);
        }
    }
    ~Stage() { fs::remove_all(folder); }

    // The script of the application for this path, with bless swapped for the recorder.
    std::string scriptFor(const std::string& path, bool nextOnly) const {
        std::string command = blessCommand(path, nextOnly);
        const auto blessLength = std::string_view("/usr/sbin/bless").size();
        return administratorScript(command.replace(0, blessLength, (folder / "bless").string()));
    }

    // Whether the script for this path ran, and bless received exactly the path as one
    // argument, with standard input /dev/null.
    bool runsBless(const std::string& path, bool nextOnly) const {
        std::vector<std::string> expected{"--mount", path, "--setBoot"};
        if (nextOnly)
            expected.push_back("--nextonly");
        fs::remove(folder / "arguments");
        return classifyExecution(runner().execute(scriptFor(path, nextOnly))) ==
                   PrivilegedResult::succeeded &&
               readRecords(folder / "arguments") == expected &&
               readRecords(folder / "stdin") == std::vector<std::string>{"/dev/null"};
    }

    PkexecScriptRunner runner() const { return PkexecScriptRunner((folder / "pkexec").string()); }
    fs::path folder;
};

TEST(PkexecScriptRunner, RunsTheShellUnderPkexecWithNothingOfOurs) {
    // Our own standard input is a file, and our working directory a folder of ours: neither
    // may reach the command.
    const int savedInput = dup(STDIN_FILENO);
    ASSERT_TRUE(std::freopen("/etc/passwd", "r", stdin));
    const auto savedDirectory = fs::current_path();
    // Of the locale, only well-formed names pass: each row sets LANG, LANGUAGE, LC_ALL and
    // LC_MESSAGES (nullptr: unset) and lists what the child receives after PATH.
    const std::string tooLong = "fr_" + std::string(100, 'F');
    const struct {
        std::array<const char*, 4> locale;
        std::vector<std::string> passed;
    } rows[] = {
        {{"fr_FR.UTF-8", nullptr, nullptr, nullptr}, {"LANG=fr_FR.UTF-8"}},
        {{"C", "fr_CA:fr:en", "sr_RS.UTF-8@latin", "de_DE.ISO-8859-15@euro"},
         {"LANG=C", "LANGUAGE=fr_CA:fr:en", "LC_ALL=sr_RS.UTF-8@latin",
          "LC_MESSAGES=de_DE.ISO-8859-15@euro"}},
        {{"../../tmp/locale", "fr:$(touch x)", "fr_FR\nBASH_ENV=/tmp/x", "-fr"}, {}},
        {{"", "fr::en", "fr FR", tooLong.c_str()}, {}},
        {{"fr_FR.UTF-8;id", ":fr", "fr_FR/../C", "\xc3\xa9"}, {}},
    };
    const std::array names{"LANG", "LANGUAGE", "LC_ALL", "LC_MESSAGES"};
    // pkexec itself is the recorder: what it receives is what the real one would.
    Stage stage("recorder");
    fs::current_path(stage.folder);
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < names.size(); ++i)
            row.locale[i] ? setenv(names[i], row.locale[i], 1) : unsetenv(names[i]);
        SCOPED_TRACE(::testing::PrintToString(row.passed));
        const auto execution = stage.runner().execute(administratorScript("echo \"a b\" '$c'"));
        ASSERT_TRUE(execution);
        EXPECT_EQ(readRecords(stage.folder / "arguments"),
                  (std::vector<std::string>{"/bin/sh", "-c", "echo \"a b\" '$c'"}));
        EXPECT_EQ(readRecords(stage.folder / "stdin"), std::vector<std::string>{"/dev/null"});
        EXPECT_EQ(readRecords(stage.folder / "directory"), std::vector<std::string>{"/"});
        auto expected = row.passed;
        expected.insert(expected.begin(), "PATH=/usr/sbin:/usr/bin:/sbin:/bin");
        EXPECT_EQ(readRecords(stage.folder / "environment"), expected);
    }
    for (const char* name : names)
        unsetenv(name);
    fs::current_path(savedDirectory);
    dup2(savedInput, STDIN_FILENO);
    close(savedInput);
}

TEST(PkexecScriptRunner, TurnsEveryWayOutIntoAResultOrAnErrorNumber) {
    struct Row {
        const char* story;
        std::string pkexecScript;
        std::optional<std::int64_t> number;
    };
    const Row rows[] = {
        {"authorised, command succeeded", passThrough, std::nullopt},
        {"prompt dismissed", "#!/bin/sh\nexit 126\n", -128},
        {"not authorised", "#!/bin/sh\nexit 127\n", 127},
        {"pkexec failed", "#!/bin/sh\nexit 1\n", 1},
        {"killed", "#!/bin/sh\nkill -KILL $$\n", 128 + 9},
        {"pkexec missing", "", 127},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.story);
        Stage stage(row.pkexecScript);
        const auto execution = stage.runner().execute(administratorScript("true"));
        ASSERT_TRUE(execution);
        EXPECT_EQ(execution->hasResult, !row.number);
        EXPECT_EQ(execution->error,
                  row.number
                      ? std::optional(ScriptErrorDictionary{{appleScriptErrorNumber, *row.number}})
                      : std::nullopt);
    }
}

// An application keeps its event loop turning in the hook; whether the hook waits for the end
// or returns early, the run returns only once the command has ended, with its outcome.
TEST(PkexecScriptRunner, WaitsThroughTheHookUntilTheCommandHasEnded) {
    for (const bool hookWaits : {true, false}) {
        SCOPED_TRACE(hookWaits ? "the hook waits" : "the hook returns early");
        Stage stage("");
        const fs::path go = stage.folder / "go";
        std::ofstream(stage.folder / "pkexec")
            << "#!/bin/sh\nwhile [ ! -e '" << go.string() << "' ]; do sleep 0.01; done\nexit 3\n";
        fs::permissions(stage.folder / "pkexec", fs::perms::owner_all);
        int calls = 0;
        bool readableWhileRunning = true;
        PkexecScriptRunner runner((stage.folder / "pkexec").string(), [&](int descriptor) {
            ++calls;
            pollfd entry{descriptor, POLLIN, 0};
            readableWhileRunning = poll(&entry, 1, 0) != 0;
            std::ofstream{go}; // lets the command end
            if (hookWaits)
                pollUntilReadable(descriptor);
        });
        const auto execution = runner.execute(administratorScript("true"));
        EXPECT_EQ(calls, 1);
        EXPECT_FALSE(readableWhileRunning);
        ASSERT_TRUE(execution);
        EXPECT_EQ(execution->error, (ScriptErrorDictionary{{appleScriptErrorNumber, 3}}));
    }
}

TEST(PkexecScriptRunner, RefusesAnyOtherSourceBeforeRunningAnything) {
    Stage stage("recorder");
    auto runner = stage.runner();
    const std::string suffix = "\" with administrator privileges";
    // clang-format off
    const std::string sources[] = {"", "ls", "do shell script \"ls\"",
        "do shell script \"ls" + suffix + "\n", "do shell script \"ls" + suffix + "; beep",
        " do shell script \"ls" + suffix, "Do shell script \"ls" + suffix,
        "tell application \"Finder\" to do shell script \"ls" + suffix,
        "do shell script \"l\"s" + suffix, R"(do shell script "l\ns)" + suffix,
        R"(do shell script "l\'s)" + suffix, "do shell script \"ls\\",
        "do shell script \"l\0s"s + suffix};
    // clang-format on
    for (const auto& source : sources) {
        SCOPED_TRACE(source);
        EXPECT_EQ(runner.execute(source), std::nullopt);
        EXPECT_FALSE(fs::exists(stage.folder / "arguments"));
    }
    // The stand-in does leave its mark when a source is accepted.
    EXPECT_TRUE(runner.execute("do shell script \"ls" + suffix));
    EXPECT_TRUE(fs::exists(stage.folder / "arguments"));
}

// Volume names made to break out of the quoting: each must reach bless as one argument and
// run nothing else.
TEST(PkexecScriptRunner, HostileVolumeNamesStayOneArgument) {
    Stage stage;
    const std::string canary = (stage.folder / "canary").string();
    // "@" stands for the canary's path.
    // clang-format off
    const std::string names[] = {"'; touch @; '", "$(touch @)", "`touch @`", "--setBoot", "-rf",
        "/Volumes/x\ntouch @", "x'\ntouch @\n'", "\"; touch @; \"", "\\\"; touch @; \\\"",
        "\\'; touch @; '\\", "' $(touch @) '", "x' && touch @ && echo '", "x'|touch @|'", "x'>@'",
        "${IFS}touch${IFS}@", "'\\''; touch @; '\\''", "* ? [a-z] ~root", "",
        "/Volumes/\xC3\xA9'\xC3\xB1\"\xE6\x97\xA5 \xE2\x80\x99",
        "\" with administrator privileges\ndo shell script \"touch @"};
    // clang-format on
    bool nextOnly = false;
    for (std::string path : names) {
        for (std::size_t at; (at = path.find('@')) != std::string::npos;)
            path.replace(at, 1, canary);
        SCOPED_TRACE(::testing::PrintToString(path));
        EXPECT_TRUE(stage.runsBless(path, nextOnly = !nextOnly));
        ASSERT_FALSE(fs::exists(canary));
    }
    std::cout << "hostile volume names run: " << std::size(names) << "\n";
}

// Random paths, biased towards what a shell or a string literal trips on: any byte but NUL,
// often quotes, backslashes, dollars, backticks, line breaks, dashes and multi-byte UTF-8.
std::string randomPath(std::mt19937& engine) {
    static const std::string shellCharacters = "'\"\\$`\n\t -;|&()<>*?[~#!{}\r=%/\xFF\xC3";
    static const std::string pieces[] = {
        "--setBoot", "$(", "'\\''", "\\\"", "é", "\xE2\x80\x99", "日本", "\xF0\x9F\x92\xBE", "//"};
    std::uniform_int_distribution<int> length(0, 24), kind(0, 3), byte(1, 255);
    std::uniform_int_distribution<std::size_t> shellCharacter(0, shellCharacters.size() - 1),
        piece(0, std::size(pieces) - 1);
    std::string path = kind(engine) == 0 ? "" : "/Volumes/";
    for (int count = length(engine); count > 0; --count) {
        const int which = kind(engine);
        path += which == 0   ? std::string(1, static_cast<char>(byte(engine)))
                : which == 1 ? pieces[piece(engine)]
                             : std::string(1, shellCharacters[shellCharacter(engine)]);
    }
    return path;
}

// Any path: the decoder gives back the command exactly, and the real shell splits that command
// into exactly bless's arguments.
TEST(PkexecScriptRunner, AnyPathRoundTripsAndStaysOneArgument) {
    constexpr int pathCount = 20000, shellEvery = 50;
    Stage stage;
    std::mt19937 engine(20261206);
    int mismatches = 0;
    for (int i = 0; i < pathCount; ++i) {
        const std::string path = randomPath(engine);
        const bool nextOnly = i % 2 == 1;
        const std::string command = blessCommand(path, nextOnly);
        bool matches = decodeAdministratorScript(administratorScript(command)) == command;
        if (i % shellEvery == 0)
            matches = matches && stage.runsBless(path, nextOnly);
        if (!matches) {
            ++mismatches;
            ADD_FAILURE() << "path " << ::testing::PrintToString(path);
        }
    }
    std::cout << "paths: " << pathCount << " decoded, " << pathCount / shellEvery
              << " run through /bin/sh; mismatches: " << mismatches << "\n";
    EXPECT_EQ(mismatches, 0);
}

} // namespace
} // namespace kavelin::platform
