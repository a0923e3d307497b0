#include "platform/macos/portable/entry_guard.h"

#include <exception>
#include <string>

#include "platform/trace.h"

namespace kavelin::platform {

namespace {

void traceInterruption(std::string_view entryPoint, std::string_view what) noexcept {
    try {
        trace("application", std::string(entryPoint) + " interrompu : " + std::string(what));
    } catch (...) {
        // Out of memory for the very line: the call still ends quietly.
    }
}

} // namespace

bool runGuarded(std::string_view entryPoint, const std::function<void()>& call) noexcept {
    try {
        call();
        return true;
    } catch (const std::exception& error) {
        traceInterruption(entryPoint, error.what());
    } catch (...) {
        traceInterruption(entryPoint, "exception inconnue");
    }
    return false;
}

} // namespace kavelin::platform
