#include "app/command_line.h"

#include <algorithm>

#include "texts/visible_text.h"

namespace kavelin {

// The option is ASCII, and no other string is canonically equivalent to it, so a byte
// comparison is the whole match: no prefix, no "=value", no case folding.
bool selectsListing(int argc, const char* const* argv) {
    return std::any_of(argv, argv + argc, [](const char* argument) {
        return argument && argument == listVolumesOption;
    });
}

std::string listingText(const std::vector<StartupVolume>& volumes) {
    std::string text;
    for (const auto& volume : volumes)
        text.append(visibleText(volume.menuTitle())).push_back('\n');
    return text;
}

} // namespace kavelin
