// Conversions between the core's plain values and Foundation and AppKit objects. Objective-C++:
// included by the backend's .mm files only, never by the core.
#pragma once

#import <AppKit/AppKit.h>

#include <string>
#include <string_view>

#include "platform/images.h"

namespace kavelin::platform {

// The UTF-8 text as a string; nil when it is not UTF-8.
inline NSString* stringFromUTF8(std::string_view text) {
    // NOTE: Foundation drops a leading byte-order mark when it decodes UTF-8. Here it is a
    // character like any other (a volume name may begin with U+FEFF), so it is kept apart.
    constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
    if (text.starts_with(byteOrderMark)) {
        NSString* rest = stringFromUTF8(text.substr(byteOrderMark.size()));
        if (!rest)
            return nil;
        const unichar mark = 0xFEFF;
        return [[NSString stringWithCharacters:&mark length:1] stringByAppendingString:rest];
    }
    return [[NSString alloc] initWithBytes:text.data()
                                    length:text.size()
                                  encoding:NSUTF8StringEncoding];
}

// The text for a title or label, which may not be nil: empty when the text is not UTF-8.
inline NSString* displayString(std::string_view text) {
    NSString* string = stringFromUTF8(text);
    return string ? string : @"";
}

// The string as UTF-8, embedded NUL characters included; empty for nil.
inline std::string utf8(NSString* string) {
    // Lossy only for an unpaired surrogate, which UTF-8 cannot carry.
    NSData* data = [string dataUsingEncoding:NSUTF8StringEncoding allowLossyConversion:YES];
    if (data.length == 0)
        return {};
    return std::string(static_cast<const char*>(data.bytes), data.length);
}

// The file URL of a path; nil when the path is empty or not UTF-8.
inline NSURL* fileURL(std::string_view path) {
    NSString* string = stringFromUTF8(path);
    // NOTE: fileURLWithPath: must not be given an empty path.
    if (string.length == 0)
        return nil;
    return [NSURL fileURLWithPath:string];
}

// The image the value describes, with its size and accessibility description; nil when it does
// not load.
NSImage* nsImage(const Image& image);

} // namespace kavelin::platform
