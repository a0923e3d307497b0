// Application mode on Linux: loads the Qt menu-bar module and hands over to it. The module is
// looked for beside the program (the build folder) and then in <prefix>/<libdir>/kavelin (the
// installed layout). Not supported: a module anywhere else, or one of another build.
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/application_mode.h"
#include "platform/linux/posix_io.h"
#include "platform/trace.h"
#include "texts/texts.h"

namespace kavelin::platform {

namespace {

using ModuleEntry = int (*)(int, char**);
constexpr const char* moduleEntry = "kavelin_qt_start";

std::vector<std::filesystem::path> moduleCandidates() {
    auto directory = programPath().parent_path();
    if (directory.empty())
        return {};
    return {directory / KAVELIN_QT_MODULE_NAME,
            directory / ".." / KAVELIN_INSTALL_LIBDIR / "kavelin" / KAVELIN_QT_MODULE_NAME};
}

} // namespace

int startApplication(int argc, char** argv) {
    for (const auto& candidate : moduleCandidates()) {
        if (access(candidate.c_str(), R_OK) != 0) {
            trace("module", candidate.string() + " : " + std::strerror(errno));
            continue;
        }
        // The module stays loaded until the process ends: its objects live as long as the loop.
        void* module = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        auto entry = module ? reinterpret_cast<ModuleEntry>(dlsym(module, moduleEntry)) : nullptr;
        if (!entry) {
            const char* reason = dlerror();
            std::fputs(texts::menuModuleUnloadable(candidate, reason ? reason : "").c_str(),
                       stderr);
            return 1;
        }
        return entry(argc, argv);
    }
    std::fputs(texts::menuModuleMissing(KAVELIN_QT_MODULE_NAME).c_str(), stderr);
    return 1;
}

} // namespace kavelin::platform
