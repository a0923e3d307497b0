// The restart request over NSAppleEventDescriptor: the Apple Event 'aevt'/'rrst' (show the
// restart dialog) sent to the login window process, waiting for its reply at most
// restartRequestTimeoutSeconds. The Automation consent is asked first, outside that bound. Not
// supported: any other way to restart (the user confirms in the system's own dialog), reading
// the reply's content.

#import <CoreServices/CoreServices.h>
#import <Foundation/Foundation.h>

#include "platform/macos/mac_services.h"
#include "platform/macos/portable/restart_event.h"
#include "platform/restart_requester.h"
#include "platform/trace.h"

namespace kavelin::platform {

static_assert(RestartEvent::eventClass == kCoreEventClass);
static_assert(RestartEvent::eventID == kAEShowRestartDialog);
static_assert(RestartEvent::returnID == kAutoGenerateReturnID);
static_assert(RestartEvent::transactionID == kAnyTransactionID);
static_assert(RestartEvent::sendOptions == NSAppleEventSendWaitForReply);
static_assert(automationPermitted == noErr);
static_assert(automationNotPermitted == errAEEventNotPermitted);
static_assert(automationTargetMissing == procNotFound);

namespace {

class MacRestartRequester final : public RestartRequester {
public:
    bool requestRestart() override {
        @autoreleasepool {
            NSAppleEventDescriptor* loginWindow =
                [NSAppleEventDescriptor descriptorWithBundleIdentifier:@(RestartEvent::target)];
            // NOTE: the first request needs the user's Automation consent. Asked as part of the
            // send, the system's prompt would eat into the reply's 5 seconds and turn a granted
            // request into a time-out. Asked here, the call waits for the user's answer. Apple
            // advises against waiting on the main thread; this flow already waits there for the
            // administrator prompt, and the consent prompt is the system's, not a window of ours.
            ConsentOutcome consent = afterAutomationConsent(AEDeterminePermissionToAutomateTarget(
                loginWindow.aeDesc, RestartEvent::eventClass, RestartEvent::eventID, true));
            if (consent.traceLine)
                trace("redémarrage", *consent.traceLine);
            if (!consent.send)
                return false;
            NSAppleEventDescriptor* event =
                [NSAppleEventDescriptor appleEventWithEventClass:RestartEvent::eventClass
                                                         eventID:RestartEvent::eventID
                                                targetDescriptor:loginWindow
                                                        returnID:RestartEvent::returnID
                                                   transactionID:RestartEvent::transactionID];
            NSError* error = nil;
            NSAppleEventDescriptor* reply = [event sendEventWithOptions:RestartEvent::sendOptions
                                                                timeout:restartRequestTimeoutSeconds
                                                                  error:&error];
            if (!reply)
                trace("redémarrage",
                      "la demande n’a pas reçu de réponse de la fenêtre de connexion");
            return reply != nil;
        }
    }
};

} // namespace

std::unique_ptr<RestartRequester> makeMacRestartRequester() {
    return std::make_unique<MacRestartRequester>();
}

} // namespace kavelin::platform
