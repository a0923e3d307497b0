#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>

#include "platform/macos/portable/entry_guard.h"
#include "platform/macos/portable/restart_event.h"
#include "platform/macos/portable/script_numbers.h"

namespace kavelin::platform {
namespace {

TEST(ScriptNumbers, IntegersStayIntegersAndTheRestBecomesDouble) {
    constexpr auto big = static_cast<unsigned long long>(std::numeric_limits<std::int64_t>::max());
    struct Row {
        char type;
        long long asSigned;
        unsigned long long asUnsigned;
        double asDouble;
        ScriptErrorValue expected;
    };
    const Row rows[] = {
        {'i', -128, static_cast<unsigned long long>(-128), -128.0, std::int64_t{-128}},
        {'q', -60005, 0, -60005.0, std::int64_t{-60005}},
        {'s', 7, 7, 7.0, std::int64_t{7}},
        {'Q', static_cast<long long>(big), big, 9.2e18,
         std::int64_t{std::numeric_limits<std::int64_t>::max()}},
        // Beyond the signed range, the signed reading would wrap to a negative number.
        {'Q', -1, big + 1, 9.3e18, 9.3e18},
        {'L', -1, big + 1, 9.3e18, 9.3e18},
        {'d', -128, static_cast<unsigned long long>(-128), -128.0, -128.0},
        {'f', 0, 0, 0.5, 0.5},
        {'B', 1, 1, 1.0, 1.0},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(scriptErrorValue(row.type, row.asSigned, row.asUnsigned, row.asDouble),
                  row.expected)
            << "type " << row.type;
    }
}

TEST(RestartEvent, PacksTheCodesAsTheEventManagerDoes) {
    EXPECT_EQ(RestartEvent::eventClass, 0x61657674u); // 'aevt'
    EXPECT_EQ(RestartEvent::eventID, 0x72727374u);    // 'rrst'
    EXPECT_EQ(fourCharCode("\xff\x01\x80z"), 0xff01807au);
}

TEST(RestartEvent, SendsAfterConsentUnlessRefusedOrWithoutTarget) {
    struct Row {
        int status;
        bool send;
        const char* traced; // a word of the trace line; nullptr: no line
    };
    const Row rows[] = {
        {automationPermitted, true, nullptr},
        {automationNotPermitted, false, "Automatisation"},
        {automationTargetMissing, false, "com.apple.loginwindow"},
        // Unknown answers (a consent that would still need the user included): the send decides.
        {-1744, true, "-1744"},
        {-50, true, "-50"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.status);
        auto outcome = afterAutomationConsent(row.status);
        EXPECT_EQ(outcome.send, row.send);
        ASSERT_EQ(outcome.traceLine.has_value(), row.traced != nullptr);
        if (row.traced) {
            EXPECT_NE(outcome.traceLine->find(row.traced), std::string::npos) << *outcome.traceLine;
        }
    }
}

TEST(EntryGuard, EndsAnyExceptionAtTheEntryPoint) {
    int ran = 0;
    EXPECT_TRUE(runGuarded("action du menu", [&] { ++ran; }));
    EXPECT_FALSE(runGuarded("action du menu", [&] {
        ++ran;
        throw std::runtime_error("disque");
    }));
    EXPECT_FALSE(runGuarded("lancement", [] { throw 42; }));
    EXPECT_FALSE(runGuarded("mise à jour du menu", [] { throw std::bad_alloc(); }));
    EXPECT_EQ(ran, 2);
}

} // namespace
} // namespace kavelin::platform
