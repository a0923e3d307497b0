// The text service over Foundation: canonical equivalence through NFC
// (precomposedStringWithCanonicalMapping) and the Finder-like order through
// localizedStandardCompare: under the current locale. Text that is not UTF-8 compares by bytes
// and normalises to itself. Not supported: choosing a locale other than the current one.

#import <Foundation/Foundation.h>

#include "platform/macos/mac_conversions.h"
#include "platform/native_services.h"

namespace kavelin::platform {

namespace {

class MacTextService final : public TextService {
public:
    bool canonicallyEquivalent(std::string_view a, std::string_view b) override {
        @autoreleasepool {
            NSString* first = stringFromUTF8(a);
            NSString* second = stringFromUTF8(b);
            if (!first || !second)
                return a == b;
            // isEqualToString: compares UTF-16 units literally, so only the mapping makes
            // composed and decomposed forms meet.
            return [first.precomposedStringWithCanonicalMapping
                isEqualToString:second.precomposedStringWithCanonicalMapping];
        }
    }

    std::string canonicalForm(std::string_view text) override {
        @autoreleasepool {
            NSString* string = stringFromUTF8(text);
            if (!string)
                return std::string(text);
            return utf8(string.precomposedStringWithCanonicalMapping);
        }
    }

    int finderCompare(std::string_view a, std::string_view b) override {
        @autoreleasepool {
            NSString* first = stringFromUTF8(a);
            NSString* second = stringFromUTF8(b);
            if (!first || !second)
                return a.compare(b);
            switch ([first localizedStandardCompare:second]) {
            case NSOrderedAscending:
                return -1;
            case NSOrderedSame:
                return 0;
            case NSOrderedDescending:
                return 1;
            }
            return 0;
        }
    }
};

} // namespace

TextService& nativeTextService() {
    static MacTextService service;
    return service;
}

} // namespace kavelin::platform
