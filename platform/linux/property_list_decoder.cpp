// Property-list decoding over libplist 2.2 (XML and binary formats).
// libplist recurses once per nesting level without any limit, takes every XML document for UTF-8
// and trusts the binary objects it parses; a version file comes from an untrusted disk. So an XML
// document is first converted to UTF-8 (glibc's iconv) and its element structure measured without
// recursion; a binary one is checked object by object (binary_property_list.cpp), which is also
// where its entries are read, libplist only confirming that it decodes. Not supported: the JSON
// and OpenStep formats (libplist 2.2 has neither).

#include "platform/linux/property_list_decoder.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <iconv.h>
#include <plist/plist.h>

#include "platform/linux/binary_property_list.h"

namespace kavelin::platform {
namespace {

constexpr std::string_view binaryMagic = "bplist00";

bool startsWith(std::string_view text, std::size_t at, std::string_view prefix) {
    return text.size() >= at && text.substr(at).starts_with(prefix);
}

bool isXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Follows the element structure of an XML document: comments, CDATA sections and processing
// instructions are skipped as libplist skips them; a close tag must match the innermost open
// one. Rejects a document type with an internal subset (no property list has one).
bool xmlWithinBounds(std::string_view xml) {
    std::vector<std::string_view> open;
    std::size_t at = 0;
    while ((at = xml.find('<', at)) != std::string_view::npos) {
        auto skipPast = [&](std::string_view end) {
            std::size_t found = xml.find(end, at);
            at = found == std::string_view::npos ? xml.size() : found + end.size();
        };
        if (startsWith(xml, at, "<!--")) {
            at += 4;
            skipPast("-->");
        } else if (startsWith(xml, at, "<![CDATA[")) {
            at += 9;
            skipPast("]]>");
        } else if (startsWith(xml, at, "<?")) {
            at += 2;
            skipPast("?>");
        } else if (startsWith(xml, at, "<!")) {
            std::size_t end = xml.find('>', at);
            std::string_view declaration = xml.substr(at, end - at);
            if (end == std::string_view::npos || declaration.find('[') != std::string_view::npos)
                return false;
            at = end + 1;
        } else {
            bool closing = startsWith(xml, at, "</");
            std::size_t nameStart = at + (closing ? 2 : 1);
            std::size_t nameEnd = nameStart;
            while (nameEnd < xml.size() && !isXmlSpace(xml[nameEnd]) && xml[nameEnd] != '>' &&
                   xml[nameEnd] != '/')
                ++nameEnd;
            std::string_view name = xml.substr(nameStart, nameEnd - nameStart);
            // The tag ends at the first '>' outside a quoted attribute value.
            std::size_t end = nameEnd;
            char quote = 0;
            for (; end < xml.size(); ++end) {
                char c = xml[end];
                if (quote) {
                    if (c == quote)
                        quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '>') {
                    break;
                }
            }
            if (end == xml.size())
                return false;
            if (closing) {
                if (open.empty() || open.back() != name)
                    return false;
                open.pop_back();
            } else {
                std::size_t last = end;
                while (last > nameEnd && isXmlSpace(xml[last - 1]))
                    --last;
                bool selfClosing = last > nameEnd && xml[last - 1] == '/';
                if (!selfClosing) {
                    open.push_back(name);
                    if (open.size() > maxPropertyListDepth)
                        return false;
                }
            }
            at = end + 1;
        }
    }
    // NOTE: libplist keeps a NUL byte but miscounts the string around it, and asserts when a
    // key holds one; XML allows no U+0000 in any form.
    return xml.find('\0') == std::string_view::npos;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

struct TextEncoding {
    std::string name;     // as iconv knows it
    std::size_t skip = 0; // bytes of the byte-order mark
};

// The encoding of an XML document as the system that writes version files detects it: a
// byte-order mark, then UTF-16 without one (a NUL byte next to the opening '<'), then the
// encoding that the declaration names; UTF-8 when none is named. nullopt for a name that is
// not a character-set name.
std::optional<TextEncoding> xmlEncoding(std::string_view data) {
    const std::pair<std::string_view, std::string_view> marks[] = {
        {std::string_view("\0\0\xFE\xFF", 4), "UTF-32BE"},
        {std::string_view("\xFF\xFE\0\0", 4), "UTF-32LE"},
        {"\xEF\xBB\xBF", "UTF-8"},
        {"\xFE\xFF", "UTF-16BE"},
        {"\xFF\xFE", "UTF-16LE"},
    };
    for (auto& [mark, name] : marks)
        if (data.starts_with(mark))
            return TextEncoding{std::string(name), mark.size()};
    if (data.starts_with(std::string_view("\0<", 2)))
        return TextEncoding{"UTF-16BE"};
    if (data.starts_with(std::string_view("<\0", 2)))
        return TextEncoding{"UTF-16LE"};

    const std::string_view declaration = data.substr(0, data.find("?>"));
    if (!declaration.starts_with("<?xml"))
        return TextEncoding{"UTF-8"};
    std::size_t at = declaration.find("encoding");
    if (at == std::string_view::npos)
        return TextEncoding{"UTF-8"};
    at += 8;
    auto skipSpaces = [&] {
        while (at < declaration.size() && isXmlSpace(declaration[at]))
            ++at;
    };
    skipSpaces();
    if (at == declaration.size() || declaration[at++] != '=')
        return std::nullopt;
    skipSpaces();
    if (at == declaration.size() || (declaration[at] != '"' && declaration[at] != '\''))
        return std::nullopt;
    const std::size_t end = declaration.find(declaration[at], at + 1);
    const std::string_view name = declaration.substr(at + 1, end - at - 1);
    // Character-set names are short and of letters, digits and a few marks; a slash would be
    // read by iconv as a conversion option.
    auto nameCharacter = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.' ||
               c == ':' || c == '+';
    };
    if (end == std::string_view::npos || name.empty() || name.size() > 40 ||
        !std::all_of(name.begin(), name.end(), nameCharacter))
        return std::nullopt;
    return TextEncoding{std::string(name)};
}

// The document in UTF-8 without a byte-order mark, converted into `converted` when it is in
// another encoding; nullopt when its encoding is unknown or a byte sequence is invalid in it.
std::optional<std::string_view> xmlAsUtf8(std::string_view data, std::string& converted) {
    auto encoding = xmlEncoding(data);
    if (!encoding)
        return std::nullopt;
    data.remove_prefix(encoding->skip);
    if (equalsIgnoringCase(encoding->name, "UTF-8") || equalsIgnoringCase(encoding->name, "UTF8"))
        return data;

    iconv_t converter = iconv_open("UTF-8", encoding->name.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::unique_ptr<void, decltype(&iconv_close)> closer(converter, iconv_close);
    std::string& text = converted;
    text.assign(data.size() * 2 + 16, '\0');
    char* in = const_cast<char*>(data.data());
    std::size_t inLeft = data.size();
    std::size_t written = 0;
    while (inLeft > 0) {
        char* out = text.data() + written;
        std::size_t outLeft = text.size() - written;
        const std::size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
        written = text.size() - outLeft;
        if (result == static_cast<std::size_t>(-1)) {
            if (errno != E2BIG)
                return std::nullopt; // an invalid or incomplete sequence
            text.resize(text.size() * 2);
        }
    }
    text.resize(written);
    return std::string_view(text);
}

struct PlistDeleter {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
struct FreeDeleter {
    void operator()(void* pointer) const { std::free(pointer); }
};

using PlistPointer = std::unique_ptr<void, PlistDeleter>;

PlistPointer parse(std::string_view data) {
    plist_t root = nullptr;
    plist_from_memory(data.data(), static_cast<std::uint32_t>(data.size()), &root);
    return PlistPointer(root);
}

} // namespace

std::optional<PropertyList> decodePropertyListData(std::string_view data) {
    if (data.size() > std::numeric_limits<std::uint32_t>::max())
        return std::nullopt;
    if (data.starts_with(binaryMagic)) {
        auto list = readBinaryPropertyList(data);
        if (!list || !parse(data))
            return std::nullopt;
        return list;
    }
    std::string converted;
    auto xml = xmlAsUtf8(data, converted);
    if (!xml || xml->size() > std::numeric_limits<std::uint32_t>::max() || !xmlWithinBounds(*xml))
        return std::nullopt;
    auto root = parse(*xml);
    if (!root)
        return std::nullopt;

    PropertyList list;
    if (plist_get_node_type(root.get()) != PLIST_DICT)
        return list;
    list.isDictionary = true;
    plist_dict_iter rawIter = nullptr;
    plist_dict_new_iter(root.get(), &rawIter);
    std::unique_ptr<void, FreeDeleter> iter(rawIter);
    for (;;) {
        char* rawKey = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(root.get(), iter.get(), &rawKey, &value);
        std::unique_ptr<char, FreeDeleter> key(rawKey);
        if (!key || !value)
            break;
        PropertyList::Entry entry{key.get(), std::nullopt};
        if (plist_get_node_type(value) == PLIST_STRING) {
            std::uint64_t length = 0;
            if (const char* string = plist_get_string_ptr(value, &length))
                entry.stringValue = std::string(string, length);
        }
        list.entries.push_back(std::move(entry));
    }
    return list;
}

} // namespace kavelin::platform
