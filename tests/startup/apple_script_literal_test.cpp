#include <gtest/gtest.h>

#include "platform/linux/apple_script_literal.h"
#include "startup/privileged.h"
#include "test_support.h"

namespace kavelin::platform {
namespace {

using namespace std::string_literals;

TEST(AppleScriptLiteral, DecodesOnlyTheAdministratorForm) {
    struct Row {
        std::string source;
        std::optional<std::string> command;
    };
    const std::string suffix = "\" with administrator privileges";
    const Row rows[] = {
        {"do shell script \"ls\"" + suffix.substr(1), "ls"},
        {"do shell script \"\"" + suffix.substr(1), ""},
        {R"(do shell script "a\\b\"c\\\"d" with administrator privileges)", R"(a\b"c\"d)"},
        {"do shell script \"\n\t\xC3\xA9 $x `y`\"" + suffix.substr(1), "\n\t\xC3\xA9 $x `y`"},
        // The literal ends at its first bare double quote, so text that merely looks like the
        // end inside an escaped quote stays in the command.
        {R"(do shell script "x\" with administrator privileges" with administrator privileges)",
         R"(x" with administrator privileges)"},
        // Refused: every other text.
        {"", std::nullopt},
        {"do shell script \"ls\"", std::nullopt},
        {"do shell script \"ls\" with administrator privileges ", std::nullopt},
        {"do shell script \"ls\" with administrator privileges\n", std::nullopt},
        {"do shell script \"ls\" with administrator privileges; beep", std::nullopt},
        {" do shell script \"ls\" with administrator privileges", std::nullopt},
        {"Do shell script \"ls\" with administrator privileges", std::nullopt},
        {"do shell script \"ls\" with administrator privileges and password \"x\"", std::nullopt},
        {"display dialog \"ls\" with administrator privileges", std::nullopt},
        {"do shell script \"l\"s\" with administrator privileges", std::nullopt},
        {R"(do shell script "l\ns" with administrator privileges)", std::nullopt},
        {R"(do shell script "l\ts" with administrator privileges)", std::nullopt},
        {R"(do shell script "l\'s" with administrator privileges)", std::nullopt},
        {"do shell script \"ls\\", std::nullopt},
        {"do shell script \"ls", std::nullopt},
        {"do shell script \"l\0s\" with administrator privileges"s, std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.source);
        EXPECT_EQ(decodeAdministratorScript(row.source), row.command);
    }
}

// The decoder is the exact inverse of the escaping, for any path the volume may carry.
TEST(AppleScriptLiteral, GivesBackTheCommandOfAnyPath) {
    constexpr int pathCount = 20000;
    testing::HostilePaths paths(20261206);
    int mismatches = 0;
    for (int i = 0; i < pathCount; ++i) {
        const std::string path = paths.next();
        const std::string command = blessCommand(path, i % 2 == 1);
        const auto decoded = decodeAdministratorScript(administratorScript(command));
        if (decoded != command) {
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
