// The one AppleScript form the application builds, read back on a system without AppleScript.
// Supported: `do shell script "LITERAL" with administrator privileges`, exactly, with a string
// literal that escapes only backslash and double quote. Not supported: any other AppleScript.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kavelin::platform {

// The shell command held by `do shell script "…" with administrator privileges`; nullopt for
// any other text, a literal with a bare double quote, a backslash before anything but a
// backslash or a double quote, trailing text, or a NUL (which no argument vector can carry).
std::optional<std::string> decodeAdministratorScript(std::string_view source);

} // namespace kavelin::platform
