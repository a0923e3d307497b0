#include <cstdio>

#include "app/command_line.h"
#include "platform/application_mode.h"

int main(int argc, char** argv) {
    if (kavelin::selectsListing(argc, argv)) {
        std::string listing = kavelin::listingText(kavelin::StartupVolume::mounted());
        std::fwrite(listing.data(), 1, listing.size(), stdout);
        std::fflush(stdout);
        return 0;
    }
    return kavelin::platform::startApplication(argc, argv);
}
