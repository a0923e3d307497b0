#include <cstdio>

#include "app/command_line.h"
#include "platform/application_mode.h"
#include "platform/native_services.h"

int main(int argc, char** argv) {
    using namespace kavelin;
    if (selectsListing(argc, argv)) {
        std::string listing = listingText(
            StartupVolume::mounted(platform::nativeVolumeSource(), platform::nativeTextService()));
        std::fwrite(listing.data(), 1, listing.size(), stdout);
        std::fflush(stdout);
        return 0;
    }
    return platform::startApplication(argc, argv);
}
