// The runner against a stand-in pkexec, with the argument recorder as the root-side helper.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <random>
#include <signal.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "platform/linux/apple_script_literal.h"
#include "platform/linux/bless_invocation.h"
#include "platform/linux/pkexec_script_runner.h"
#include "platform/trace.h"
#include "startup/privileged.h"
#include "test_support.h"

namespace kavelin::platform {
namespace {

using namespace std::string_literals;
namespace fs = std::filesystem;

// A stand-in pkexec that runs its arguments unprivileged, as pkexec does once authorised.
constexpr const char* passThrough = "#!/bin/sh\nexec \"$@\"\n";

// A folder with the recorder as the helper, and as pkexec a script, the recorder or nothing ("").
struct Stage {
    explicit Stage(const std::string& pkexec = passThrough) {
        fs::create_symlink(KAVELIN_ARGUMENT_RECORDER, dir / "kavelin-bless");
        if (pkexec == "recorder")
            fs::create_symlink(KAVELIN_ARGUMENT_RECORDER, dir / "pkexec");
        else if (!pkexec.empty()) {
            test::writeFile(dir / "pkexec", pkexec);
            fs::permissions(dir / "pkexec", fs::perms::owner_all);
        }
    }
    std::string records(const std::string& name) const { return test::readWholeFile(dir / name); }
    PkexecScriptRunner runner() const {
        return PkexecScriptRunner(dir / "pkexec", pollUntilReadable, dir / "kavelin-bless");
    }
    test::TemporaryDirectory dir;
};

std::string joined(const std::vector<std::string>& arguments) {
    std::string records;
    for (const auto& argument : arguments)
        records += argument + '\0';
    return records;
}

ScriptErrorDictionary errorNumber(std::int64_t number) {
    return {{appleScriptErrorNumber, number}};
}

// The root of the file system is a mounted volume wherever the tests run.
const std::string rootCommand = administratorScript(blessCommand("/", false));

TEST(PkexecScriptRunner, RunsTheHelperUnderPkexecWithNothingOfOurs) {
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
    const auto root = mountIdentity("/");
    ASSERT_TRUE(root);
    fs::current_path(stage.dir.path);
    for (const auto& [locale, passed] : rows) {
        for (std::size_t i = 0; i < names.size(); ++i)
            locale[i] ? setenv(names[i], locale[i], 1) : unsetenv(names[i]);
        SCOPED_TRACE(::testing::PrintToString(passed));
        ASSERT_TRUE(stage.runner().execute(rootCommand));
        EXPECT_EQ(stage.records("arguments"),
                  stage.dir / "kavelin-bless" + '\0' +
                      joined(helperArguments(*root, BlessRequest{"/", false})));
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
// the run still returns only once the command has ended, with its outcome, though child exits
// were inherited as ignored (the kernel would reap the child before the runner reads how it
// ended). With the trace on, a pkexec that gives up before running anything says why.
TEST(PkexecScriptRunner, TurnsEveryWayOutIntoAResultOrAnErrorNumber) {
    setenv("KAVELIN_TRACE", "1", 1);
    const bool tracing = traceEnabled(); // read once, maybe before this test
    const std::string authority = "Error getting authority: Error initializing authority: "
                                  "Could not connect: No such file or directory",
                      status = "kavelin: pkexec: statut ";
    const struct {
        std::string pkexec;
        std::optional<std::int64_t> number;
        std::string traced;
        void (*childExits)(int) = SIG_DFL;
        int flags = 0;
    } rows[] = {
        {passThrough, std::nullopt, "", SIG_IGN},          // authorised, command succeeded
        {"#!/bin/sh\nexit 126\n", -128, status + "126\n"}, // prompt dismissed
        {"#!/bin/sh\necho '" + authority + "' >&2; exit 127\n", 127, // not authorised
         status + "127 : " + authority + "\n"},
        {"#!/bin/sh\nexit 3\n", 3, status + "3\n", SIG_DFL, SA_NOCLDWAIT},    // volume refused
        {"#!/bin/sh\nsleep 0.2\nprintf 'a\\033[2Jb\\n\\nc' >&2; exit 1\n", 1, // pkexec failed
         status + "1 : a\u241B[2Jb\n" + status + "1 : c\n"},
        {"#!/bin/sh\nsleep 0.2\nkill -KILL $$\n", 128 + 9, ""}, // killed
        {"", 127, "kavelin: pkexec: impossible de lancer @ : No such file or directory\n"},
    };
    struct sigaction saved {};
    sigaction(SIGCHLD, nullptr, &saved);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pkexec);
        Stage stage(row.pkexec);
        struct sigaction inherited {};
        inherited.sa_handler = row.childExits;
        inherited.sa_flags = row.flags;
        sigaction(SIGCHLD, &inherited, nullptr);
        int hooked = 0;
        auto hook = [&](int) { ++hooked; };
        ::testing::internal::CaptureStderr();
        auto execution = PkexecScriptRunner(stage.dir / "pkexec", hook, stage.dir / "kavelin-bless")
                             .execute(administratorScript(blessCommand("/", true)));
        std::string traced = row.traced;
        if (const auto at = traced.find('@'); at != std::string::npos)
            traced.replace(at, 1, stage.dir / "pkexec");
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), tracing ? traced : "");
        sigaction(SIGCHLD, &saved, nullptr);
        ASSERT_TRUE(execution);
        EXPECT_EQ(hooked, row.pkexec.empty() ? 0 : 1);
        EXPECT_EQ(execution->hasResult, !row.number);
        EXPECT_EQ(execution->error,
                  row.number ? std::optional(errorNumber(*row.number)) : std::nullopt);
    }
    // Any other source or command is refused before anything runs; so is a path that is not the
    // root of a mounted volume, with the helper's own refusal.
    Stage stage("recorder");
    for (std::string source :
         {"do shell script \"ls\""s, "tell app \"F\" to " + rootCommand,
          "do shell script \"l\0s\" with administrator privileges"s, administratorScript("ls"),
          administratorScript(blessCommand("/", false) + "; id")})
        EXPECT_EQ(stage.runner().execute(source), std::nullopt) << source;
    for (const char* path : {"/etc", "etc", "/../", "//"}) {
        const auto execution =
            stage.runner().execute(administratorScript(blessCommand(path, false)));
        ASSERT_TRUE(execution) << path;
        EXPECT_EQ(execution->error, errorNumber(helperVolumeChanged)) << path;
    }
    EXPECT_FALSE(fs::exists(stage.dir / "arguments"));
}

// Random paths full of quotes, backslashes and shell syntax, through the quoting of the command
// and of the script and back: the argument vector holds the very path, each time.
TEST(BlessInvocation, RandomHostilePathsComeBackAsTheSameArgumentVector) {
    std::mt19937 random(20261208);
    const std::string hostile = "'\\\"$`;|&<>(){}*?[]~#!= \t\n\r/-";
    int mismatches = 0;
    for (int i = 0; i < 20000; ++i) {
        std::string path;
        for (int length = random() % 24; length > 0; --length)
            path += random() % 2 ? hostile[random() % hostile.size()]
                                 : static_cast<char>(1 + random() % 255);
        const BlessRequest request{path, random() % 2 == 1};
        const auto command = decodeAdministratorScript(
            administratorScript(blessCommand(request.path, request.nextOnly)));
        const auto decoded = command ? decodeBlessCommand(*command) : std::nullopt;
        std::vector<std::string> expected{"--mount", path, "--setBoot"};
        if (request.nextOnly)
            expected.push_back("--nextonly");
        const MountIdentity identity{makedev(random() % 4096, random()), random(),
                                     random() % 2 ? std::optional(path) : std::nullopt};
        const auto helper = parseHelperArguments(helperArguments(identity, request));
        const bool helperBack =
            path.starts_with('/') == helper.has_value() &&
            (!helper || (helper->request == request && helper->approved.device == identity.device &&
                         helper->approved.mountId == identity.mountId));
        if (!decoded || blessArguments(*decoded) != expected || !helperBack)
            ++mismatches;
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(BlessInvocation, RefusesEveryOtherForm) {
    const std::string bless = "/usr/sbin/bless --mount ";
    // clang-format off
    for (std::string command : {bless + "'/' --setBoot", bless + "\"/\" --setBoot </dev/null",
             bless + "'/' --nextonly --setBoot </dev/null", bless + " '/' --setBoot </dev/null",
             bless + "'/'x --setBoot </dev/null", bless + "'/'\\' --setBoot </dev/null",
             bless + "'/a\0b' --setBoot </dev/null"s, bless + "'/ --setBoot </dev/null",
             "bless --mount '/' --setBoot </dev/null"s, bless + "'/' --setBoot </dev/null ", ""s})
        EXPECT_EQ(decodeBlessCommand(command), std::nullopt) << command;
    const std::vector<std::string> good{"--device", "8:1", "--mount-id", "42", "--uuid", "",
                                        "--mount", "/Volumes/A", "--setBoot"};
    ASSERT_TRUE(parseHelperArguments(good));
    const std::pair<std::size_t, std::string> changes[] = {{1, "8"}, {1, "8:1x"}, {1, "-8:1"},
        {1, ":1"}, {3, "+42"}, {3, "4 2"}, {3, "99999999999999999999"}, {7, "Volumes/A"},
        {8, "--setboot"}, {0, "--dev"}};
    // clang-format on
    for (const auto& [at, value] : changes) {
        auto changed = good;
        changed[at] = value;
        EXPECT_EQ(parseHelperArguments(changed), std::nullopt) << at << " " << value;
    }
    auto twice = good;
    twice.insert(twice.end(), {"--nextonly", "--nextonly"});
    EXPECT_EQ(parseHelperArguments(twice), std::nullopt);
}

} // namespace
} // namespace kavelin::platform
