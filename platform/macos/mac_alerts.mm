// Modal alerts over NSAlert: message and informative texts, buttons in the order added, each
// with the platform's key equivalent, none, or the one it is given (Escape is "\x1b"). runModal
// answers NSAlertFirstButtonReturn (1000) + the index of the chosen button. Not supported: alert
// styles, icons, accessory views, suppression buttons, sheets.

#import <AppKit/AppKit.h>

#include "platform/alert.h"
#include "platform/macos/mac_conversions.h"
#include "platform/macos/mac_services.h"

namespace kavelin::platform {

namespace {

class MacAlerts final : public Alerts {
public:
    int runModal(const Alert& alert) override {
        @autoreleasepool {
            NSAlert* panel = [[NSAlert alloc] init];
            panel.messageText = displayString(alert.messageText);
            panel.informativeText = displayString(alert.informativeText);
            for (const auto& button : alert.buttons) {
                NSButton* added = [panel addButtonWithTitle:displayString(button.title)];
                // Absent: AppKit's own choice stays (Return for the first button).
                if (button.keyEquivalent)
                    added.keyEquivalent = displayString(*button.keyEquivalent);
            }
            return static_cast<int>([panel runModal]);
        }
    }
};

} // namespace

std::unique_ptr<Alerts> makeMacAlerts() {
    return std::make_unique<MacAlerts>();
}

} // namespace kavelin::platform
