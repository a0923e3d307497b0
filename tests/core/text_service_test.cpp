#include <gtest/gtest.h>

#include <algorithm>

#include "platform/linux/icu_text_service.h"

namespace kavelin::platform {
namespace {

// "C" is read as the root collation, whatever ICU makes of it, and stands for the locales that
// fall back to root.
TEST(FinderOrder, IsCaseBlindAndNumeric) {
    for (const std::string locale : {"C", "fr_FR.UTF-8"}) {
        IcuTextService text(locale);
        std::vector<std::string> order{"b",  "Disk 10", "disk 2", "B", "a",
                                       "Ｂ", "Disk 1",  "é",      "f"};
        std::ranges::stable_sort(order,
                                 [&](auto& a, auto& b) { return text.finderCompare(a, b) < 0; });
        auto at = [&](const std::string& n) {
            return std::find(order.begin(), order.end(), n) - order.begin();
        };
        EXPECT_LT(at("a"), at("B")) << locale; // case-blind, even where ICU defaults to code points
        EXPECT_LT(at("disk 2"), at("Disk 10")) << locale; // runs of digits compare by value
        EXPECT_LT(at("Disk 1"), at("disk 2")) << locale;
        EXPECT_LT(at("é"), at("f")) << locale; // accents are secondary, not after z
        // Case and width variants sit next to each other in one fixed order.
        const auto [lowest, highest] = std::minmax({at("b"), at("B"), at("Ｂ")});
        EXPECT_EQ(highest - lowest, 2) << locale;
    }
}

TEST(CanonicalEquivalence, NormalisesWithoutFoldingCase) {
    IcuTextService text("C");
    const std::tuple<std::string, std::string, bool> cases[] = {
        {"Système", "Syste\u0300me", true},
        {"\u212B", "\u00C5", true}, // the angstrom sign is a canonical singleton of Å
        {"Système", "système", false},
        {"ﬁ", "fi", false},             // compatibility, not canonical
        {"bad \xff", "bad \xff", true}, // invalid UTF-8 compares by bytes
        {"bad \xff", "bad \xfe", false}};
    for (const auto& [a, b, equivalent] : cases) {
        EXPECT_EQ(text.canonicallyEquivalent(a, b), equivalent) << a << " / " << b;
        EXPECT_EQ(text.canonicalForm(a) == text.canonicalForm(b), equivalent) << a;
    }
    // The Finder order ties only equivalent names, and is antisymmetric.
    EXPECT_EQ(text.finderCompare("Caf\u00e9", "Cafe\u0301"), 0);
    EXPECT_NE(text.finderCompare("data", "Data"), 0);
    EXPECT_EQ(text.finderCompare("data", "Data"), -text.finderCompare("Data", "data"));
}

} // namespace
} // namespace kavelin::platform
