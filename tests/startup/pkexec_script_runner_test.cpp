// The runner against real processes: a stand-in for pkexec (a shell script, or the argument
// recorder itself), the real /bin/sh, and the argument recorder in place of bless.
#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

#include "platform/linux/pkexec_script_runner.h"
#include "startup/privileged.h"
#include "test_support.h"

namespace kavelin::platform {
namespace {

using kavelin::testing::readFile;
using kavelin::testing::readRecords;
using kavelin::testing::TemporaryFolder;
using kavelin::testing::writeExecutable;

constexpr std::string_view blessPath = "/usr/sbin/bless";

// A stand-in pkexec that runs its arguments unprivileged, as pkexec does once authorised.
constexpr const char* passThrough = "#!/bin/sh\nexec \"$@\"\n";

std::optional<std::int64_t> errorNumber(const ScriptExecution& execution) {
    if (!execution.error)
        return std::nullopt;
    const auto entry = execution.error->find(appleScriptErrorNumber);
    if (entry == execution.error->end() || !std::holds_alternative<std::int64_t>(entry->second))
        return std::nullopt;
    return std::get<std::int64_t>(entry->second);
}

// A folder holding the argument recorder under the name "bless", and a stand-in pkexec.
struct Stage {
    explicit Stage(const std::string& pkexecScript = passThrough) {
        std::filesystem::create_symlink(KAVELIN_ARGUMENT_RECORDER, bless());
        writeExecutable(pkexec(), pkexecScript);
    }
    std::filesystem::path bless() const { return folder / "bless"; }
    std::filesystem::path pkexec() const { return folder / "pkexec"; }
    std::filesystem::path canary() const { return folder / "canary"; }

    // The script of the application for this path, with bless swapped for the recorder.
    std::string scriptFor(const std::string& path, bool nextOnly) const {
        std::string command = blessCommand(path, nextOnly);
        if (!command.starts_with(blessPath))
            std::abort();
        command.replace(0, blessPath.size(), bless().string());
        return administratorScript(command);
    }

    void forgetLastRun() const {
        for (const char* name : {"arguments", "stdin", "environment"})
            std::filesystem::remove(folder / name);
    }

    TemporaryFolder folder;
};

std::vector<std::string> expectedArguments(const std::string& path, bool nextOnly) {
    std::vector<std::string> arguments{"--mount", path, "--setBoot"};
    if (nextOnly)
        arguments.push_back("--nextonly");
    return arguments;
}

TEST(PkexecScriptRunner, RunsTheShellUnderPkexecWithNothingOfOurs) {
    // pkexec itself is the recorder here: what it receives is what the real one would.
    TemporaryFolder folder;
    std::filesystem::create_symlink(KAVELIN_ARGUMENT_RECORDER, folder / "pkexec");
    setenv("LANG", "fr_FR.UTF-8", 1);
    for (const char* name : {"KAVELIN_SECRET", "ENV", "BASH_ENV", "IFS", "LD_PRELOAD"})
        setenv(name, "/tmp/kavelin-not-for-root", 1);

    PkexecScriptRunner runner((folder / "pkexec").string());
    const auto execution = runner.execute(administratorScript("echo \"a b\" '$c'"));

    for (const char* name : {"KAVELIN_SECRET", "ENV", "BASH_ENV", "IFS", "LD_PRELOAD"})
        unsetenv(name);
    ASSERT_TRUE(execution);
    EXPECT_TRUE(execution->hasResult);
    EXPECT_FALSE(execution->error);
    EXPECT_EQ(readRecords(folder / "arguments"),
              (std::vector<std::string>{"/bin/sh", "-c", "echo \"a b\" '$c'"}));
    EXPECT_EQ(readFile(folder / "stdin"), "/dev/null");
    for (const auto& entry : readRecords(folder / "environment")) {
        const auto name = entry.substr(0, entry.find('='));
        EXPECT_TRUE(name == "PATH" || name == "LANG" || name == "LANGUAGE" || name == "LC_ALL" ||
                    name == "LC_MESSAGES")
            << entry;
    }
    const auto environment = readRecords(folder / "environment");
    EXPECT_NE(
        std::find(environment.begin(), environment.end(), "PATH=/usr/sbin:/usr/bin:/sbin:/bin"),
        environment.end());
    EXPECT_NE(std::find(environment.begin(), environment.end(), "LANG=fr_FR.UTF-8"),
              environment.end());
}

TEST(PkexecScriptRunner, TurnsEveryWayOutIntoAResultOrAnErrorNumber) {
    struct Row {
        const char* story;
        std::string pkexecScript;
        std::string command;
        bool hasResult;
        std::optional<std::int64_t> number;
        PrivilegedResult classified;
    };
    const Row rows[] = {
        {"authorised, command succeeded", passThrough, "true", true, std::nullopt,
         PrivilegedResult::succeeded},
        {"prompt dismissed", "#!/bin/sh\nexit 126\n", "true", false, -128,
         PrivilegedResult::cancelled},
        {"not authorised", "#!/bin/sh\nexit 127\n", "true", false, 127, PrivilegedResult::failed},
        {"pkexec failed", "#!/bin/sh\nexit 1\n", "true", false, 1, PrivilegedResult::failed},
        {"pkexec answered 0", "#!/bin/sh\nexit 0\n", "false", true, std::nullopt,
         PrivilegedResult::succeeded},
        {"command failed", passThrough, "exit 3", false, 3, PrivilegedResult::failed},
        {"command not found", passThrough, "/nonexistent/kavelin-no-such-program --x", false, 127,
         PrivilegedResult::failed},
        {"shell killed", passThrough, "kill -KILL $$", false, 128 + 9, PrivilegedResult::failed},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.story);
        Stage stage(row.pkexecScript);
        PkexecScriptRunner runner(stage.pkexec().string());
        const auto execution = runner.execute(administratorScript(row.command));
        ASSERT_TRUE(execution);
        EXPECT_EQ(execution->hasResult, row.hasResult);
        EXPECT_EQ(errorNumber(*execution), row.number);
        EXPECT_EQ(classifyExecution(execution), row.classified);
    }
}

TEST(PkexecScriptRunner, FailsWhenPkexecIsMissing) {
    TemporaryFolder folder;
    PkexecScriptRunner runner((folder / "no-pkexec").string());
    const auto execution = runner.execute(administratorScript("true"));
    ASSERT_TRUE(execution);
    EXPECT_EQ(classifyExecution(execution), PrivilegedResult::failed);
}

TEST(PkexecScriptRunner, NeverHandsOverItsOwnStandardInput) {
    // Our own standard input holds a line; the command must read nothing.
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    ASSERT_EQ(write(pipeEnds[1], "secret\n", 7), 7);
    close(pipeEnds[1]);
    const int savedInput = dup(STDIN_FILENO);
    dup2(pipeEnds[0], STDIN_FILENO);
    close(pipeEnds[0]);

    Stage stage;
    PkexecScriptRunner runner(stage.pkexec().string());
    const auto execution = runner.execute(
        administratorScript("if IFS= read -r line; then exit 5; fi; "
                            "test \"$(readlink /proc/self/fd/0)\" = /dev/null || exit 6"));

    dup2(savedInput, STDIN_FILENO);
    close(savedInput);
    ASSERT_TRUE(execution);
    EXPECT_EQ(errorNumber(*execution), std::nullopt);
    EXPECT_TRUE(execution->hasResult);
}

TEST(PkexecScriptRunner, RefusesAnyOtherSourceBeforeRunningAnything) {
    Stage stage;
    const std::string marker = (stage.folder / "ran").string();
    writeExecutable(stage.pkexec(), "#!/bin/sh\n: > '" + marker + "'\nexec \"$@\"\n");
    PkexecScriptRunner runner(stage.pkexec().string());
    const std::string touch = "touch '" + marker + "'";
    const std::string sources[] = {
        "",
        touch,
        "do shell script \"" + touch + "\"",
        "do shell script \"" + touch + "\" with administrator privileges\n",
        "do shell script \"" + touch + "\" with administrator privileges -- trailing",
        "do shell script \"" + touch + "\" with administrator privileges\" & \"x\"",
        "do shell script \"touch \\'x\\'\" with administrator privileges",
        "do shell script \"touch \"x\"\" with administrator privileges",
        "do shell script \"" + touch + "\\n\" with administrator privileges",
        "tell application \"Finder\" to do shell script \"" + touch +
            "\" with administrator privileges",
    };
    for (const auto& source : sources) {
        SCOPED_TRACE(source);
        EXPECT_EQ(runner.execute(source), std::nullopt);
        EXPECT_FALSE(std::filesystem::exists(marker));
    }
    // The stand-in does leave its mark when a source is accepted.
    EXPECT_TRUE(runner.execute(administratorScript("true")));
    EXPECT_TRUE(std::filesystem::exists(marker));
}

// Volume names made to break out of the quoting: each must reach bless as one argument and
// run nothing else.
TEST(PkexecScriptRunner, HostileVolumeNamesStayOneArgument) {
    Stage stage;
    const std::string canary = stage.canary().string();
    const std::vector<std::string> names = {
        "'; touch " + canary + "; '",
        "$(touch " + canary + ")",
        "`touch " + canary + "`",
        "--setBoot",
        "-rf",
        "-",
        "--mount",
        "x\ntouch " + canary,
        "\ntouch " + canary + "\n",
        "x'\ntouch " + canary + "\n'",
        "\"; touch " + canary + "; \"",
        "\\\"; touch " + canary + "; \\\"",
        "\\'; touch " + canary + "; '\\",
        "' $(touch " + canary + ") '",
        "x' && touch " + canary + " && echo '",
        "x'|touch " + canary + "|'",
        "x'>" + canary + "'",
        "x' </dev/null; touch " + canary + "; '",
        "${IFS}touch${IFS}" + canary,
        "'\\''; touch " + canary + "; '\\''",
        "x\\'; touch " + canary + " #",
        "* ? [a-z] ~root",
        "\xC3\xA9'\xC3\xB1\"\xE6\x97\xA5 \xE2\x80\x99",
        "\" with administrator privileges\ndo shell script \"touch " + canary,
    };
    PkexecScriptRunner runner(stage.pkexec().string());
    int runs = 0;
    for (const auto& name : names) {
        for (const auto& path : {name, "/Volumes/" + name}) {
            for (bool nextOnly : {false, true}) {
                SCOPED_TRACE(::testing::PrintToString(path));
                stage.forgetLastRun();
                const auto execution = runner.execute(stage.scriptFor(path, nextOnly));
                ++runs;
                ASSERT_TRUE(execution);
                EXPECT_EQ(classifyExecution(execution), PrivilegedResult::succeeded);
                EXPECT_EQ(readRecords(stage.folder / "arguments"),
                          expectedArguments(path, nextOnly));
                EXPECT_EQ(readFile(stage.folder / "stdin"), "/dev/null");
                ASSERT_FALSE(std::filesystem::exists(canary));
            }
        }
    }
    RecordProperty("hostile_names", static_cast<int>(names.size()));
    RecordProperty("runs", runs);
}

// The real shell splits the decoded command into exactly bless's arguments, for any path.
TEST(PkexecScriptRunner, TheShellSplitsAnyPathIntoExactlyOneArgument) {
    constexpr int pathCount = 300;
    Stage stage;
    PkexecScriptRunner runner(stage.pkexec().string());
    testing::HostilePaths paths(4242);
    int mismatches = 0;
    for (int i = 0; i < pathCount; ++i) {
        const std::string path = paths.next();
        const bool nextOnly = i % 2 == 1;
        stage.forgetLastRun();
        const auto execution = runner.execute(stage.scriptFor(path, nextOnly));
        const bool matches =
            execution && classifyExecution(execution) == PrivilegedResult::succeeded &&
            readRecords(stage.folder / "arguments") == expectedArguments(path, nextOnly) &&
            readFile(stage.folder / "stdin") == "/dev/null";
        if (!matches) {
            ++mismatches;
            ADD_FAILURE() << "path " << ::testing::PrintToString(path);
        }
    }
    RecordProperty("paths", pathCount);
    RecordProperty("mismatches", mismatches);
    EXPECT_EQ(mismatches, 0) << "of " << pathCount << " paths";
}

} // namespace
} // namespace kavelin::platform
