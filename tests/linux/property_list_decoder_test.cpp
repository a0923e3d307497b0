#include <gtest/gtest.h>

#include "platform/linux/property_list_decoder.h"
#include "test_support.h"

namespace kavelin::platform {
namespace {

using Entries = std::vector<std::pair<std::string, std::optional<std::string>>>;

// The fixtures are written once per run by python3's plistlib (and, for the hostile ones, by
// hand in the same script).
class PropertyListFixtures : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        directory = new test::TemporaryDirectory;
        auto made = test::run({"python3", KAVELIN_TEST_SOURCE_DIR "/make_plist_fixtures.py",
                               directory->path(), std::to_string(maxPropertyListDepth)});
        ASSERT_EQ(made.status, 0) << "fixture generator failed";
    }
    static void TearDownTestSuite() {
        delete directory;
        directory = nullptr;
    }
    static std::optional<PropertyList> decode(const std::string& name) {
        return decodePropertyListData(test::readWholeFile(*directory / name));
    }
    static Entries entriesOf(const PropertyList& list) {
        Entries entries;
        for (auto& entry : list.entries)
            entries.emplace_back(entry.key, entry.stringValue);
        return entries;
    }
    static inline test::TemporaryDirectory* directory = nullptr;
};

struct DictionaryCase {
    std::string fixture;
    Entries entries;
};

TEST_F(PropertyListFixtures, DictionariesKeepTheirEntriesInOrderWithOnlyStringsAsValues) {
    const std::vector<DictionaryCase> cases = {
        {"version",
         {{"ProductBuildVersion", "23B81"},
          {"ProductName", "macOS"},
          {"ProductVersion", "14.1.1"}}},
        {"empty-version", {{"ProductVersion", ""}}},
        {"unicode", {{"ProductVersion", "15.0 bêta — 🍎"}, {"Données", "ça"}}},
        {"typed",
         {{"ProductVersion", std::nullopt},
          {"Date", std::nullopt},
          {"Data", std::nullopt},
          {"Flag", std::nullopt},
          {"Real", std::nullopt},
          {"List", std::nullopt},
          {"Nested", std::nullopt},
          {"Name", "macOS"}}},
    };
    for (auto& c : cases) {
        for (std::string format : {".xml", ".bin"}) {
            SCOPED_TRACE(c.fixture + format);
            auto list = decode(c.fixture + format);
            ASSERT_TRUE(list.has_value());
            EXPECT_TRUE(list->isDictionary);
            EXPECT_EQ(entriesOf(*list), c.entries);
        }
    }
}

TEST_F(PropertyListFixtures, SharedObjectsWithinTheBudgetDecode) {
    for (std::string name : {"shared.xml", "shared.bin"}) {
        SCOPED_TRACE(name);
        auto list = decode(name);
        ASSERT_TRUE(list.has_value());
        ASSERT_EQ(list->entries.size(), 300u);
        EXPECT_EQ(list->entries[299].key, "k299");
        EXPECT_EQ(list->entries[299].stringValue, "same");
    }
}

TEST_F(PropertyListFixtures, OtherTopLevelValuesDecodeAsNoDictionary) {
    for (std::string name : {"array.xml", "array.bin", "string.xml", "string.bin"}) {
        SCOPED_TRACE(name);
        auto list = decode(name);
        ASSERT_TRUE(list.has_value());
        EXPECT_FALSE(list->isDictionary);
        EXPECT_TRUE(list->entries.empty());
    }
}

TEST_F(PropertyListFixtures, MalformedAndHostileDataIsRefused) {
    for (std::string name : {
             "version-truncated.xml",
             "version-truncated.bin",
             "not-a-plist.txt",
             "empty",
             "nested-100000.xml",
             "nested-100000.bin",
             "nested-over-limit.xml",
             "nested-over-limit.bin",
             "cycle.bin",
             "self-cycle.bin",
             "multiplying.bin",
             "nested-hidden-closers.xml",
             "mismatched.xml",
             "internal-subset.xml",
             "bad-table.bin",
             "bad-reference.bin",
         }) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(decode(name).has_value());
    }
}

TEST_F(PropertyListFixtures, NestingUpToTheBoundDecodes) {
    for (std::string name : {"nested-at-limit.xml", "nested-at-limit.bin"}) {
        SCOPED_TRACE(name);
        auto list = decode(name);
        ASSERT_TRUE(list.has_value());
        EXPECT_FALSE(list->isDictionary);
    }
}

} // namespace
} // namespace kavelin::platform
