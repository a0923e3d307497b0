#include <gtest/gtest.h>

#include "platform/linux/property_list_decoder.h"
#include "test_support.h"

namespace kavelin::platform {
namespace {

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

TEST_F(PropertyListFixtures, KeepsEntriesInOrderWithOnlyStringsAsValuesInBothFormats) {
    using Entries = std::vector<std::pair<std::string, std::optional<std::string>>>;
    const auto none = std::nullopt;
    const std::vector<std::tuple<std::string, bool, Entries>> cases = {
        {"version", true, {{"ProductName", "macOS"}, {"ProductVersion", "14.1.1"}}},
        {"unicode", true, {{"ProductVersion", "15.0 bêta — 🍎"}, {"Données", "ça"}}},
        {"typed", true, {{"ProductVersion", none}, {"Data", none}, {"Nested", none}, {"N", "m"}}},
        {"shared", true, {{"a", "same"}, {"b", "same"}}},
        {"array", false, {}},
    };
    for (auto& [fixture, isDictionary, entries] : cases) {
        for (std::string name : {fixture + ".xml", fixture + ".bin"}) {
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
    for (std::string name : {"version-truncated.xml", "version-truncated.bin", "nested-100000.xml",
                             "nested-100000.bin", "cycle.bin", "multiplying.bin", "bad-table.bin",
                             "bad-reference.bin", "nested-hidden-closers.xml", "mismatched.xml",
                             "internal-subset.xml", "not-a-plist.txt", "empty"})
        EXPECT_FALSE(decode(name).has_value()) << name;
}

} // namespace
} // namespace kavelin::platform
