#include <gtest/gtest.h>

#include "startup/privileged.h"

namespace kavelin {
namespace {

using platform::ScriptErrorDictionary;
using platform::ScriptExecution;

struct Example {
    std::string path;
    bool nextOnly;
    std::string command;
    std::string script;
};

TEST(Privileged, BuildsTheCommandAndTheScriptCharacterForCharacter) {
    const Example examples[] = {
        {"/Volumes/Data", false, R"(/usr/sbin/bless --mount '/Volumes/Data' --setBoot </dev/null)",
         R"(do shell script "/usr/sbin/bless --mount '/Volumes/Data' --setBoot </dev/null" with administrator privileges)"},
        {"/Volumes/O'Brien", true,
         R"(/usr/sbin/bless --mount '/Volumes/O'\''Brien' --setBoot --nextonly </dev/null)",
         R"(do shell script "/usr/sbin/bless --mount '/Volumes/O'\\''Brien' --setBoot --nextonly </dev/null" with administrator privileges)"},
        {R"(/Volumes/Test "B")", false,
         R"(/usr/sbin/bless --mount '/Volumes/Test "B"' --setBoot </dev/null)",
         R"(do shell script "/usr/sbin/bless --mount '/Volumes/Test \"B\"' --setBoot </dev/null" with administrator privileges)"},
        // A backslash stands in the command and is doubled in the script; a backslash before a
        // double quote shows that the passes run backslashes first.
        {R"(/Volumes/a\"b)", true,
         R"(/usr/sbin/bless --mount '/Volumes/a\"b' --setBoot --nextonly </dev/null)",
         R"(do shell script "/usr/sbin/bless --mount '/Volumes/a\\\"b' --setBoot --nextonly </dev/null" with administrator privileges)"},
        // Everything else passes unchanged: line breaks, tabs, dollars, backticks, non-ASCII.
        {"/Volumes/\n\t$x`é", false,
         "/usr/sbin/bless --mount '/Volumes/\n\t$x`é' --setBoot </dev/null",
         "do shell script \"/usr/sbin/bless --mount '/Volumes/\n\t$x`é' --setBoot </dev/null\" "
         "with administrator privileges"},
        {"", false, "/usr/sbin/bless --mount '' --setBoot </dev/null",
         "do shell script \"/usr/sbin/bless --mount '' --setBoot </dev/null\" with administrator "
         "privileges"},
    };
    for (const auto& example : examples) {
        SCOPED_TRACE(example.path);
        const auto command = blessCommand(example.path, example.nextOnly);
        EXPECT_EQ(command, example.command);
        EXPECT_EQ(administratorScript(command), example.script);
    }
}

TEST(Privileged, QuotesEverySingleQuoteAndNothingElse) {
    EXPECT_EQ(shellQuoted("a b"), "'a b'");
    EXPECT_EQ(shellQuoted("'"), R"(''\''')");
    EXPECT_EQ(shellQuoted("''x"), R"(''\'''\''x')");
    EXPECT_EQ(shellQuoted(R"($HOME "\" `id`)"), R"('$HOME "\" `id`')");
}

// A runner that answers with a fixed execution and remembers what it was given.
class AnsweringRunner : public platform::ScriptRunner {
public:
    explicit AnsweringRunner(std::optional<ScriptExecution> answer) : answer(std::move(answer)) {}
    std::optional<ScriptExecution> execute(const std::string& source) override {
        sources.push_back(source);
        return answer;
    }
    std::optional<ScriptExecution> answer;
    std::vector<std::string> sources;
};

TEST(Privileged, ClassifiesEveryKindOfExecution) {
    const auto errorWith = [](std::optional<platform::ScriptErrorValue> number) {
        ScriptErrorDictionary error{{"NSAppleScriptErrorMessage", std::string("message")}};
        if (number)
            error[platform::appleScriptErrorNumber] = *number;
        return error;
    };
    struct Row {
        const char* story;
        std::optional<ScriptExecution> execution;
        PrivilegedResult expected;
    };
    const Row rows[] = {
        {"no script created", std::nullopt, PrivilegedResult::failed},
        {"a result, no error", ScriptExecution{true, std::nullopt}, PrivilegedResult::succeeded},
        {"neither result nor error", ScriptExecution{false, std::nullopt},
         PrivilegedResult::failed},
        {"prompt cancelled", ScriptExecution{false, errorWith(std::int64_t{-128})},
         PrivilegedResult::cancelled},
        {"cancelled, with a result", ScriptExecution{true, errorWith(std::int64_t{-128})},
         PrivilegedResult::cancelled},
        {"another number", ScriptExecution{false, errorWith(std::int64_t{1})},
         PrivilegedResult::failed},
        {"another number, with a result", ScriptExecution{true, errorWith(std::int64_t{-60005})},
         PrivilegedResult::failed},
        {"128, not -128", ScriptExecution{false, errorWith(std::int64_t{128})},
         PrivilegedResult::failed},
        {"no number", ScriptExecution{false, errorWith(std::nullopt)}, PrivilegedResult::failed},
        {"no number, with a result", ScriptExecution{true, errorWith(std::nullopt)},
         PrivilegedResult::failed},
        {"empty dictionary", ScriptExecution{false, ScriptErrorDictionary{}},
         PrivilegedResult::failed},
        {"number as a real", ScriptExecution{false, errorWith(-128.0)}, PrivilegedResult::failed},
        {"number as text", ScriptExecution{false, errorWith(std::string("-128"))},
         PrivilegedResult::failed},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.story);
        EXPECT_EQ(classifyExecution(row.execution), row.expected);
        AnsweringRunner runner(row.execution);
        EXPECT_EQ(runWithAdministratorPrivileges("the source", runner), row.expected);
        EXPECT_EQ(runner.sources, std::vector<std::string>{"the source"});
    }
}

} // namespace
} // namespace kavelin
