// Decodes the administrator script that the application builds back into its shell command.
// It is the exact inverse of the two escaping passes and nothing more: AppleScript's other
// escapes (\n, \t, \r) are never produced by the application and are refused, so that one
// command has one and only one accepted source.
#include "platform/linux/apple_script_literal.h"

namespace kavelin::platform {

namespace {
constexpr std::string_view scriptPrefix = "do shell script \"";
constexpr std::string_view scriptSuffix = " with administrator privileges";
} // namespace

std::optional<std::string> decodeAdministratorScript(std::string_view source) {
    if (!source.starts_with(scriptPrefix))
        return std::nullopt;
    std::string command;
    command.reserve(source.size());
    std::size_t at = scriptPrefix.size();
    for (;; ++at) {
        if (at >= source.size())
            return std::nullopt; // the literal never ends
        const char c = source[at];
        if (c == '"')
            break;
        if (c == '\0')
            return std::nullopt;
        if (c == '\\') {
            if (++at >= source.size())
                return std::nullopt;
            const char escaped = source[at];
            if (escaped != '\\' && escaped != '"')
                return std::nullopt;
            command += escaped;
        } else {
            command += c;
        }
    }
    // The literal ended at its first unescaped double quote; exactly the suffix may follow.
    if (source.substr(at + 1) != scriptSuffix)
        return std::nullopt;
    return command;
}

} // namespace kavelin::platform
