// The two readers of XDG autostart entries, as far as starting the entry goes: the file grammar,
// the string escapes, the Exec word splitting and the keys that switch an entry off. Field codes
// beyond the program word, AutostartCondition and the working directory (Path) are not looked at.

#include "platform/linux/autostart_entry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <utility>

#include "texts/texts.h"

namespace kavelin::platform {

namespace {

using Values = std::map<std::string, std::string, std::less<>>;
constexpr std::string_view desktopGroup = "Desktop Entry";
constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

bool isAsciiSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

std::string_view withoutLeadingSpace(std::string_view text) {
    while (!text.empty() && isAsciiSpace(text.front()))
        text.remove_prefix(1);
    return text;
}

std::string_view withoutTrailingSpace(std::string_view text) {
    while (!text.empty() && isAsciiSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string_view stripped(std::string_view text) {
    return withoutTrailingSpace(withoutLeadingSpace(text));
}

bool isValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80   ? 1
                                   : lead < 0xC2 ? 0
                                   : lead < 0xE0 ? 2
                                   : lead < 0xF0 ? 3
                                   : lead < 0xF5 ? 4
                                                 : 0;
        if (length == 0 || i + length > text.size())
            return false;
        char32_t code = length == 1 ? lead : lead & (0x3F >> (length - 1));
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = code << 6 | (next & 0x3F);
        }
        constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

// The lines of a file as GLib splits them: at line feeds, one carriage return before each
// dropped.
std::vector<std::string_view> glibLines(std::string_view contents) {
    std::vector<std::string_view> lines;
    while (!contents.empty()) {
        const auto end = contents.find('\n');
        std::string_view line = contents.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        contents = end == std::string_view::npos ? std::string_view{} : contents.substr(end + 1);
    }
    return lines;
}

bool isGlibKeyName(std::string_view key) {
    std::size_t end = 0;
    while (end < key.size() && key[end] != '=' && key[end] != '[' && key[end] != ']')
        ++end;
    if (end == 0 || key.front() == ' ' || key[end - 1] == ' ')
        return false;
    if (end < key.size() && key[end] == '[') { // a locale suffix
        ++end;
        while (end < key.size() && (std::isalnum(static_cast<unsigned char>(key[end])) ||
                                    key[end] < 0 || std::strchr("-_.@", key[end])))
            ++end;
        if (end == key.size() || key[end] != ']')
            return false;
        ++end;
    }
    return end == key.size();
}

// The keys of the [Desktop Entry] group, the last of equal keys winning; nullopt when GLib
// refuses the file: a line that is neither a comment, a group nor a key, a key before the first
// group, a first group other than [Desktop Entry], or an encoding other than UTF-8.
std::optional<Values> glibDesktopEntry(std::string_view contents) {
    if (contents.find('\0') != std::string_view::npos)
        return std::nullopt;
    Values values;
    std::optional<std::string> firstGroup;
    bool inFirstGroup = false, inDesktopGroup = false;
    for (std::string_view line : glibLines(contents)) {
        line = withoutLeadingSpace(line);
        if (line.empty() || line.front() == '#')
            continue;
        if (line.front() == '[') {
            const auto close = line.find(']');
            if (close == std::string_view::npos ||
                line.find_first_not_of(" \t", close + 1) != std::string_view::npos)
                return std::nullopt;
            const std::string_view name = line.substr(1, close - 1);
            if (name.empty() || name.find('[') != std::string_view::npos ||
                std::any_of(name.begin(), name.end(),
                            [](char c) { return (c >= 0 && c < 0x20) || c == 0x7F; }))
                return std::nullopt;
            if (!firstGroup)
                firstGroup = std::string(name);
            inFirstGroup = name == *firstGroup;
            inDesktopGroup = name == desktopGroup;
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string_view::npos || equals == 0 || !firstGroup)
            return std::nullopt;
        const std::string_view key = withoutTrailingSpace(line.substr(0, equals));
        const std::string_view value = withoutLeadingSpace(line.substr(equals + 1));
        if (!isGlibKeyName(key))
            return std::nullopt;
        if (inFirstGroup && key == "Encoding" &&
            !(value.size() == 5 && strncasecmp(value.data(), "UTF-8", 5) == 0))
            return std::nullopt;
        if (inDesktopGroup)
            values.insert_or_assign(std::string(key), std::string(value));
    }
    if (firstGroup != desktopGroup)
        return std::nullopt;
    return values;
}

// A desktop-entry string with its escapes undone (\s \n \t \r \\, which both readers know);
// nullopt for another escape, which both refuse.
std::optional<std::string> unescaped(std::string_view value) {
    std::string text;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\') {
            text += value[i];
            continue;
        }
        if (++i == value.size())
            return std::nullopt;
        constexpr std::string_view escapes = "sntr\\", meanings = " \n\t\r\\";
        const auto at = escapes.find(value[i]);
        if (at == std::string_view::npos)
            return std::nullopt;
        text += meanings[at];
    }
    return text;
}

// A string value as GLib gives it; nullopt when absent, not UTF-8 or wrongly escaped.
std::optional<std::string> glibString(const Values& values, std::string_view key) {
    const auto found = values.find(key);
    if (found == values.end() || !isValidUtf8(found->second))
        return std::nullopt;
    return unescaped(found->second);
}

// GLib's reading of a Boolean: true or false, with trailing spaces; nullopt for anything else.
std::optional<bool> glibBoolean(const Values& values, std::string_view key) {
    const auto found = values.find(key);
    if (found == values.end())
        return std::nullopt;
    const std::string_view value = withoutTrailingSpace(found->second);
    if (value == "true" || value == "1")
        return true;
    if (value == "false" || value == "0")
        return false;
    return std::nullopt;
}

// The words of a command line as g_shell_parse_argv gives them; nullopt when it refuses it (an
// open quote, a trailing backslash, no word at all).
std::optional<std::vector<std::string>> glibShellWords(std::string_view line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < line.size();) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\n') {
            if (inWord)
                words.push_back(std::exchange(word, {}));
            inWord = false;
            ++i;
        } else if (c == '#' && !inWord) {
            i = std::min(line.find('\n', i), line.size());
        } else if (c == '\\') {
            if (i + 1 == line.size())
                return std::nullopt;
            if (line[i + 1] != '\n')
                word += line[i + 1];
            inWord = true;
            i += 2;
        } else if (c == '\'') {
            const auto close = line.find('\'', i + 1);
            if (close == std::string_view::npos)
                return std::nullopt;
            word += line.substr(i + 1, close - i - 1);
            inWord = true;
            i = close + 1;
        } else if (c == '"') {
            for (++i;; ++i) {
                if (i == line.size())
                    return std::nullopt;
                if (line[i] == '"')
                    break;
                if (line[i] == '\\' && i + 1 < line.size() &&
                    std::strchr("\"\\`$\n", line[i + 1])) {
                    if (line[++i] != '\n')
                        word += line[i];
                } else {
                    word += line[i];
                }
            }
            inWord = true;
            ++i;
        } else {
            word += c;
            inWord = true;
            ++i;
        }
    }
    if (inWord)
        words.push_back(word);
    if (words.empty())
        return std::nullopt;
    return words;
}

// A list value: items separated by semicolons, "\;" standing for a semicolon in an item.
std::vector<std::string> listItems(std::string_view value) {
    std::vector<std::string> items{""};
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size() && value[i + 1] == ';')
            items.back() += value[++i];
        else if (value[i] == ';')
            items.emplace_back();
        else
            items.back() += value[i];
    }
    std::erase(items, "");
    return items;
}

// OnlyShowIn and NotShowIn, which both readers apply alike: the first current desktop that
// either list names decides; with none, the entry shows unless OnlyShowIn names any.
bool showsIn(const std::optional<std::string>& onlyShowIn,
             const std::optional<std::string>& notShowIn, const AutostartSession& session) {
    const auto only = listItems(onlyShowIn.value_or(""));
    const auto never = listItems(notShowIn.value_or(""));
    for (const auto& desktop : session.currentDesktops) {
        if (std::ranges::find(only, desktop) != only.end())
            return true;
        if (std::ranges::find(never, desktop) != never.end())
            return false;
    }
    return only.empty();
}

// systemd's lines: ended by a line feed, a carriage return (with or without a line feed) or a
// NUL; a line whose end is an unescaped backslash goes on in the next one, comments excepted.
std::vector<std::string> systemdLines(std::string_view contents) {
    if (contents.starts_with(byteOrderMark))
        contents.remove_prefix(byteOrderMark.size());
    std::vector<std::string> lines;
    std::optional<std::string> continued;
    while (!contents.empty()) {
        const auto end = contents.find_first_of(std::string_view("\n\r\0", 3));
        std::string_view raw = contents.substr(0, end);
        if (end == std::string_view::npos)
            contents = {};
        else
            contents.remove_prefix(end + (contents.substr(end, 2) == "\r\n" ? 2 : 1));
        const std::string_view start = withoutLeadingSpace(raw);
        if (!continued && !start.empty() && (start.front() == '#' || start.front() == ';'))
            continue;
        std::string line = continued.value_or("") + std::string(raw);
        const auto backslashes =
            line.size() - 1 - std::min(line.find_last_not_of('\\'), line.size() - 1);
        if (!line.empty() && line.back() == '\\' && backslashes % 2 == 1) {
            line.back() = ' ';
            continued = std::move(line);
            continue;
        }
        continued.reset();
        lines.push_back(std::move(line));
    }
    if (continued)
        lines.push_back(std::move(*continued));
    return lines;
}

std::optional<bool> systemdBoolean(std::string_view value) {
    static constexpr std::string_view yes[] = {"1", "yes", "y", "true", "t", "on"};
    static constexpr std::string_view no[] = {"0", "no", "n", "false", "f", "off"};
    auto matches = [&](std::string_view word) {
        return value.size() == word.size() &&
               strncasecmp(value.data(), word.data(), word.size()) == 0;
    };
    if (std::ranges::any_of(yes, matches))
        return true;
    if (std::ranges::any_of(no, matches))
        return false;
    return std::nullopt;
}

// The keys of [Desktop Entry] that systemd reads, strings unescaped (the first of equal keys
// winning) and Booleans as "true" or "false" (the last winning); nullopt when systemd refuses
// the file, which then only hides entries of the same name: a broken group header, text that
// is not UTF-8, an unknown escape or a Boolean it cannot read.
std::optional<Values> systemdDesktopEntry(std::string_view contents) {
    static constexpr std::string_view strings[] = {"Name",
                                                   "Exec",
                                                   "Path",
                                                   "TryExec",
                                                   "Type",
                                                   "OnlyShowIn",
                                                   "NotShowIn",
                                                   "AutostartCondition",
                                                   "X-KDE-autostart-condition",
                                                   "X-GNOME-Autostart-Phase"};
    static constexpr std::string_view booleans[] = {"Hidden", "X-systemd-skip"};
    Values values;
    bool inDesktopGroup = false;
    for (const std::string& text : systemdLines(contents)) {
        const std::string_view line = stripped(text);
        if (line.empty() || line.front() == '#' || line.front() == ';')
            continue;
        if (line.front() == '[') {
            if (line.back() != ']')
                return std::nullopt;
            inDesktopGroup = line.substr(1, line.size() - 2) == desktopGroup;
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string_view::npos || equals == 0)
            continue;
        if (!isValidUtf8(line))
            return std::nullopt;
        const std::string key(stripped(line.substr(0, equals)));
        const std::string_view value = stripped(line.substr(equals + 1));
        if (!inDesktopGroup || key.find('[') != std::string::npos)
            continue;
        if (std::ranges::find(strings, key) != std::end(strings)) {
            auto text = unescaped(value);
            if (!text)
                return std::nullopt;
            values.try_emplace(key, std::move(*text));
        } else if (std::ranges::find(booleans, key) != std::end(booleans)) {
            const auto flag = systemdBoolean(value);
            if (!flag)
                return std::nullopt;
            values.insert_or_assign(key, *flag ? "true" : "false");
        }
    }
    return values;
}

// One C escape as systemd's cunescape reads it, appended to text; the number of characters it
// took after the backslash, or 0 when it refuses it.
std::size_t appendCEscape(std::string_view rest, std::string& text) {
    static constexpr std::string_view plain = "abfnrtv\\\"'s";
    static constexpr std::string_view meaning = "\a\b\f\n\r\t\v\\\"' ";
    if (rest.empty())
        return 0;
    if (const auto at = plain.find(rest.front()); at != std::string_view::npos) {
        text += meaning[at];
        return 1;
    }
    int base = 16;
    std::size_t digits = 0;
    switch (rest.front()) {
    case 'x':
        digits = 2;
        break;
    case 'u':
        digits = 4;
        break;
    case 'U':
        digits = 8;
        break;
    default:
        if (rest.front() < '0' || rest.front() > '7')
            return 0;
        base = 8, digits = 3;
    }
    const std::size_t skip = base == 8 ? 0 : 1;
    if (rest.size() < skip + digits)
        return 0;
    char32_t code = 0;
    for (std::size_t k = skip; k < skip + digits; ++k) {
        const char c = rest[k];
        const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                          : base == 16 && std::isxdigit(static_cast<unsigned char>(c))
                              ? std::tolower(c) - 'a' + 10
                              : -1;
        if (digit < 0 || digit >= base)
            return 0;
        code = code * base + static_cast<char32_t>(digit);
    }
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) ||
        (base == 8 && code > 0xFF))
        return 0;
    if (base == 8 || digits == 2 || code < 0x80) { // a byte, or an ASCII character
        text += static_cast<char>(code);
    } else if (code < 0x800) {
        text += static_cast<char>(0xC0 | code >> 6);
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        text += static_cast<char>(0xE0 | code >> 12);
        text += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | code >> 18);
        text += static_cast<char>(0x80 | (code >> 12 & 0x3F));
        text += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    }
    return skip + digits;
}

// The words of Exec as systemd's generator splits them (quotes removed, a backslash taking the
// next character as it is, an open quote closed at the end), then with C escapes undone; nullopt
// when a word holds an escape it refuses.
std::optional<std::vector<std::string>> systemdExecWords(std::string_view line) {
    std::vector<std::string> split;
    std::size_t i = 0;
    const auto isSeparator = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (true) {
        while (i < line.size() && isSeparator(line[i]))
            ++i;
        if (i == line.size())
            break;
        std::string word;
        char quote = 0;
        for (; i < line.size(); ++i) {
            const char c = line[i];
            if (c == '\\') {
                if (++i == line.size())
                    break;
                word += line[i];
            } else if (quote) {
                if (c == quote)
                    quote = 0;
                else
                    word += c;
            } else if (c == '\'' || c == '"') {
                quote = c;
            } else if (isSeparator(c)) {
                break;
            } else {
                word += c;
            }
        }
        split.push_back(std::move(word));
    }
    std::vector<std::string> words;
    for (const auto& word : split) {
        std::string text;
        for (std::size_t k = 0; k < word.size(); ++k) {
            if (word[k] != '\\') {
                text += word[k];
                continue;
            }
            const std::size_t taken = appendCEscape(std::string_view(word).substr(k + 1), text);
            if (taken == 0)
                return std::nullopt;
            k += taken;
        }
        words.push_back(std::move(text));
    }
    return words;
}

// What systemd accepts as the program of a service: no quote, backslash or control character.
bool systemdAcceptsProgramName(std::string_view program) {
    return std::none_of(program.begin(), program.end(), [](char c) {
        return (c > 0 && c < ' ') || c == 0x7F || c == '"' || c == '\'' || c == '\\';
    });
}

std::optional<std::string> value(const Values& values, std::string_view key) {
    const auto found = values.find(key);
    return found == values.end() ? std::nullopt : std::optional(found->second);
}

std::vector<std::string> colonSeparated(std::string_view text) {
    std::vector<std::string> items;
    while (!text.empty()) {
        const auto colon = text.find(':');
        if (colon != 0)
            items.emplace_back(text.substr(0, colon));
        text = colon == std::string_view::npos ? std::string_view{} : text.substr(colon + 1);
    }
    return items;
}

bool isExecutableFile(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

} // namespace

AutostartSession currentAutostartSession() {
    AutostartSession session;
    if (const char* desktops = std::getenv("XDG_CURRENT_DESKTOP"))
        session.currentDesktops = colonSeparated(desktops);
    session.isExecutable = [](const std::string& command) {
        if (command.starts_with('/'))
            return isExecutableFile(command);
        // A relative path depends on a working directory that the readers do not share.
        if (command.empty() || command.find('/') != std::string::npos)
            return false;
        const char* path = std::getenv("PATH");
        for (const auto& folder : colonSeparated(path ? path : "/usr/local/bin:/usr/bin:/bin"))
            if (folder.starts_with('/') && isExecutableFile(folder + "/" + command))
                return true;
        return false;
    };
    return session;
}

bool glibStartsEntry(std::string_view contents, const AutostartSession& session) {
    const auto values = glibDesktopEntry(contents);
    if (!values || glibString(*values, "Type") != "Application")
        return false;
    if (values->contains("TryExec")) {
        const auto tryExec = glibString(*values, "TryExec");
        if (tryExec && !tryExec->empty() && !session.isExecutable(*tryExec))
            return false;
    }
    const auto exec = glibString(*values, "Exec");
    const auto words = exec ? glibShellWords(*exec) : std::nullopt;
    if (!words || !session.isExecutable(words->front()))
        return false;
    if (glibBoolean(*values, "Hidden") == true)
        return false;
    // The GNOME session's own switch: present and not true means off.
    if (values->contains("X-GNOME-Autostart-enabled") &&
        glibBoolean(*values, "X-GNOME-Autostart-enabled") != true)
        return false;
    return showsIn(glibString(*values, "OnlyShowIn"), glibString(*values, "NotShowIn"), session);
}

bool systemdStartsEntry(std::string_view contents, const AutostartSession& session) {
    const auto values = systemdDesktopEntry(contents);
    if (!values || value(*values, "Hidden") == "true" || value(*values, "X-systemd-skip") == "true")
        return false;
    if (value(*values, "Type") != "Application" || values->contains("X-GNOME-Autostart-Phase"))
        return false;
    if (const auto tryExec = value(*values, "TryExec"); tryExec && !session.isExecutable(*tryExec))
        return false;
    const auto exec = value(*values, "Exec");
    const auto words = exec ? systemdExecWords(*exec) : std::nullopt;
    if (!words || words->empty() || !session.isExecutable(words->front()) ||
        !systemdAcceptsProgramName(words->front()))
        return false;
    return showsIn(value(*values, "OnlyShowIn"), value(*values, "NotShowIn"), session);
}

bool sessionStartsEntry(std::string_view contents, const AutostartSession& session) {
    return glibStartsEntry(contents, session) && systemdStartsEntry(contents, session);
}

std::optional<std::string> unstartableProgram(const std::string& path) {
    if (!isValidUtf8(path))
        return texts::programPathNotUtf8;
    if (path.ends_with(" (deleted)"))
        return texts::programReplaced;
    if (!path.starts_with('/'))
        return texts::programPathNotAbsolute(path);
    // NOTE: % would read as a field code, and $ and ` come out of systemd's quoting with a
    // backslash, which its services refuse in a program's name.
    if (path.find_first_of("%$`") != std::string::npos || !systemdAcceptsProgramName(path))
        return texts::programPathUnlaunchable(path);
    if (!isExecutableFile(path))
        return texts::programNotExecutable(path);
    return std::nullopt;
}

} // namespace kavelin::platform
