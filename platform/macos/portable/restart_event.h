#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kavelin::platform {

// A four-character code as the Apple Event Manager packs it: the first character in the high byte.
constexpr std::uint32_t fourCharCode(const char (&code)[5]) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(code[0])) << 24 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(code[1])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(code[2])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(code[3]));
}

// The restart request: the "show the restart dialog" event sent to the login window process,
// waiting for its reply. mac_restart_requester.mm checks the values against the SDK's names.
struct RestartEvent {
    static constexpr const char* target = "com.apple.loginwindow";
    static constexpr std::uint32_t eventClass = fourCharCode("aevt"); // kCoreEventClass
    static constexpr std::uint32_t eventID = fourCharCode("rrst");    // kAEShowRestartDialog
    static constexpr std::int16_t returnID = -1;                      // kAutoGenerateReturnID
    static constexpr std::int32_t transactionID = 0;                  // kAnyTransactionID
    static constexpr unsigned sendOptions = 3; // NSAppleEventSendWaitForReply alone
};

// Statuses of AEDeterminePermissionToAutomateTarget (MacErrors.h, AppleEvents.h).
inline constexpr int automationPermitted = 0;        // noErr
inline constexpr int automationNotPermitted = -1743; // errAEEventNotPermitted
inline constexpr int automationTargetMissing = -600; // procNotFound

// What the restart request does once the user has answered the Automation consent: send the
// event, or give up at once, and the line the diagnostic trace shows (none when all is well).
struct ConsentOutcome {
    bool send = false;
    std::optional<std::string> traceLine;
};

// A refusal and a missing login window end the request (no event could be delivered); any other
// answer leaves the decision to the send itself, which is bounded.
ConsentOutcome afterAutomationConsent(int status);

} // namespace kavelin::platform
