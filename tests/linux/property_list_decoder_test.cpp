#include <gtest/gtest.h>

#include "platform/linux/property_list_decoder.h"
#include "test_support.h"

namespace kavelin::platform {
namespace {

using namespace std::string_literals;

class PropertyListFixtures : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        auto made =
            test::run({"python3", KAVELIN_TEST_SOURCE_DIR "/make_plist_fixtures.py", dir.path});
        ASSERT_EQ(made.status, 0) << "fixture generator failed: " << made.errors;
    }
    static std::optional<PropertyList> decode(const std::string& name) {
        return decodePropertyListData(test::readWholeFile(dir / name));
    }
    static inline test::TemporaryDirectory dir;
};

TEST_F(PropertyListFixtures, KeepsEntriesInOrderWithOnlyStringsAsValues) {
    using Entries = std::vector<std::pair<std::string, std::optional<std::string>>>;
    const auto none = std::nullopt;
    const std::vector<std::string> bothFormats = {".xml", ".bin"};
    const std::vector<std::tuple<std::string, std::vector<std::string>, bool, Entries>> cases = {
        {"version", bothFormats, true, {{"ProductName", "macOS"}, {"ProductVersion", "14.1.1"}}},
        {"unicode", bothFormats, true, {{"ProductVersion", "15.0 bêta — 🍎"}, {"Données", "ça"}}},
        {"typed",
         bothFormats,
         true,
         {{"ProductVersion", none}, {"Data", none}, {"Nested", none}, {"N", "m"}}},
        {"shared", bothFormats, true, {{"a", "same"}, {"b", "same"}}},
        {"array", bothFormats, false, {}},
        // Stored text comes out whole: a NUL neither cuts a string nor ends the process.
        {"key-holding-nul", {".bin"}, true, {{"ProductVersion", "14.0"}, {"é\0"s, "y"}}},
        {"version-holding-nul", {".bin"}, true, {{"ProductVersion", "14.5\0x"s}}},
        {"lone-surrogate", {".bin"}, true, {{"k", "a\uFFFD"}}},
        {"utf8-bom", {".xml"}, true, {{"ProductVersion", "14.5 été €"}}},
        {"utf16le-bom", {".xml"}, true, {{"ProductVersion", "14.5 été €"}}},
        {"utf16be-bom", {".xml"}, true, {{"ProductVersion", "14.5 été €"}}},
        {"utf16be", {".xml"}, true, {{"ProductVersion", "14.5 été €"}}},
        {"windows-1252", {".xml"}, true, {{"ProductVersion", "14.5 été €"}}},
        {"latin1", {".xml"}, true, {{"ProductVersion", "14.5 été"}}},
    };
    for (auto& [fixture, suffixes, isDictionary, entries] : cases) {
        for (auto& suffix : suffixes) {
            const std::string name = fixture + suffix;
            auto list = decode(name);
            ASSERT_TRUE(list.has_value()) << name;
            EXPECT_EQ(list->isDictionary, isDictionary) << name;
            Entries decoded;
            for (auto& entry : list->entries)
                decoded.emplace_back(entry.key, entry.stringValue);
            EXPECT_EQ(decoded, entries) << name;
        }
    }
}

TEST_F(PropertyListFixtures, RefusesMalformedAndHostileData) {
    for (std::string name :
         {"version-truncated.xml", "version-truncated.bin", "nested-100000.xml",
          "nested-100000.bin", "cycle.bin", "multiplying.bin", "bad-table.bin", "bad-reference.bin",
          "nested-hidden-closers.xml", "mismatched.xml", "internal-subset.xml", "not-a-plist.txt",
          "empty", "raw-nul.xml", "unknown-encoding.xml", "utf16le-odd-length.xml",
          "shared-long-string.bin"})
        EXPECT_FALSE(decode(name).has_value()) << name;
}

} // namespace
} // namespace kavelin::platform
