#pragma once

#include <string>
#include <string_view>

namespace kavelin::platform {

// Unicode comparisons that the standard library does not offer.
class TextService {
public:
    virtual ~TextService() = default;
    // True when the two UTF-8 strings are canonically equivalent (no case folding); invalid
    // UTF-8 compares by bytes.
    virtual bool canonicallyEquivalent(std::string_view a, std::string_view b) = 0;
    // One canonical form (NFC) of a UTF-8 string: equivalent strings give identical bytes.
    // Invalid UTF-8 comes back unchanged.
    virtual std::string canonicalForm(std::string_view text) = 0;
    // Finder-like order under the current locale: case- and width-insensitive, numeric, with a
    // forced ordering; negative, zero or positive. Zero only for equivalent strings.
    virtual int finderCompare(std::string_view a, std::string_view b) = 0;
};

} // namespace kavelin::platform
