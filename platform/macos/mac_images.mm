// Images over NSBundle (the application bundle's resources) and NSImage (image files and system
// symbols), and the conversion of the core's Image values back to NSImage. Not supported:
// resources outside the main bundle, template rendering (images draw as they are).

#import <AppKit/AppKit.h>

#include "platform/images.h"
#include "platform/macos/mac_conversions.h"
#include "platform/macos/mac_services.h"

namespace kavelin::platform {

namespace {

NSImage* symbolImage(const std::string& name, const std::optional<std::string>& description) {
    return [NSImage imageWithSystemSymbolName:displayString(name)
                     accessibilityDescription:description ? displayString(*description) : nil];
}

class MacImages final : public Images {
public:
    std::optional<std::string> pathForResource(const std::string& name,
                                               const std::string& extension) override {
        @autoreleasepool {
            NSURL* url = [[NSBundle mainBundle] URLForResource:displayString(name)
                                                 withExtension:displayString(extension)];
            if (!url.fileURL)
                return std::nullopt;
            return utf8(url.path);
        }
    }

    std::optional<Image> imageWithContentsOfFile(const std::string& path) override {
        @autoreleasepool {
            NSURL* url = fileURL(path);
            NSImage* image = url ? [[NSImage alloc] initWithContentsOfURL:url] : nil;
            if (!image)
                return std::nullopt;
            return Image{Image::Kind::file, path, 0, 0, std::nullopt};
        }
    }

    std::optional<Image> systemSymbol(const std::string& name,
                                      const std::optional<std::string>& description) override {
        @autoreleasepool {
            if (!symbolImage(name, description))
                return std::nullopt;
            return Image{Image::Kind::symbol, name, 0, 0, description};
        }
    }
};

} // namespace

NSImage* nsImage(const Image& image) {
    NSImage* result = nil;
    switch (image.kind) {
    case Image::Kind::file:
        if (NSURL* url = fileURL(image.source))
            result = [[NSImage alloc] initWithContentsOfURL:url];
        break;
    case Image::Kind::symbol:
        // A copy, so that resizing it cannot reach an image that AppKit shares.
        result = [symbolImage(image.source, image.accessibilityDescription) copy];
        break;
    }
    if (!result)
        return nil;
    if (image.width > 0 && image.height > 0)
        result.size = NSMakeSize(image.width, image.height);
    if (image.accessibilityDescription)
        result.accessibilityDescription = displayString(*image.accessibilityDescription);
    return result;
}

std::unique_ptr<Images> makeMacImages() {
    return std::make_unique<MacImages>();
}

} // namespace kavelin::platform
