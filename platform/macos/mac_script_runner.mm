// AppleScript over NSAppleScript, run synchronously in the application's own process (the
// system shows its administrator prompt for `with administrator privileges`). The error
// dictionary comes back with its numbers and strings; other values (the error range) are left
// out. Not supported: the result's content (only whether there was one), compiling apart from
// running, a time-out.

#import <Foundation/Foundation.h>

#include "platform/macos/mac_conversions.h"
#include "platform/macos/mac_services.h"
#include "platform/macos/portable/script_numbers.h"
#include "platform/script_runner.h"

namespace kavelin::platform {

namespace {

ScriptErrorValue numberValue(NSNumber* number) {
    return scriptErrorValue(number.objCType[0], number.longLongValue, number.unsignedLongLongValue,
                            number.doubleValue);
}

ScriptErrorDictionary errorDictionary(NSDictionary<NSString*, id>* info) {
    ScriptErrorDictionary dictionary;
    for (id key in info) {
        if (![key isKindOfClass:[NSString class]])
            continue;
        id value = info[key];
        if ([value isKindOfClass:[NSNumber class]])
            dictionary.emplace(utf8(key), numberValue(value));
        else if ([value isKindOfClass:[NSString class]])
            dictionary.emplace(utf8(key), utf8(value));
    }
    return dictionary;
}

class MacScriptRunner final : public ScriptRunner {
public:
    std::optional<ScriptExecution> execute(const std::string& source) override {
        @autoreleasepool {
            NSString* text = stringFromUTF8(source);
            NSAppleScript* script = text ? [[NSAppleScript alloc] initWithSource:text] : nil;
            if (!script)
                return std::nullopt;
            NSDictionary<NSString*, id>* errorInfo = nil;
            NSAppleEventDescriptor* result = [script executeAndReturnError:&errorInfo];
            ScriptExecution execution;
            execution.hasResult = result != nil;
            if (errorInfo)
                execution.error = errorDictionary(errorInfo);
            return execution;
        }
    }
};

} // namespace

std::unique_ptr<ScriptRunner> makeMacScriptRunner() {
    return std::make_unique<MacScriptRunner>();
}

} // namespace kavelin::platform
