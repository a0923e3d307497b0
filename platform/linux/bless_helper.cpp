// The root side of the privileged run, the one program that pkexec starts: it blesses the volume
// mounted at the path only while that path is still the root of the very file system the user
// approved (device, mount and UUID, read again as root after the authorisation), then becomes
// bless itself. No shell, no search of PATH, nothing read but its argument vector; standard input
// on /dev/null. Exit status: bless's own, or 2 (arguments of another form), 3 (not the approved
// volume), 127 (bless could not be started).
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/linux/bless_invocation.h"
#include "texts/visible_text.h"

namespace {

using namespace kavelin::platform;

// The tests build the helper with a stand-in.
#ifdef KAVELIN_BLESS_PATH
constexpr const char* blessPath = KAVELIN_BLESS_PATH;
#else
constexpr const char* blessPath = blessProgram;
#endif

void say(const std::string& message) {
    const std::string line = "kavelin-bless\u00A0: " + kavelin::visibleText(message) + "\n";
    [[maybe_unused]] auto written = write(STDERR_FILENO, line.data(), line.size());
}

// Descriptors 0 to 2 exist, standard input reads nothing: what bless opens next cannot take
// their place.
void settleStandardStreams() {
    const int null = open("/dev/null", O_RDWR);
    if (null < 0)
        std::_Exit(helperUsageError);
    for (int descriptor : {STDOUT_FILENO, STDERR_FILENO})
        if (fcntl(descriptor, F_GETFD) < 0)
            dup2(null, descriptor);
    dup2(null, STDIN_FILENO);
    if (null > STDERR_FILENO)
        close(null);
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (auto& string : strings)
        result.push_back(string.data());
    result.push_back(nullptr);
    return result;
}

} // namespace

int main(int argc, char** argv) {
    settleStandardStreams();
    const auto parsed = parseHelperArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed) {
        say("arguments refusés");
        return helperUsageError;
    }
    const std::string& path = parsed->request.path;
    std::string why;
    const auto now = mountIdentity(path, &why);
    if (!now) {
        say(path + " n’est plus un volume monté (" + why + ")");
        return helperVolumeChanged;
    }
    if (*now != parsed->approved) {
        say("le volume monté sur " + path + " n’est plus celui qui a été approuvé");
        return helperVolumeChanged;
    }

    std::vector<std::string> arguments{blessPath};
    for (auto& argument : blessArguments(parsed->request))
        arguments.push_back(std::move(argument));
    std::vector<std::string> environment{"PATH=/usr/sbin:/usr/bin:/sbin:/bin"};
    for (const char* name : {"LANG", "LANGUAGE", "LC_ALL", "LC_MESSAGES"})
        if (const char* value = std::getenv(name))
            environment.push_back(std::string(name) + "=" + value);
    auto argumentPointers = pointers(arguments);
    auto environmentPointers = pointers(environment);
    execve(blessPath, argumentPointers.data(), environmentPointers.data());
    say(std::string("impossible de lancer ") + blessPath + "\u00A0: " + std::strerror(errno));
    return helperBlessNotStarted;
}
