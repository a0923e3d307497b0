// The login item service over ServiceManagement's SMAppService for the main application: its
// status, registering and unregistering with the error's localized description, and the Login
// Items section of System Settings. Not supported: helper or agent services, legacy login items.

#import <Foundation/Foundation.h>
#import <ServiceManagement/ServiceManagement.h>

#include "platform/login_items.h"
#include "platform/macos/mac_conversions.h"
#include "platform/macos/mac_services.h"

namespace kavelin::platform {

namespace {

std::string failureText(NSError* error) {
    return error ? utf8(error.localizedDescription) : std::string();
}

class MacLoginItems final : public LoginItemService {
public:
    int status() override {
        @autoreleasepool {
            return static_cast<int>([SMAppService mainAppService].status);
        }
    }

    std::optional<std::string> registerItem() override {
        @autoreleasepool {
            NSError* error = nil;
            if ([[SMAppService mainAppService] registerAndReturnError:&error])
                return std::nullopt;
            return failureText(error);
        }
    }

    std::optional<std::string> unregisterItem() override {
        @autoreleasepool {
            NSError* error = nil;
            if ([[SMAppService mainAppService] unregisterAndReturnError:&error])
                return std::nullopt;
            return failureText(error);
        }
    }

    void openSystemSettingsLoginItems() override {
        @autoreleasepool {
            [SMAppService openSystemSettingsLoginItems];
        }
    }
};

} // namespace

std::unique_ptr<LoginItemService> makeMacLoginItems() {
    return std::make_unique<MacLoginItems>();
}

} // namespace kavelin::platform
