#include <gtest/gtest.h>

#include "app/command_line.h"

namespace kavelin {
namespace {

// The program's own path counts too; only the exact spelling does.
TEST(CommandLine, OnlyTheExactOptionSelectsTheListing) {
    const std::pair<std::vector<const char*>, bool> cases[] = {
        {{"kavelin", "-psn_0_1", "extra", "--list-volumes"}, true},
        {{"--list-volumes"}, true},
        {{"kavelin"}, false},
        {{"kavelin", "--list-volumes=yes"}, false},
        {{"kavelin", "--LIST-VOLUMES"}, false},
        {{"kavelin", "--list-volume"}, false}};
    for (const auto& [argv, listing] : cases)
        EXPECT_EQ(selectsListing(static_cast<int>(argv.size()), argv.data()), listing)
            << argv.back();
}

// Names and versions come from a disk and are shown, not obeyed: one line per volume, valid
// UTF-8, nothing the terminal acts on, and unusual but harmless text kept byte for byte.
TEST(CommandLine, HostileNamesAndVersionsStayOnTheirOwnVisibleLine) {
    using namespace std::string_literals;
    const std::string harmless = "\u00C9t\u00E9 e\u0301 \u00A0\u202F\u00AB\u00A0O\u2019Brien \"x\" "
                                 "\u00BB \U0001F4BE\U0001F469\u200D\U0001F4BB \u2400 \uFFFD \uF8FF";
    const std::tuple<std::string, std::string, std::string> rows[] = {
        {"AB\nInjected", "14.5\nEvil  \u2014  macOS 99.0 (en cours)",
         "AB\u240AInjected  \u2014  macOS 14.5\u240AEvil  \u2014  macOS 99.0 (en cours)"},
        {"\x1b[2J\x1b]0;titre\x07x\ry\tz", "1\x7f",
         "\u241B[2J\u241B]0;titre\u2407x\u240Dy\u2409z  \u2014  macOS 1\u2421"},
        {"C1 \u0080\u009b\u009f", "14.0\0b\x1f"s,
         "C1 <U+0080><U+009B><U+009F>  \u2014  macOS 14.0\u2400b\u241F"},
        {"abc\u202Etxt.exe\u202A\u202B\u202C\u202D", "\u2066\u2067\u2068\u2069\u2028\u2029",
         "abc<U+202E>txt.exe<U+202A><U+202B><U+202C><U+202D>  \u2014  macOS "
         "<U+2066><U+2067><U+2068><U+2069><U+2028><U+2029>"},
        // Latin-1, a cut sequence, an overlong slash, a surrogate, past U+10FFFF, a stray
        // continuation byte: one U+FFFD per maximal ill-formed part.
        {"\xe9t\xe9 \xe2\x80x \xc0\xaf \xed\xa0\x80 \xf4\x90\x80\x80 \xbf", "\xf0\x9f\x92",
         "\uFFFDt\uFFFD \uFFFDx \uFFFD\uFFFD \uFFFD\uFFFD\uFFFD \uFFFD\uFFFD\uFFFD\uFFFD \uFFFD  "
         "\u2014  macOS \uFFFD"},
        {harmless, "14.5", harmless + "  \u2014  macOS 14.5"}};
    std::vector<StartupVolume> volumes;
    std::string listing;
    for (const auto& [name, version, line] : rows) {
        volumes.emplace_back(platform::FileURL{"/Volumes/x"}, name, version, std::nullopt, false);
        listing += line + "\n";
    }
    EXPECT_EQ(listingText(volumes), listing);
    EXPECT_EQ(listingText({}), "");
}

} // namespace
} // namespace kavelin
