#pragma once

#include <optional>
#include <string>

namespace kavelin::platform {

// An image as a plain value: where it comes from, its size in points (0: natural) and its
// accessibility description. A backend loads and draws it.
struct Image {
    enum class Kind { file, symbol };
    Kind kind = Kind::file;
    std::string source; // a file path, or a system symbol name
    double width = 0;
    double height = 0;
    std::optional<std::string> accessibilityDescription;

    friend bool operator==(const Image&, const Image&) = default;
};

class Images {
public:
    virtual ~Images() = default;
    // Path of a resource installed with the program; nullopt when there is none.
    virtual std::optional<std::string> pathForResource(const std::string& name,
                                                       const std::string& extension) = 0;
    // The image in that file; nullopt when it does not load.
    virtual std::optional<Image> imageWithContentsOfFile(const std::string& path) = 0;
    // A system symbol image; nullopt when the platform has none of that name.
    virtual std::optional<Image> systemSymbol(const std::string& name,
                                              const std::optional<std::string>& description) = 0;
};

} // namespace kavelin::platform
