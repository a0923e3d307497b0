#include <gtest/gtest.h>

#include "startup/privileged.h"

namespace kavelin {
namespace {

using platform::ScriptExecution;

TEST(Privileged, BuildsTheCommandAndTheScriptCharacterForCharacter) {
    struct Example {
        std::string path;
        bool nextOnly;
        std::string command, script;
    };
    const Example examples[] = {
        {"/Volumes/O'Brien", true,
         R"(/usr/sbin/bless --mount '/Volumes/O'\''Brien' --setBoot --nextonly </dev/null)",
         R"(do shell script "/usr/sbin/bless --mount '/Volumes/O'\\''Brien' --setBoot --nextonly </dev/null" with administrator privileges)"},
        // Backslashes are escaped before double quotes, not after.
        {R"(/Volumes/a\"b)", false,
         R"(/usr/sbin/bless --mount '/Volumes/a\"b' --setBoot </dev/null)",
         R"(do shell script "/usr/sbin/bless --mount '/Volumes/a\\\"b' --setBoot </dev/null" with administrator privileges)"},
    };
    for (const auto& example : examples) {
        SCOPED_TRACE(example.path);
        const auto command = blessCommand(example.path, example.nextOnly);
        EXPECT_EQ(command, example.command);
        EXPECT_EQ(administratorScript(command), example.script);
    }
}

TEST(Privileged, ClassifiesEveryKindOfExecution) {
    using enum PrivilegedResult;
    // An execution with a result or not, and an error dictionary holding this number.
    const auto withError = [](bool hasResult, platform::ScriptErrorValue number) {
        return ScriptExecution{
            hasResult, platform::ScriptErrorDictionary{{"NSAppleScriptErrorMessage", "message"},
                                                       {platform::appleScriptErrorNumber, number}}};
    };
    struct Row {
        const char* story;
        std::optional<ScriptExecution> execution;
        PrivilegedResult expected;
    };
    const Row rows[] = {
        {"no script created", std::nullopt, failed},
        {"a result, no error", ScriptExecution{true, std::nullopt}, succeeded},
        {"neither result nor error", ScriptExecution{false, std::nullopt}, failed},
        {"prompt cancelled", withError(false, std::int64_t{-128}), cancelled},
        {"another number, with a result", withError(true, std::int64_t{-60005}), failed},
        {"128, not -128", withError(false, std::int64_t{128}), failed},
        {"number as text", withError(false, "-128"), failed},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.story);
        EXPECT_EQ(classifyExecution(row.execution), row.expected);
    }
}

} // namespace
} // namespace kavelin
