// The runner against a stand-in pkexec, the real /bin/sh, and the argument recorder as bless.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <unistd.h>

#include "platform/linux/pkexec_script_runner.h"
#include "startup/privileged.h"
#include "test_support.h"

namespace kavelin::platform {
namespace {

using namespace std::string_literals;
namespace fs = std::filesystem;

// A stand-in pkexec that runs its arguments unprivileged, as pkexec does once authorised.
constexpr const char* passThrough = "#!/bin/sh\nexec \"$@\"\n";

// A folder with the recorder as "bless", and as pkexec a script, the recorder or nothing ("").
struct Stage {
    explicit Stage(const std::string& pkexec = passThrough) {
        fs::create_symlink(KAVELIN_ARGUMENT_RECORDER, dir / "bless");
        if (pkexec == "recorder")
            fs::create_symlink(KAVELIN_ARGUMENT_RECORDER, dir / "pkexec");
        else if (!pkexec.empty()) {
            test::writeFile(dir / "pkexec", pkexec);
            fs::permissions(dir / "pkexec", fs::perms::owner_all);
        }
    }
    std::string records(const std::string& name) const { return test::readWholeFile(dir / name); }
    PkexecScriptRunner runner() const { return PkexecScriptRunner(dir / "pkexec"); }
    test::TemporaryDirectory dir;
};

TEST(PkexecScriptRunner, RunsTheShellUnderPkexecWithNothingOfOurs) {
    // Neither our standard input nor our working directory may reach the command.
    const int savedInput = dup(STDIN_FILENO);
    ASSERT_TRUE(std::freopen("/etc/passwd", "r", stdin));
    const auto savedDirectory = fs::current_path();
    // Only well-formed locale names pass: LANG, LANGUAGE, LC_ALL, LC_MESSAGES, what follows PATH.
    const std::string tooLong = "fr_" + std::string(100, 'F');
    const std::pair<std::array<const char*, 4>, std::string> rows[] = {
        {{"fr_FR.UTF-8", nullptr, nullptr, nullptr}, "LANG=fr_FR.UTF-8\0"s},
        {{"C", "fr_CA:fr:en", "sr_RS.UTF-8@latin", "de_DE.ISO-8859-15@euro"},
         "LANG=C\0LANGUAGE=fr_CA:fr:en\0LC_ALL=sr_RS.UTF-8@latin\0"
         "LC_MESSAGES=de_DE.ISO-8859-15@euro\0"s},
        {{"../../tmp/locale", "fr:$(touch x)", "fr_FR\nBASH_ENV=/tmp/x", tooLong.c_str()}, ""},
        {{"fr_FR.UTF-8;id", ":fr", "fr_FR/../C", "-fr"}, ""},
    };
    const std::array names{"LANG", "LANGUAGE", "LC_ALL", "LC_MESSAGES"};
    Stage stage("recorder"); // what pkexec receives is what the real one would
    fs::current_path(stage.dir.path);
    for (const auto& [locale, passed] : rows) {
        for (std::size_t i = 0; i < names.size(); ++i)
            locale[i] ? setenv(names[i], locale[i], 1) : unsetenv(names[i]);
        SCOPED_TRACE(::testing::PrintToString(passed));
        ASSERT_TRUE(stage.runner().execute(administratorScript("echo \"a b\" '$c'")));
        EXPECT_EQ(stage.records("arguments"), "/bin/sh\0-c\0echo \"a b\" '$c'\0"s);
        EXPECT_EQ(stage.records("context"), "/dev/null\0/\0"s);
        EXPECT_EQ(stage.records("environment"), "PATH=/usr/sbin:/usr/bin:/sbin:/bin\0"s + passed);
    }
    for (const char* name : names)
        unsetenv(name);
    fs::current_path(savedDirectory);
    dup2(savedInput, STDIN_FILENO);
    close(savedInput);
}

// An application keeps its event loop turning in the hook, which may return before the end:
// the run still returns only once the command has ended, with its outcome.
TEST(PkexecScriptRunner, TurnsEveryWayOutIntoAResultOrAnErrorNumber) {
    const std::pair<std::string, std::optional<std::int64_t>> rows[] = {
        {passThrough, std::nullopt},                        // authorised, command succeeded
        {"#!/bin/sh\nexit 126\n", -128},                    // prompt dismissed
        {"#!/bin/sh\nexit 127\n", 127},                     // not authorised
        {"#!/bin/sh\nsleep 0.2\nexit 1\n", 1},              // pkexec failed
        {"#!/bin/sh\nsleep 0.2\nkill -KILL $$\n", 128 + 9}, // killed
        {"", 127},                                          // pkexec missing
    };
    for (const auto& [pkexec, number] : rows) {
        SCOPED_TRACE(pkexec);
        Stage stage(pkexec);
        int hooked = 0;
        auto hook = [&](int) { ++hooked; };
        auto execution =
            PkexecScriptRunner(stage.dir / "pkexec", hook).execute(administratorScript("true"));
        ASSERT_TRUE(execution);
        EXPECT_EQ(hooked, pkexec.empty() ? 0 : 1);
        EXPECT_EQ(execution->hasResult, !number);
        EXPECT_EQ(execution->error,
                  number ? std::optional(ScriptErrorDictionary{{appleScriptErrorNumber, *number}})
                         : std::nullopt);
    }
    // Any other source is refused before anything runs.
    Stage stage("recorder");
    for (std::string source :
         {"do shell script \"ls\""s, "tell app \"F\" to " + administratorScript("ls"),
          "do shell script \"l\0s\" with administrator privileges"s})
        EXPECT_EQ(stage.runner().execute(source), std::nullopt) << source;
    EXPECT_FALSE(fs::exists(stage.dir / "arguments"));
}

// Volume names made to break out of the quoting, through the real shell: each reaches bless as
// one argument, with standard input /dev/null, and runs nothing else.
TEST(PkexecScriptRunner, HostileVolumeNamesStayOneArgument) {
    Stage stage;
    const std::string canary = stage.dir / "canary";
    // "@" stands for the canary's path.
    for (std::string path :
         {"'; touch @; '", "$(touch @)", "`touch @`", "--setBoot", "x'\ntouch @\n'",
          "\\\"; touch @; \\\"", "\\'; touch @; '\\", "'\\''; touch @; '\\''", "x'|touch @|'",
          "${IFS}touch${IFS}@", "* ? [a-z] ~root", "",
          "/Volumes/\xC3\xA9'\xC3\xB1\"\xE6\x97\xA5 \xE2\x80\x99",
          "\" with administrator privileges\ndo shell script \"touch @"}) {
        for (std::size_t at; (at = path.find('@')) != std::string::npos;)
            path.replace(at, 1, canary);
        SCOPED_TRACE(::testing::PrintToString(path));
        const bool nextOnly = path.size() % 2;
        std::string command = blessCommand(path, nextOnly);
        command.replace(0, std::string_view("/usr/sbin/bless").size(), stage.dir / "bless");
        fs::remove(stage.dir / "arguments");
        EXPECT_EQ(classifyExecution(stage.runner().execute(administratorScript(command))),
                  PrivilegedResult::succeeded);
        EXPECT_EQ(stage.records("arguments"),
                  "--mount\0"s + path + "\0--setBoot\0"s + (nextOnly ? "--nextonly\0"s : ""s));
        EXPECT_EQ(stage.records("context"), "/dev/null\0/\0"s);
        ASSERT_FALSE(fs::exists(canary));
    }
}

} // namespace
} // namespace kavelin::platform
