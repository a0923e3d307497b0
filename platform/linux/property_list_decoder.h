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
// Most string and data bytes a binary property list may expand to once shared objects are
// copied out (one 8 KiB string referenced a thousand times would otherwise cost 8 MiB).
inline constexpr std::size_t maxPropertyListExpandedBytes = 256 * 1024;

// Decodes an XML or binary property list, or nullopt when it is neither, when it is malformed or
// when its shape is beyond the bounds above. An XML document may be in UTF-8 (with or without a
// byte-order mark), UTF-16 or UTF-32 with a byte-order mark, UTF-16 without one, or in the
// encoding its declaration names. Keys and strings come out as UTF-8, whole (NULs included).
std::optional<PropertyList> decodePropertyListData(std::string_view data);

} // namespace kavelin::platform
