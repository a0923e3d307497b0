// The quoting of the privileged command, under libFuzzer. The first byte picks --nextonly, the
// rest is the volume path. Checked for every input:
//  - the script decodes back to exactly the command (the runner's decoder is the inverse of
//    the escaping), and the command to exactly the path and option of bless's argument vector;
//  - a model of the POSIX shell's word splitting reads the command as exactly bless's four or
//    five words, the path one of them, and the one redirection from /dev/null;
//  - the same bytes taken as a script source or as a command: the decoders never crash, and
//    whatever they accept re-encodes to the very same text (one command, one accepted source).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/apple_script_literal.h"
#include "platform/linux/bless_invocation.h"
#include "startup/privileged.h"

namespace {

// Splits a command the way sh does for the constructs that may legitimately appear in it:
// blanks between words, single-quoted runs, backslash escapes outside quotes, and one
// redirection. Anything the shell would treat as syntax or expansion outside quotes ($, `, ;,
// |, &, parentheses, glob characters, a line break, a double quote...) makes it nullopt.
struct Split {
    std::vector<std::string> words;
    std::vector<std::string> redirections;
};

std::optional<Split> splitLikeTheShell(const std::string& command) {
    Split split;
    std::string word;
    bool inWord = false;
    bool redirection = false;
    const auto endWord = [&] {
        if (inWord)
            (redirection ? split.redirections : split.words).push_back(word);
        word.clear();
        inWord = redirection = false;
    };
    for (std::size_t i = 0; i < command.size(); ++i) {
        const char c = command[i];
        if (c == ' ' || c == '\t') {
            endWord();
        } else if (c == '\'') {
            const auto close = command.find('\'', i + 1);
            if (close == std::string::npos)
                return std::nullopt;
            word += command.substr(i + 1, close - i - 1);
            inWord = true;
            i = close;
        } else if (c == '\\') {
            if (i + 1 >= command.size() || command[i + 1] == '\n')
                return std::nullopt;
            word += command[++i];
            inWord = true;
        } else if (c == '<' && !inWord) {
            redirection = true;
        } else if (std::string_view("\"$`;|&()<>*?[]{}~#!=\n\r").find(c) !=
                   std::string_view::npos) {
            return std::nullopt;
        } else {
            word += c;
            inWord = true;
        }
    }
    endWord();
    return split;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    // The decoder on arbitrary source text.
    if (const auto decoded = kavelin::platform::decodeAdministratorScript(input)) {
        if (kavelin::administratorScript(*decoded) != input)
            std::abort();
    }
    if (const auto request = kavelin::platform::decodeBlessCommand(input)) {
        if (kavelin::blessCommand(request->path, request->nextOnly) != input)
            std::abort();
    }

    // A volume path can hold any byte but NUL.
    if (size == 0)
        return 0;
    const bool nextOnly = data[0] & 1;
    const std::string path = input.substr(1);
    if (path.find('\0') != std::string::npos)
        return 0;
    const std::string command = kavelin::blessCommand(path, nextOnly);

    const auto decoded =
        kavelin::platform::decodeAdministratorScript(kavelin::administratorScript(command));
    if (decoded != command)
        std::abort();
    if (kavelin::platform::decodeBlessCommand(command) !=
        kavelin::platform::BlessRequest{path, nextOnly})
        std::abort();

    std::vector<std::string> expected{"/usr/sbin/bless", "--mount", path, "--setBoot"};
    if (nextOnly)
        expected.push_back("--nextonly");
    const auto split = splitLikeTheShell(command);
    if (!split || split->words != expected ||
        split->redirections != std::vector<std::string>{"/dev/null"})
        std::abort();
    return 0;
}
