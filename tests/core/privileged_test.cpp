#include <gtest/gtest.h>

#include "startup/privileged.h"

namespace kavelin {
namespace {

using platform::ScriptExecution;

TEST(Privileged, BuildsTheCommandAndTheScriptCharacterForCharacter) {
    const std::tuple<std::string, bool, std::string, std::string> examples[] = {
        {"/Volumes/O'Brien", true,
         R"(/usr/sbin/bless --mount '/Volumes/O'\''Brien' --setBoot --nextonly </dev/null)",
         R"(do shell script "/usr/sbin/bless --mount '/Volumes/O'\\''Brien' --setBoot --nextonly </dev/null" with administrator privileges)"},
        // Backslashes are escaped before double quotes, not after.
        {R"(/Volumes/a\"b)", false,
         R"(/usr/sbin/bless --mount '/Volumes/a\"b' --setBoot </dev/null)",
         R"(do shell script "/usr/sbin/bless --mount '/Volumes/a\\\"b' --setBoot </dev/null" with administrator privileges)"},
    };
    for (const auto& [path, nextOnly, command, script] : examples) {
        const auto built = blessCommand(path, nextOnly);
        EXPECT_EQ(built, command);
        EXPECT_EQ(administratorScript(built), script);
    }
}

TEST(Privileged, ClassifiesEveryKindOfExecution) {
    using enum PrivilegedResult;
    // An execution with a result or not, and an error dictionary holding this number.
    const auto withError = [](bool hasResult, platform::ScriptErrorValue number) {
        return ScriptExecution{hasResult, {{{platform::appleScriptErrorNumber, number}}}};
    };
    const std::pair<std::optional<ScriptExecution>, PrivilegedResult> rows[] = {
        {std::nullopt, failed}, // no script created
        {ScriptExecution{true, std::nullopt}, succeeded},
        {ScriptExecution{false, std::nullopt}, failed},
        {withError(false, std::int64_t{-128}), cancelled},
        {withError(true, std::int64_t{-60005}), failed},
        {withError(false, std::int64_t{128}), failed},
        {withError(false, "-128"), failed}};
    for (std::size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ(classifyExecution(rows[i].first), rows[i].second) << "row " << i;
}

} // namespace
} // namespace kavelin
