#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "platform/volume_source.h"

namespace kavelin::platform {

// Deepest nesting of elements (XML) or containers (binary) handed to the decoder. Real version
// files nest two levels deep.
inline constexpr std::size_t maxPropertyListDepth = 64;
// Most values a binary property list may expand to once shared objects are copied out.
inline constexpr std::size_t maxPropertyListValues = 4096;

// Decodes an XML or binary property list, or nullopt when it is neither or when its shape is
// beyond the bounds above.
std::optional<PropertyList> decodePropertyListData(std::string_view data);

} // namespace kavelin::platform
