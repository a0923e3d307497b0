// Runs administrator scripts through pkexec (posix_spawn, an argument vector, no shell anywhere).
// Does not support: a time-out (the prompt waits for the user), capturing output (the error
// stream is read back for the trace only).
#include "platform/linux/pkexec_script_runner.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <poll.h>
#include <signal.h>
#include <string_view>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "platform/linux/apple_script_literal.h"
#include "platform/linux/bless_invocation.h"
#include "platform/linux/posix_io.h"
#include "platform/trace.h"
#include "texts/visible_text.h"

namespace kavelin::platform {

namespace {

// pkexec's answer when the authentication dialog was dismissed or could not be shown.
constexpr int pkexecDismissed = 126;
constexpr int userCancelled = -128;
constexpr int couldNotStart = 127;

// A locale name as the C library knows them ("fr_FR.UTF-8", "sr_RS@latin", "C"): letters,
// digits and "_.@-", starting with a letter or digit, no longer than any real one. Anything
// else (a path, a line break, shell syntax) stays away from the root shell.
bool isLocaleName(std::string_view name) {
    constexpr std::size_t longestName = 64;
    const auto allowed = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_' || c == '.' || c == '@' || c == '-';
    };
    return !name.empty() && name.size() <= longestName &&
           std::isalnum(static_cast<unsigned char>(name[0])) &&
           std::all_of(name.begin(), name.end(), allowed);
}

// LANGUAGE is a colon-separated list of locale names, in order of preference.
bool isLocaleList(std::string_view list) {
    constexpr std::size_t longestList = 256;
    if (list.size() > longestList)
        return false;
    for (;;) {
        const auto colon = list.find(':');
        if (!isLocaleName(list.substr(0, colon)))
            return false;
        if (colon == std::string_view::npos)
            return true;
        list.remove_prefix(colon + 1);
    }
}

// The child's whole environment. A fixed PATH of system directories, and the locale so that
// pkexec speaks the user's language. Nothing else: the authentication agent is a process of
// the user's session that polkitd finds through the caller's login session, not through its
// environment, so DISPLAY, XAUTHORITY, WAYLAND_DISPLAY and the session bus address are of no
// use to pkexec, and the root shell has no business with them. Keeping variables such as ENV,
// BASH_ENV or IFS out also protects a stand-in or misconfigured pkexec that does not clean
// the environment itself.
std::vector<std::string> minimalEnvironment() {
    std::vector<std::string> environment{"PATH=/usr/sbin:/usr/bin:/sbin:/bin"};
    for (const char* name : {"LANG", "LANGUAGE", "LC_ALL", "LC_MESSAGES"}) {
        const char* value = std::getenv(name);
        const bool isList = std::string_view(name) == "LANGUAGE";
        if (value && (isList ? isLocaleList(value) : isLocaleName(value)))
            environment.push_back(std::string(name) + "=" + value);
    }
    return environment;
}

ScriptExecution errorNumbered(std::int64_t number) {
    return ScriptExecution{false, ScriptErrorDictionary{{appleScriptErrorNumber, number}}};
}

// Waits for the child's end, through waitReadable on a process descriptor where the kernel
// offers one (Linux 5.3 and later); the wait status, or nullopt.
std::optional<int> waitThrough(const ReadableWait& waitReadable, pid_t child) {
#ifdef SYS_pidfd_open
    if (UniqueFd process(static_cast<int>(syscall(SYS_pidfd_open, child, 0))); process)
        waitReadable(process.get());
#endif
    return waitForExit(child);
}

// NOTE: a SIGCHLD inherited as ignored (or with SA_NOCLDWAIT) makes the kernel reap children by
// itself: waitpid then fails with ECHILD and a granted, successful run would read as a failure.
void takeBackChildExits() {
    struct sigaction current {};
    if (sigaction(SIGCHLD, nullptr, &current) != 0)
        return;
    const bool ignored = !(current.sa_flags & SA_SIGINFO) && current.sa_handler == SIG_IGN;
    if (!ignored && !(current.sa_flags & SA_NOCLDWAIT))
        return;
    if (ignored)
        current.sa_handler = SIG_DFL;
    current.sa_flags &= ~SA_NOCLDWAIT;
    sigaction(SIGCHLD, &current, nullptr);
}

// What the child wrote to its error stream, kept for the trace: pkexec says there why it could
// not ask ("Error getting authority: ..."), the helper why it refused.
UniqueFd errorCapture() {
    return traceEnabled() ? UniqueFd(memfd_create("kavelin-pkexec-errors", MFD_CLOEXEC))
                          : UniqueFd();
}

void traceFailure(int exitStatus, const UniqueFd& errors) {
    if (!traceEnabled())
        return;
    const std::string status = "statut " + std::to_string(exitStatus);
    std::string text(4096, '\0');
    const ssize_t length = errors ? pread(errors.get(), text.data(), text.size(), 0) : -1;
    text.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    bool traced = false;
    for (std::size_t start = 0; start < text.size();) {
        const auto end = std::min(text.find('\n', start), text.size());
        if (end > start) {
            trace("pkexec", status + " : " + visibleText(text.substr(start, end - start)));
            traced = true;
        }
        start = end + 1;
    }
    if (!traced)
        trace("pkexec", status);
}

} // namespace

std::string blessHelperPath() {
    namespace fs = std::filesystem;
    const auto directory = programPath().parent_path();
    if (!directory.empty()) {
        for (const auto& candidate :
             {directory / ".." / KAVELIN_INSTALL_LIBEXECDIR / "kavelin" / "kavelin-bless",
              directory / "kavelin-bless"}) {
            std::error_code error;
            auto canonical = fs::canonical(candidate, error);
            if (!error && fs::is_regular_file(canonical, error))
                return canonical;
        }
    }
    return KAVELIN_INSTALLED_BLESS_HELPER;
}

void pollUntilReadable(int descriptor) {
    pollfd entry{descriptor, POLLIN, 0};
    while (poll(&entry, 1, -1) < 0 && errno == EINTR) {
    }
}

PkexecScriptRunner::PkexecScriptRunner(std::string pkexecPath, ReadableWait waitReadable,
                                       std::string helperPath)
    : pkexecPath(std::move(pkexecPath)), waitReadable(std::move(waitReadable)),
      helperPath(std::move(helperPath)) {}

std::optional<ScriptExecution> PkexecScriptRunner::execute(const std::string& source) {
    const auto command = decodeAdministratorScript(source);
    const auto request = command ? decodeBlessCommand(*command) : std::nullopt;
    if (!request)
        return std::nullopt;
    // The volume as it is now, just after the flow checked it again and before the prompt: the
    // helper, as root, blesses nothing else.
    std::string why;
    const auto approved = mountIdentity(request->path, &why);
    if (!approved) {
        trace("pkexec", visibleText(request->path + " refusé : " + why));
        return errorNumbered(helperVolumeChanged);
    }
    takeBackChildExits();

    std::vector<std::string> arguments{pkexecPath, helperPath};
    for (auto& argument : helperArguments(*approved, *request))
        arguments.push_back(std::move(argument));
    // The application's working directory may be a removable disk, or gone; the helper starts
    // at the root of the file system instead.
    UniqueFd errors = errorCapture();
    const pid_t child =
        spawnProcess(arguments, {minimalEnvironment(), "/", false, errors ? errors.get() : -1});
    if (child < 0) {
        trace("pkexec", "impossible de lancer " + pkexecPath + " : " + std::strerror(errno));
        return errorNumbered(couldNotStart);
    }
    const auto status = waitThrough(waitReadable, child);
    if (!status)
        return errorNumbered(couldNotStart);
    if (WIFSIGNALED(*status))
        return errorNumbered(128 + WTERMSIG(*status));
    if (!WIFEXITED(*status))
        return errorNumbered(couldNotStart);
    const int exitStatus = WEXITSTATUS(*status);
    if (exitStatus == 0)
        return ScriptExecution{true, std::nullopt};
    traceFailure(exitStatus, errors);
    return errorNumbered(exitStatus == pkexecDismissed ? userCancelled : exitStatus);
}

} // namespace kavelin::platform
