// The program itself, in a private mount namespace dressed up as a Mac by scripts/fake-mac: the
// listing's exact bytes under the C locale and under a French one.

#include <gtest/gtest.h>

#include <cstdlib>

#include "test_support.h"

namespace kavelin {
namespace {

namespace fs = std::filesystem;

TEST(ListVolumes, PrintsTheFakeMacsVolumesInTheSameBytesUnderTheCAndAFrenchLocale) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root: the fake Mac is a mount namespace with loop-mounted images";
    const char* build = std::getenv("KAVELIN_BUILD_DIR");
    const std::string program = std::string(build ? build : KAVELIN_TEST_BUILD_DIR) + "/kavelin";
    std::vector<std::vector<std::string>> locales = {{"LC_ALL=C", "LANG=C"},
                                                     {"LC_ALL=fr_FR.UTF-8", "LANG=fr_FR.UTF-8"}};
    // The French locale is compiled for this test when the system has not installed it.
    test::TemporaryDirectory compiled;
    if (test::run({"locale", "-a"}).output.find("fr_FR.utf8") == std::string::npos) {
        test::run({"localedef", "-i", "fr_FR", "-f", "UTF-8", compiled / "fr_FR.UTF-8"});
        fs::permissions(compiled.path, fs::perms(0755));
        if (fs::exists(compiled / "fr_FR.UTF-8"))
            locales[1].push_back("LOCPATH=" + compiled.path);
        else
            locales.pop_back();
    }
    for (auto argv : locales) {
        SCOPED_TRACE(argv[0]);
        const std::string mountsBefore = test::readWholeFile("/proc/self/mountinfo");
        argv.insert(argv.begin(), "env");
        argv.insert(argv.end(),
                    {KAVELIN_TEST_SOURCE_DIR "/../../scripts/fake-mac", program, "--list-volumes"});
        auto listed = test::run(argv);
        EXPECT_EQ(test::readWholeFile("/proc/self/mountinfo"), mountsBefore)
            << "the fake Mac leaked into the host's mount table";
        if (listed.status == 77)
            GTEST_SKIP() << "the fake Mac cannot be set up here: " << listed.errors;
        EXPECT_EQ(listed.status, 0) << listed.errors;
        // Sorted by value and without case, "/" listed once though /Volumes links to it too; left
        // out: a volume without a system, a FIFO version file, a plain folder and a RAM disk.
        EXPECT_EQ(listed.output, "Macintosh HD  —  macOS 14.1 (en cours)\n"
                                 "data 2  —  macOS 14.2\n"
                                 "Data 10  —  macOS 13.6.1\n"
                                 "Données  —  macOS 12.7.4\n");
        EXPECT_EQ(listed.errors, "");
    }
    if (locales.size() == 1)
        GTEST_SKIP() << "checked under C only: no fr_FR.UTF-8 locale and localedef cannot make one";
}

} // namespace
} // namespace kavelin
