#include "startup/privileged.h"

#include <cstdint>
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

std::string administratorScript(const std::string& command) {
    // Two passes, backslashes first: the backslashes that the second pass adds in front of
    // double quotes must not be doubled.
    std::string backslashesDoubled;
    backslashesDoubled.reserve(command.size());
    for (char c : command) {
        if (c == '\\')
            backslashesDoubled += "\\\\";
        else
            backslashesDoubled += c;
    }
    std::string escaped;
    escaped.reserve(backslashesDoubled.size());
    for (char c : backslashesDoubled) {
        if (c == '"')
            escaped += "\\\"";
        else
            escaped += c;
    }
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
