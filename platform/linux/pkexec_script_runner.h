// Administrator scripts over polkit's pkexec, without a shell: the one bless command that the
// script may hold is read back into its argument vector and runs as
// `pkexec HELPER --device D --mount-id M --uuid U --mount PATH --setBoot [--nextonly]`, where
// HELPER is the root-side program that blesses PATH only if it is still the volume measured here,
// just before the prompt. Supported: the one script form of apple_script_literal.h holding the
// one command form of bless_invocation.h. Not supported: other AppleScript or commands, the
// script's result value (the command's output is discarded), telling a dismissed prompt from a
// command that itself exits with 126.
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

// The root-side helper of this installation: <prefix>/<libexecdir>/kavelin/kavelin-bless beside
// the program's tree, else kavelin-bless beside the program (the build folder), as a path without
// links (polkit matches the path pkexec is given); else the installed path.
std::string blessHelperPath();

class PkexecScriptRunner : public ScriptRunner {
public:
    static constexpr const char* systemPkexec = "/usr/bin/pkexec";

    // The paths of pkexec and of the helper can be swapped for stand-ins; nothing else about the
    // command can. While the command runs, the runner waits for its end through waitReadable,
    // which an application replaces with one that keeps its event loop turning (the call still
    // returns only once the command has ended).
    explicit PkexecScriptRunner(std::string pkexecPath = systemPkexec,
                                ReadableWait waitReadable = pollUntilReadable,
                                std::string helperPath = blessHelperPath());

    // nullopt for a source or a command of another form, before anything runs. The error number
    // 3 when the path is not the root of a mounted volume, before anything runs too. Otherwise
    // blocks until the command ends: exit 0 gives a result; pkexec's 126 (prompt dismissed) the
    // error number -128; any other exit status that number (the helper's 3: the volume changed
    // during the prompt); a death by signal 128 + the signal; a program that could not be
    // started 127.
    std::optional<ScriptExecution> execute(const std::string& source) override;

private:
    std::string pkexecPath;
    ReadableWait waitReadable;
    std::string helperPath;
};

} // namespace kavelin::platform
