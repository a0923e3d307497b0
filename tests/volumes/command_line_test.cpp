#include <gtest/gtest.h>

#include "app/command_line.h"

namespace kavelin {
namespace {

TEST(CommandLine, OnlyTheExactOptionSelectsTheListing) {
    struct Case {
        std::vector<const char*> argv;
        bool listing;
    } cases[] = {
        {{"kavelin", "--list-volumes"}, true},
        {{"kavelin", "-psn_0_1", "extra", "--list-volumes"}, true},
        {{"kavelin", "--list-volumes", "--list-volumes"}, true},
        {{"--list-volumes"}, true}, // the program's own path counts too
        {{"kavelin"}, false},
        {{"kavelin", "--list-volumes=yes"}, false},
        {{"kavelin", "-list-volumes"}, false},
        {{"kavelin", "--LIST-VOLUMES"}, false},
        {{"kavelin", "--list-volume"}, false},
        {{"kavelin", "--list-volumes "}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(selectsListing(static_cast<int>(c.argv.size()), c.argv.data()), c.listing)
            << c.argv.back();
    }
}

TEST(CommandLine, ListsOneTitlePerLineAndNothingForNoVolume) {
    EXPECT_EQ(listingText({}), "");
    std::vector<StartupVolume> volumes{
        {platform::FileURL{"/"}, "Macintosh HD", "", "U", true},
        {platform::FileURL{"/Volumes/B"}, "B", "13.6", std::nullopt, false},
    };
    EXPECT_EQ(listingText(volumes),
              "Macintosh HD  \u2014  macOS  (en cours)\nB  \u2014  macOS 13.6\n");
}

} // namespace
} // namespace kavelin
