#include "platform/trace.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace kavelin::platform {

bool traceEnabled() {
    static const bool enabled = [] {
        const char* value = std::getenv("KAVELIN_TRACE");
        return value && std::string_view(value) == "1";
    }();
    return enabled;
}

void trace(std::string_view area, std::string_view message) {
    if (!traceEnabled())
        return;
    // One write per line, so that lines from probe threads do not interleave.
    std::string line = "kavelin: ";
    line.append(area).append(": ").append(message).append("\n");
    std::fwrite(line.data(), 1, line.size(), stderr);
}

} // namespace kavelin::platform
