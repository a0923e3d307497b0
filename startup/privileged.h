#pragma once

#include <optional>
#include <string>

#include "platform/restart_requester.h"
#include "platform/script_runner.h"

namespace kavelin {

enum class PrivilegedResult { succeeded, cancelled, failed };

// The path as one single-quoted shell word.
std::string shellQuoted(const std::string& path);

// "/usr/sbin/bless --mount 'PATH' --setBoot[ --nextonly] </dev/null"
std::string blessCommand(const std::string& path, bool nextOnly);

// `do shell script "COMMAND" with administrator privileges`, COMMAND escaped as a string literal.
std::string administratorScript(const std::string& command);

// The outcome of one script execution; nullopt stands for a script that could not be created.
PrivilegedResult classifyExecution(const std::optional<platform::ScriptExecution>& execution);

// Runs the script with administrator privileges; blocks until the prompt is answered and the
// command has ended.
PrivilegedResult runWithAdministratorPrivileges(const std::string& source,
                                                platform::ScriptRunner& runner);

// Asks the session to restart; true when it answered within five seconds.
bool requestRestart(platform::RestartRequester& requester);

} // namespace kavelin
