// The application object over NSApplication: accessory activation policy, an Objective-C
// delegate that forwards applicationDidFinishLaunching: to the core's delegate, run,
// terminate: and activation. A launch that ends in an exception ends the application quietly:
// without its status item's menu it could not even be quit. Not supported: the other
// application notifications (the core needs none), window state restoration (there are no
// windows).

#import <AppKit/AppKit.h>

#include "platform/application.h"
#include "platform/macos/mac_services.h"
#include "platform/macos/portable/entry_guard.h"

// Forwards the launch notification to the core's delegate, which it does not own.
@interface KVLApplicationDelegate : NSObject <NSApplicationDelegate>
- (instancetype)initWithDelegate:(kavelin::platform::ApplicationDelegate*)delegate;
@end

@implementation KVLApplicationDelegate {
    kavelin::platform::ApplicationDelegate* _delegate;
}

- (instancetype)initWithDelegate:(kavelin::platform::ApplicationDelegate*)delegate {
    if ((self = [super init]))
        _delegate = delegate;
    return self;
}

- (void)applicationDidFinishLaunching:(NSNotification*)notification {
    (void)notification;
    @autoreleasepool {
        kavelin::platform::ApplicationDelegate* delegate = _delegate;
        if (!kavelin::platform::runGuarded(
                "lancement", [delegate] { delegate->applicationDidFinishLaunching(); }))
            [NSApp terminate:nil];
    }
}

// NOTE: without this answer, AppKit warns at launch on every system that enables secure coding
// of restorable state by default.
- (BOOL)applicationSupportsSecureRestorableState:(NSApplication*)application {
    (void)application;
    return YES;
}

@end

namespace kavelin::platform {

namespace {

class MacApplication final : public Application {
public:
    MacApplication() : application([NSApplication sharedApplication]) {}

    ~MacApplication() override { application.delegate = nil; }

    void setActivationPolicyAccessory() override {
        [application setActivationPolicy:NSApplicationActivationPolicyAccessory];
    }

    void setDelegate(ApplicationDelegate* delegate) override {
        // The application holds its delegate weakly: this object keeps the bridge alive, and
        // unlinks it before letting it go.
        KVLApplicationDelegate* next =
            delegate ? [[KVLApplicationDelegate alloc] initWithDelegate:delegate] : nil;
        application.delegate = next;
        bridge = next;
    }

    int run() override {
        [application run];
        return 0;
    }

    void terminate() override { [application terminate:nil]; }

    void activateIgnoringOtherApps() override {
        // NOTE: the cooperative activate of macOS 14 "does not guarantee that the app will be
        // activated at all"; an accessory application, with no Dock icon and no place in the
        // application switcher, would leave its alert unreachable behind other windows. The
        // forced request is still honoured there.
        [application activateIgnoringOtherApps:YES];
    }

private:
    NSApplication* application;
    KVLApplicationDelegate* bridge = nil;
};

} // namespace

std::unique_ptr<Application> makeMacApplication() {
    return std::make_unique<MacApplication>();
}

} // namespace kavelin::platform
