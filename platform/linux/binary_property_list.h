#pragma once

#include <optional>
#include <string_view>

#include "platform/volume_source.h"

namespace kavelin::platform {

// Reads a binary property list ("bplist00"), or nullopt unless every object reachable from its
// top object is well formed: a known type with a length inside the object area, integers and
// reals of a size the format defines, references in range and without cycles, dictionary keys
// that are strings, ASCII strings that are ASCII; and unless its nesting and its expanded size
// are within the decoder's bounds (property_list_decoder.h). Strings come out whole, NULs
// included, as UTF-8 (an unpaired UTF-16 surrogate becomes U+FFFD).
std::optional<PropertyList> readBinaryPropertyList(std::string_view data);

} // namespace kavelin::platform
