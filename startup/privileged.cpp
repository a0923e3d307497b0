#include "startup/privileged.h"

#include <cstdint>
#include <string_view>
#include <variant>

namespace kavelin {

std::string shellQuoted(const std::string& path) {
    std::string quoted;
    quoted.reserve(path.size() + 2);
    quoted += '\'';
    for (char c : path) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    quoted += '\'';
    return quoted;
}

std::string blessCommand(const std::string& path, bool nextOnly) {
    std::string command = "/usr/sbin/bless --mount ";
    command += shellQuoted(path);
    command += nextOnly ? " --setBoot --nextonly" : " --setBoot";
    command += " </dev/null";
    return command;
}

namespace {

// Every occurrence of one character replaced by a text; the rest unchanged.
std::string replacingAll(const std::string& text, char character, std::string_view replacement) {
    std::string replaced;
    replaced.reserve(text.size());
    for (char c : text) {
        if (c == character)
            replaced += replacement;
        else
            replaced += c;
    }
    return replaced;
}

} // namespace

std::string administratorScript(const std::string& command) {
    // Two passes, backslashes first: the backslashes that the second pass adds in front of
    // double quotes must not be doubled.
    const std::string escaped = replacingAll(replacingAll(command, '\\', "\\\\"), '"', "\\\"");
    return "do shell script \"" + escaped + "\" with administrator privileges";
}

PrivilegedResult classifyExecution(const std::optional<platform::ScriptExecution>& execution) {
    if (!execution)
        return PrivilegedResult::failed;
    // An error dictionary decides on its own, whether or not a result came with it.
    if (execution->error) {
        const auto entry = execution->error->find(platform::appleScriptErrorNumber);
        if (entry == execution->error->end())
            return PrivilegedResult::failed;
        const auto* number = std::get_if<std::int64_t>(&entry->second);
        return number && *number == -128 ? PrivilegedResult::cancelled : PrivilegedResult::failed;
    }
    return execution->hasResult ? PrivilegedResult::succeeded : PrivilegedResult::failed;
}

PrivilegedResult runWithAdministratorPrivileges(const std::string& source,
                                                platform::ScriptRunner& runner) {
    return classifyExecution(runner.execute(source));
}

bool requestRestart(platform::RestartRequester& requester) {
    return requester.requestRestart();
}

} // namespace kavelin
