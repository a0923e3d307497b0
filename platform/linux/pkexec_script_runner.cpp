// Runs administrator scripts through pkexec (posix_spawn, an argument vector, no shell around
// pkexec). Does not support: a time-out (the prompt waits for the user), capturing output.
#include "platform/linux/pkexec_script_runner.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string_view>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "platform/linux/apple_script_literal.h"

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

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    result.reserve(strings.size() + 1);
    for (auto& string : strings)
        result.push_back(string.data());
    result.push_back(nullptr);
    return result;
}

ScriptExecution errorNumbered(std::int64_t number) {
    return ScriptExecution{false, ScriptErrorDictionary{{appleScriptErrorNumber, number}}};
}

// Waits for the child's end, through waitReadable on a process descriptor where the kernel
// offers one (Linux 5.3 and later); the wait status, or nullopt.
std::optional<int> waitForExit(pid_t child, const ReadableWait& waitReadable) {
#ifdef SYS_pidfd_open
    const int process = static_cast<int>(syscall(SYS_pidfd_open, child, 0));
    if (process >= 0) {
        waitReadable(process);
        close(process);
    }
#endif
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return std::nullopt;
    }
    return status;
}

// Spawns the argument vector with stdin, stdout and stderr on /dev/null, no other descriptor,
// default signal dispositions and an empty signal mask; the wait status, or nullopt.
std::optional<int> spawnAndWait(std::vector<std::string> arguments,
                                std::vector<std::string> environment,
                                const ReadableWait& waitReadable) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    if (posix_spawn_file_actions_init(&actions) != 0)
        return std::nullopt;
    if (posix_spawnattr_init(&attributes) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return std::nullopt;
    }
    // The application's working directory may be a removable disk, or gone; the root shell
    // starts at the root of the file system instead.
    bool prepared = posix_spawn_file_actions_addchdir_np(&actions, "/") == 0;
    for (int descriptor : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        const int flags = descriptor == STDIN_FILENO ? O_RDONLY : O_WRONLY;
        prepared = prepared && posix_spawn_file_actions_addopen(&actions, descriptor, "/dev/null",
                                                                flags, 0) == 0;
    }
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // The application's own descriptors (display connection, sockets) stay out of a root shell.
    prepared = prepared && posix_spawn_file_actions_addclosefrom_np(&actions, 3) == 0;
#endif
    sigset_t noSignals;
    sigset_t allSignals;
    sigemptyset(&noSignals);
    sigfillset(&allSignals);
    prepared =
        prepared && posix_spawnattr_setsigmask(&attributes, &noSignals) == 0 &&
        posix_spawnattr_setsigdefault(&attributes, &allSignals) == 0 &&
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;

    pid_t child = -1;
    int spawned = -1;
    if (prepared) {
        auto argv = pointers(arguments);
        auto envp = pointers(environment);
        spawned = posix_spawn(&child, argv[0], &actions, &attributes, argv.data(), envp.data());
    }
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return std::nullopt;
    return waitForExit(child, waitReadable);
}

} // namespace

void pollUntilReadable(int descriptor) {
    pollfd entry{descriptor, POLLIN, 0};
    while (poll(&entry, 1, -1) < 0 && errno == EINTR) {
    }
}

PkexecScriptRunner::PkexecScriptRunner(std::string pkexecPath, ReadableWait waitReadable)
    : pkexecPath(std::move(pkexecPath)), waitReadable(std::move(waitReadable)) {}

std::optional<ScriptExecution> PkexecScriptRunner::execute(const std::string& source) {
    auto command = decodeAdministratorScript(source);
    if (!command)
        return std::nullopt;

    const auto status = spawnAndWait({pkexecPath, "/bin/sh", "-c", std::move(*command)},
                                     minimalEnvironment(), waitReadable);
    if (!status)
        return errorNumbered(couldNotStart);
    if (WIFSIGNALED(*status))
        return errorNumbered(128 + WTERMSIG(*status));
    if (!WIFEXITED(*status))
        return errorNumbered(couldNotStart);
    switch (const int exitStatus = WEXITSTATUS(*status)) {
    case 0:
        return ScriptExecution{true, std::nullopt};
    case pkexecDismissed:
        return errorNumbered(userCancelled);
    default:
        return errorNumbered(exitStatus);
    }
}

} // namespace kavelin::platform
