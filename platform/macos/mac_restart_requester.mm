// The restart request over NSAppleEventDescriptor: the Apple Event 'aevt'/'rrst' (show the
// restart dialog) sent to the login window process, waiting for its reply at most
// restartRequestTimeoutSeconds. Not supported: any other way to restart (the user confirms in
// the system's own dialog), reading the reply's content.

#import <CoreServices/CoreServices.h>
#import <Foundation/Foundation.h>

#include "platform/macos/mac_services.h"
#include "platform/restart_requester.h"

namespace kavelin::platform {

namespace {

class MacRestartRequester final : public RestartRequester {
public:
    bool requestRestart() override {
        @autoreleasepool {
            NSAppleEventDescriptor* loginWindow =
                [NSAppleEventDescriptor descriptorWithBundleIdentifier:@"com.apple.loginwindow"];
            NSAppleEventDescriptor* event =
                [NSAppleEventDescriptor appleEventWithEventClass:kCoreEventClass
                                                         eventID:kAEShowRestartDialog
                                                targetDescriptor:loginWindow
                                                        returnID:kAutoGenerateReturnID
                                                   transactionID:kAnyTransactionID];
            NSError* error = nil;
            NSAppleEventDescriptor* reply = [event sendEventWithOptions:NSAppleEventSendWaitForReply
                                                                timeout:restartRequestTimeoutSeconds
                                                                  error:&error];
            return reply != nil;
        }
    }
};

} // namespace

std::unique_ptr<RestartRequester> makeMacRestartRequester() {
    return std::make_unique<MacRestartRequester>();
}

} // namespace kavelin::platform
