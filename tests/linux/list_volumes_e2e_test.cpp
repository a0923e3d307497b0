// The program itself, in a private mount namespace dressed up as a Mac by scripts/fake-mac:
// the listing's exact bytes under the C locale and under a French one.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include <unistd.h>

#include "test_support.h"

namespace kavelin {
namespace {

namespace fs = std::filesystem;

// Names sort case-insensitively with numbers by value ("data 2" before "Data 10"); "Macintosh
// HD" also appears as /Volumes/Macintosh HD, a link to "/", and is listed once. Left out: a
// volume without a system, one whose version file is a FIFO, a plain folder and a RAM disk
// that each hold a version file.
const std::string expectedListing = "Macintosh HD  —  macOS 14.1 (en cours)\n"
                                    "data 2  —  macOS 14.2\n"
                                    "Data 10  —  macOS 13.6.1\n"
                                    "Données  —  macOS 12.7.4\n";

class ListVolumes : public ::testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0)
            GTEST_SKIP()
                << "needs root: the fake Mac is a mount namespace with loop-mounted images";
        const char* build = std::getenv("KAVELIN_BUILD_DIR");
        program = std::string(build ? build : KAVELIN_TEST_BUILD_DIR) + "/kavelin";
        ASSERT_TRUE(fs::exists(program)) << program;
    }

    // The listing in the fake Mac with the given environment settings; checks that the host's
    // mount table is the same afterwards.
    test::Completed listIn(std::vector<std::string> settings) {
        const std::string before = test::readWholeFile("/proc/self/mountinfo");
        std::vector<std::string> argv = {"env"};
        argv.insert(argv.end(), settings.begin(), settings.end());
        argv.insert(argv.end(),
                    {KAVELIN_TEST_SOURCE_DIR "/../../scripts/fake-mac", program, "--list-volumes"});
        auto completed = test::run(argv);
        EXPECT_EQ(test::readWholeFile("/proc/self/mountinfo"), before)
            << "the fake Mac leaked into the host's mount table";
        return completed;
    }

    std::string program;
};

TEST_F(ListVolumes, PrintsTheFakeMacsVolumesUnderTheCLocale) {
    auto listed = listIn({"LC_ALL=C", "LANG=C"});
    if (listed.status == 77)
        GTEST_SKIP() << "the fake Mac cannot be set up here: " << listed.errors;
    EXPECT_EQ(listed.status, 0) << listed.errors;
    EXPECT_EQ(listed.output, expectedListing);
    EXPECT_EQ(listed.errors, "");
}

TEST_F(ListVolumes, PrintsTheSameBytesUnderAFrenchLocale) {
    // The French locale is compiled for this test when the system has not installed it.
    std::vector<std::string> settings = {"LC_ALL=fr_FR.UTF-8", "LANG=fr_FR.UTF-8"};
    test::TemporaryDirectory locales;
    if (test::run({"locale", "-a"}).output.find("fr_FR.utf8") == std::string::npos) {
        test::run({"localedef", "-i", "fr_FR", "-f", "UTF-8", locales / "fr_FR.UTF-8"});
        if (!fs::exists(locales / "fr_FR.UTF-8"))
            GTEST_SKIP() << "no fr_FR.UTF-8 locale and localedef cannot make one";
        fs::permissions(locales.path(), fs::perms(0755));
        settings.push_back("LOCPATH=" + locales.path());
    }
    auto listed = listIn(settings);
    if (listed.status == 77)
        GTEST_SKIP() << "the fake Mac cannot be set up here: " << listed.errors;
    EXPECT_EQ(listed.status, 0) << listed.errors;
    EXPECT_EQ(listed.output, expectedListing);
    EXPECT_EQ(listed.errors, "");
}

} // namespace
} // namespace kavelin
