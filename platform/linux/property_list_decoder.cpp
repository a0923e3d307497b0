// Property-list decoding over libplist 2.2 (XML and binary formats).
// libplist recurses once per nesting level and copies a binary object each time it is referenced,
// without any limit; a version file comes from an untrusted disk. So the structure is measured
// first, without recursion, and the data reaches libplist only when its nesting depth and, for
// the binary format, its expanded size are within bounds. Not supported: the JSON and OpenStep
// formats (libplist 2.2 has neither).

#include "platform/linux/property_list_decoder.h"

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <plist/plist.h>

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
    return true;
}

std::uint64_t readBigEndian(std::string_view data, std::size_t at, std::size_t size) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i)
        value = (value << 8) | static_cast<unsigned char>(data[at + i]);
    return value;
}

// Walks the object graph of a binary property list from its top object, without recursion:
// rejects malformed offsets and references, cycles, nesting deeper than the bound, and graphs
// whose shared objects would expand beyond the value budget when copied out.
bool binaryWithinBounds(std::string_view data) {
    constexpr std::size_t trailerSize = 32;
    if (data.size() < binaryMagic.size() + trailerSize)
        return false;
    const std::size_t trailer = data.size() - trailerSize;
    const std::size_t offsetSize = static_cast<unsigned char>(data[trailer + 6]);
    const std::size_t refSize = static_cast<unsigned char>(data[trailer + 7]);
    const std::uint64_t objectCount = readBigEndian(data, trailer + 8, 8);
    const std::uint64_t topObject = readBigEndian(data, trailer + 16, 8);
    const std::uint64_t tableOffset = readBigEndian(data, trailer + 24, 8);
    if (offsetSize < 1 || offsetSize > 8 || refSize < 1 || refSize > 8)
        return false;
    // Every object takes at least one byte, so a valid count is below the data size.
    if (objectCount == 0 || objectCount > data.size() || topObject >= objectCount)
        return false;
    if (tableOffset < binaryMagic.size() || tableOffset > trailer ||
        objectCount * offsetSize > trailer - tableOffset)
        return false;

    auto objectOffset = [&](std::uint64_t object) -> std::optional<std::size_t> {
        std::uint64_t offset = readBigEndian(data, tableOffset + object * offsetSize, offsetSize);
        if (offset < binaryMagic.size() || offset >= tableOffset)
            return std::nullopt;
        return static_cast<std::size_t>(offset);
    };

    struct Container {
        std::size_t refs = 0;  // position of the first reference
        std::size_t count = 0; // number of references
    };
    // The references of a container object (array, ordered set, set, dictionary); count 0 for
    // any other object.
    auto containerAt = [&](std::size_t offset) -> std::optional<Container> {
        const unsigned char marker = static_cast<unsigned char>(data[offset]);
        const unsigned kind = marker >> 4;
        if (kind < 0xA || kind > 0xD)
            return Container{};
        std::size_t at = offset + 1;
        std::uint64_t count = marker & 0x0F;
        if (count == 0x0F) {
            if (at >= tableOffset)
                return std::nullopt;
            const unsigned char intMarker = static_cast<unsigned char>(data[at]);
            const std::size_t intSize = std::size_t{1} << (intMarker & 0x0F);
            if ((intMarker >> 4) != 0x1 || intSize > 8 || tableOffset - at - 1 < intSize)
                return std::nullopt;
            count = readBigEndian(data, at + 1, intSize);
            at += 1 + intSize;
        }
        if (kind == 0xD) {
            if (count > std::numeric_limits<std::uint64_t>::max() / 2)
                return std::nullopt;
            count *= 2;
        }
        if (count > (tableOffset - at) / refSize)
            return std::nullopt;
        return Container{at, static_cast<std::size_t>(count)};
    };

    enum : std::uint8_t { unvisited, inProgress, done };
    std::vector<std::uint8_t> state(objectCount, unvisited);
    std::vector<std::uint64_t> expanded(objectCount, 0);
    struct Frame {
        std::uint64_t object;
        Container container;
        std::size_t next;
        std::uint64_t values;
    };
    std::vector<Frame> stack;

    auto enter = [&](std::uint64_t object) -> bool {
        auto offset = objectOffset(object);
        if (!offset)
            return false;
        auto container = containerAt(*offset);
        if (!container)
            return false;
        state[object] = inProgress;
        stack.push_back({object, *container, 0, 1});
        return stack.size() <= maxPropertyListDepth;
    };

    if (!enter(topObject))
        return false;
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next == frame.container.count) {
            std::uint64_t values = frame.values;
            state[frame.object] = done;
            expanded[frame.object] = values;
            stack.pop_back();
            if (!stack.empty())
                stack.back().values += values;
            continue;
        }
        std::uint64_t child =
            readBigEndian(data, frame.container.refs + frame.next * refSize, refSize);
        ++frame.next;
        if (child >= objectCount || state[child] == inProgress)
            return false;
        if (state[child] == done) {
            frame.values += expanded[child];
            if (frame.values > maxPropertyListValues)
                return false;
        } else if (!enter(child)) {
            return false;
        }
    }
    return expanded[topObject] <= maxPropertyListValues;
}

struct PlistDeleter {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
struct FreeDeleter {
    void operator()(void* pointer) const { std::free(pointer); }
};

} // namespace

std::optional<PropertyList> decodePropertyListData(std::string_view data) {
    if (data.size() > std::numeric_limits<std::uint32_t>::max())
        return std::nullopt;
    const bool binary = data.starts_with(binaryMagic);
    if (!(binary ? binaryWithinBounds(data) : xmlWithinBounds(data)))
        return std::nullopt;

    plist_t rawRoot = nullptr;
    plist_from_memory(data.data(), static_cast<std::uint32_t>(data.size()), &rawRoot);
    std::unique_ptr<void, PlistDeleter> root(rawRoot);
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
