// URL opening over NSWorkspace openURL:. A "file:///" URL is taken as the file URL of the path
// that follows, as written (the core writes paths unescaped); any other text must be a valid URL.
// Not supported: choosing the application that opens it, opening in the background.

#import <AppKit/AppKit.h>

#include <string_view>

#include "platform/macos/mac_conversions.h"
#include "platform/macos/mac_services.h"
#include "platform/workspace.h"

namespace kavelin::platform {

namespace {

// Its last slash begins the path: "file:///System" is the file URL of "/System".
constexpr std::string_view fileURLPrefix = "file:///";

class MacWorkspace final : public Workspace {
public:
    bool openURL(const std::string& url) override {
        @autoreleasepool {
            std::string_view text = url;
            NSURL* target = nil;
            if (text.starts_with(fileURLPrefix))
                target = fileURL(text.substr(fileURLPrefix.size() - 1));
            else if (NSString* string = stringFromUTF8(text))
                target = [NSURL URLWithString:string];
            if (!target)
                return false;
            return [[NSWorkspace sharedWorkspace] openURL:target];
        }
    }
};

} // namespace

std::unique_ptr<Workspace> makeMacWorkspace() {
    return std::make_unique<MacWorkspace>();
}

} // namespace kavelin::platform
