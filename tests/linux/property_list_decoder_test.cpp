#include <gtest/gtest.h>

#include <sstream>

#include "platform/linux/property_list_decoder.h"
#include "test_support.h"

namespace kavelin::platform {
namespace {

using namespace std::string_literals;

// Fixtures, separated by spaces (a name without suffix stands for its .xml and .bin forms), and
// what they decode to: "dict" or "array" and the entries in order, "-" for a value not a string; or
// "refused".
TEST(PropertyListFixtures, KeepsEntriesInOrderWithOnlyStringsAsValuesAndRefusesHostileData) {
    test::TemporaryDirectory dir;
    auto made = test::run({"python3", KAVELIN_TEST_SOURCE_DIR "/make_plist_fixtures.py", dir.path});
    ASSERT_EQ(made.status, 0) << made.errors;
    const std::pair<std::string, std::string> rows[] = {
        {"version", "dict ProductName=macOS ProductVersion=14.1.1"},
        {"unicode", "dict ProductVersion=15.0 bêta — 🍎 Données=ça"},
        {"typed", "dict ProductVersion=- Data=- Nested=- N=m"},
        {"shared", "dict a=same b=same"},
        {"array", "array"},
        // Stored text comes out whole: a NUL neither cuts a string nor ends the process.
        {"key-holding-nul.bin", "dict ProductVersion=14.0 é\0=y"s},
        {"version-holding-nul.bin", "dict ProductVersion=14.5\0x"s},
        {"lone-surrogate.bin", "dict k=a\uFFFD"},
        {"latin1.xml", "dict ProductVersion=14.5 été"},
        {"utf8-bom.xml utf16le-bom.xml utf16be-bom.xml utf16be.xml windows-1252.xml",
         "dict ProductVersion=14.5 été €"},
        {"version-truncated nested-100000 cycle.bin multiplying.bin bad-table.bin "
         "bad-reference.bin "
         "nested-hidden-closers.xml mismatched.xml internal-subset.xml not-a-plist.txt empty.bin "
         "raw-nul.xml unknown-encoding.xml utf16le-odd-length.xml shared-long-string.bin",
         "refused"},
    };
    for (auto& [names, expected] : rows) {
        std::istringstream words(names);
        for (std::string name; words >> name;)
            for (auto& file : name.find('.') != std::string::npos
                                  ? std::vector{name}
                                  : std::vector{name + ".xml", name + ".bin"}) {
                auto list = decodePropertyListData(test::readWholeFile(dir / file));
                std::string decoded = !list ? "refused" : list->isDictionary ? "dict" : "array";
                for (auto& entry : list ? list->entries : std::vector<PropertyList::Entry>{})
                    decoded += " " + entry.key + "=" + entry.stringValue.value_or("-");
                EXPECT_EQ(decoded, expected) << file;
            }
    }
}

} // namespace
} // namespace kavelin::platform
