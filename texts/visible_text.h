#pragma once

#include <string>
#include <string_view>

namespace kavelin {

// Text from a disk made safe to show on one line of a terminal or a menu, as valid UTF-8.
// Characters that would break the line, move the cursor, reorder what follows or be taken by
// the terminal as a command are shown instead of acted on:
//   C0 controls U+0000–U+001F     the Control Pictures U+2400–U+241F (LF as ␊, ESC as ␛)
//   DEL U+007F                    ␡ (U+2421)
//   C1 controls U+0080–U+009F, bidirectional embeddings, overrides and isolates
//   (U+202A–U+202E, U+2066–U+2069), line and paragraph separators (U+2028, U+2029)
//                                 "<U+XXXX>", the code point in upper-case hexadecimal
//   each maximal ill-formed subsequence of bytes   U+FFFD
// Everything else, accents, decomposed forms, no-break spaces, emoji, quotes included, is kept
// byte for byte.
std::string visibleText(std::string_view text);

} // namespace kavelin
