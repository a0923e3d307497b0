#include "platform/macos/portable/script_numbers.h"

#include <cstdint>
#include <limits>

namespace kavelin::platform {

ScriptErrorValue scriptErrorValue(char objCType, long long asSigned, unsigned long long asUnsigned,
                                  double asDouble) {
    switch (objCType) {
    case 'c':
    case 's':
    case 'i':
    case 'l':
    case 'q':
    case 'C':
    case 'S':
    case 'I':
        return static_cast<std::int64_t>(asSigned);
    case 'L': // 64 bits wide, as on every macOS this runs on
    case 'Q':
        if (asUnsigned <= static_cast<unsigned long long>(std::numeric_limits<std::int64_t>::max()))
            return static_cast<std::int64_t>(asUnsigned);
        break;
    default:
        break;
    }
    return asDouble;
}

} // namespace kavelin::platform
