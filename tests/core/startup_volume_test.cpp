#include <gtest/gtest.h>

#include "fake_platform.h"
#include "volumes/startup_volume.h"

namespace kavelin {
namespace {

using platform::FileURL;

StartupVolume record(std::string name = "Data", std::string version = "14.5",
                     std::optional<std::string> uuid = "1234", bool isCurrent = false,
                     std::string path = "/Volumes/Data") {
    return StartupVolume(FileURL{path}, name, version, uuid, isCurrent);
}

TEST(StartupVolumeTitle, IsNameSeparatorVersionAndRunningSuffix) {
    struct Case {
        std::string version;
        bool isCurrent;
        std::string expected;
    } cases[] = {
        {"14.5", false, "Data\x20\x20\xE2\x80\x94\x20\x20macOS 14.5"},
        {"14.5", true, "Data  \u2014  macOS 14.5 (en cours)"},
        {"", false, "Data  \u2014  macOS "},
        {"", true, "Data  \u2014  macOS  (en cours)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(record("Data", c.version, std::nullopt, c.isCurrent).menuTitle(), c.expected)
            << c.version << " " << c.isCurrent;
    }
}

TEST(StartupVolumeEquality, ComparesEveryFieldWithCanonicalEquivalence) {
    const auto base = record("Système", "14.5", "1234", false, "/Volumes/Système");
    struct Case {
        const char* what;
        StartupVolume other;
        bool equal;
    } cases[] = {
        {"identical", base, true},
        {"decomposed name", record("Syste\u0300me", "14.5", "1234", false, "/Volumes/Système"),
         true},
        {"other case", record("système", "14.5", "1234", false, "/Volumes/Système"), false},
        {"other version", record("Système", "14.6", "1234", false, "/Volumes/Système"), false},
        {"other uuid", record("Système", "14.5", "5678", false, "/Volumes/Système"), false},
        {"absent uuid", record("Système", "14.5", std::nullopt, false, "/Volumes/Système"), false},
        {"empty uuid", record("Système", "14.5", "", false, "/Volumes/Système"), false},
        {"running system", record("Système", "14.5", "1234", true, "/Volumes/Système"), false},
        // URLs compare by their text: the same folder under another spelling is another URL.
        {"decomposed path", record("Système", "14.5", "1234", false, "/Volumes/Syste\u0300me"),
         false},
    };
    auto& text = fake::realTextService();
    for (const auto& c : cases) {
        EXPECT_EQ(base.equals(c.other, text), c.equal) << c.what;
        EXPECT_EQ(c.other.equals(base, text), c.equal) << c.what << " (reversed)";
    }
    EXPECT_TRUE(record("A", "1", std::nullopt).equals(record("A", "1", std::nullopt), text));
    EXPECT_FALSE(record("A", "1", std::nullopt).equals(record("A", "1", ""), text));
}

} // namespace
} // namespace kavelin
