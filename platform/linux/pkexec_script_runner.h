// Administrator scripts over polkit's pkexec: the decoded shell command runs as
// `pkexec /bin/sh -c COMMAND`. Supported: the one script form of apple_script_literal.h. Not
// supported: other AppleScript, the script's result value (the command's output is discarded),
// telling a dismissed prompt from a command that itself exits with 126.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/script_runner.h"

namespace kavelin::platform {

// Returns once the descriptor is readable, or earlier; the runner then waits for the rest itself.
using ReadableWait = std::function<void(int descriptor)>;

// Blocks the thread in poll(2) until the descriptor is readable.
void pollUntilReadable(int descriptor);

class PkexecScriptRunner : public ScriptRunner {
public:
    static constexpr const char* systemPkexec = "/usr/bin/pkexec";

    // The path of pkexec can be swapped for a stand-in; nothing else about the command can. While
    // the command runs, the runner waits for its end through waitReadable, which an application
    // replaces with one that keeps its event loop turning (the call still returns only once the
    // command has ended).
    explicit PkexecScriptRunner(std::string pkexecPath = systemPkexec,
                                ReadableWait waitReadable = pollUntilReadable);

    // nullopt for a source of another form, before anything runs. Otherwise blocks until the
    // command ends: exit 0 gives a result; pkexec's 126 (prompt dismissed) the error number
    // -128; any other exit status that number; a death by signal 128 + the signal; a program
    // that could not be started 127.
    std::optional<ScriptExecution> execute(const std::string& source) override;

private:
    std::string pkexecPath;
    ReadableWait waitReadable;
};

} // namespace kavelin::platform
