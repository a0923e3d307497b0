// A checking reader of the binary property-list format, without recursion. libplist 2.2 trusts
// the objects it parses: a key holding U+0000 trips an assertion that ends the process, an ASCII
// string is cut at its first NUL, a shared object is copied at each reference. So every object
// that libplist would reach is checked here first, and the entries are read from here.

#include "platform/linux/binary_property_list.h"

#include <cstdint>
#include <string>
#include <vector>

#include "platform/linux/property_list_decoder.h"

namespace kavelin::platform {
namespace {

constexpr std::string_view magic = "bplist00";
constexpr std::size_t trailerSize = 32;

enum Type : unsigned {
    simple = 0x0, // null, false, true
    integer = 0x1,
    real = 0x2,
    date = 0x3,
    data = 0x4,
    asciiString = 0x5,
    utf16String = 0x6,
    uid = 0x8,
    array = 0xA,
    dictionary = 0xD,
};

struct Object {
    unsigned type = 0;
    std::size_t payload = 0; // first byte after the marker and the length
    std::size_t count = 0;   // bytes, UTF-16 code units, references or entries
    std::size_t size = 0;    // bytes from the payload on
};

std::uint64_t readBigEndian(std::string_view bytes, std::size_t at, std::size_t size) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

void appendUtf8(std::string& text, std::uint32_t c) {
    if (c < 0x80) {
        text += static_cast<char>(c);
    } else if (c < 0x800) {
        text += static_cast<char>(0xC0 | c >> 6);
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        text += static_cast<char>(0xE0 | c >> 12);
        text += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | c >> 18);
        text += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        text += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    }
}

class Reader {
public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}

    bool readTrailer() {
        if (!bytes_.starts_with(magic) || bytes_.size() < magic.size() + trailerSize)
            return false;
        const std::size_t trailer = bytes_.size() - trailerSize;
        offsetSize_ = static_cast<unsigned char>(bytes_[trailer + 6]);
        refSize_ = static_cast<unsigned char>(bytes_[trailer + 7]);
        objectCount_ = readBigEndian(bytes_, trailer + 8, 8);
        topObject_ = readBigEndian(bytes_, trailer + 16, 8);
        tableOffset_ = readBigEndian(bytes_, trailer + 24, 8);
        if (offsetSize_ < 1 || offsetSize_ > 8 || refSize_ < 1 || refSize_ > 8)
            return false;
        // Every object takes at least one byte, so a valid count is below the data size.
        if (objectCount_ == 0 || objectCount_ > bytes_.size() || topObject_ >= objectCount_)
            return false;
        return tableOffset_ >= magic.size() && tableOffset_ <= trailer &&
               objectCount_ * offsetSize_ <= trailer - tableOffset_;
    }

    std::uint64_t objectCount() const { return objectCount_; }
    std::uint64_t topObject() const { return topObject_; }

    // The object at an index of the offset table, when its encoding is well formed.
    std::optional<Object> object(std::uint64_t index) const {
        const std::uint64_t offset =
            readBigEndian(bytes_, tableOffset_ + index * offsetSize_, offsetSize_);
        if (offset < magic.size() || offset >= tableOffset_)
            return std::nullopt;
        const unsigned marker = static_cast<unsigned char>(bytes_[offset]);
        Object object{marker >> 4u, static_cast<std::size_t>(offset) + 1, 0, 0};
        const unsigned low = marker & 0x0Fu;
        switch (object.type) {
        case simple:
            if (marker != 0x00 && marker != 0x08 && marker != 0x09)
                return std::nullopt;
            break;
        case integer:
            if (low > 4)
                return std::nullopt;
            object.size = std::size_t{1} << low;
            break;
        case real:
            if (low != 2 && low != 3)
                return std::nullopt;
            object.size = std::size_t{1} << low;
            break;
        case date:
            if (low != 3)
                return std::nullopt;
            object.size = 8;
            break;
        case uid:
            if (low != 0 && low != 1 && low != 3 && low != 7)
                return std::nullopt;
            object.size = low + 1;
            break;
        case data:
        case asciiString:
        case utf16String:
        case array:
        case dictionary: {
            if (!readCount(low, object))
                return std::nullopt;
            const std::uint64_t unit = object.type == utf16String  ? 2
                                       : object.type == array      ? refSize_
                                       : object.type == dictionary ? 2 * refSize_
                                                                   : 1;
            if (object.count > (tableOffset_ - object.payload) / unit)
                return std::nullopt;
            object.size = static_cast<std::size_t>(object.count * unit);
            break;
        }
        default: // sets, and markers the format does not define
            return std::nullopt;
        }
        if (object.size > tableOffset_ - object.payload)
            return std::nullopt;
        if (object.type == asciiString) {
            for (char c : bytes_.substr(object.payload, object.size))
                if (static_cast<unsigned char>(c) >= 0x80)
                    return std::nullopt;
        }
        return object;
    }

    // The object index that a container's i-th reference names (for a dictionary, its keys
    // come first, then its values).
    std::uint64_t reference(const Object& container, std::size_t i) const {
        return readBigEndian(bytes_, container.payload + i * refSize_, refSize_);
    }

    std::string text(const Object& string) const {
        std::string_view payload = bytes_.substr(string.payload, string.size);
        if (string.type == asciiString)
            return std::string(payload);
        std::string text;
        for (std::size_t i = 0; i < string.count; ++i) {
            const auto unit = static_cast<std::uint32_t>(readBigEndian(payload, 2 * i, 2));
            if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < string.count) {
                const auto next = static_cast<std::uint32_t>(readBigEndian(payload, 2 * i + 2, 2));
                if (next >= 0xDC00 && next < 0xE000) {
                    appendUtf8(text, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
                    ++i;
                    continue;
                }
            }
            appendUtf8(text, unit >= 0xD800 && unit < 0xE000 ? 0xFFFD : unit);
        }
        return text;
    }

private:
    // A length of 15 or more follows the marker as an integer object of 1, 2, 4 or 8 bytes.
    bool readCount(unsigned low, Object& object) const {
        if (low != 0x0F) {
            object.count = low;
            return true;
        }
        const std::size_t at = object.payload;
        if (at >= tableOffset_)
            return false;
        const auto marker = static_cast<unsigned char>(bytes_[at]);
        const std::size_t size = std::size_t{1} << (marker & 0x0Fu);
        if ((marker >> 4u) != integer || size > 8 || tableOffset_ - at - 1 < size)
            return false;
        const std::uint64_t count = readBigEndian(bytes_, at + 1, size);
        if (count > bytes_.size())
            return false;
        object.count = static_cast<std::size_t>(count);
        object.payload = at + 1 + size;
        return true;
    }

    std::string_view bytes_;
    std::size_t offsetSize_ = 0;
    std::size_t refSize_ = 0;
    std::uint64_t objectCount_ = 0;
    std::uint64_t topObject_ = 0;
    std::uint64_t tableOffset_ = 0;
};

bool isString(const Object& object) {
    return object.type == asciiString || object.type == utf16String;
}

// Checks every object reachable from the top one, depth first without recursion, and measures
// what the graph expands to when each reference gets its own copy.
bool reachableObjectsWellFormed(const Reader& reader) {
    enum : std::uint8_t { unvisited, inProgress, done };
    struct Expanded {
        std::uint64_t values = 0;
        std::uint64_t bytes = 0;
    };
    struct Frame {
        std::uint64_t index;
        Object object;
        std::size_t references; // to follow: the count, twice for a dictionary
        std::size_t next;
        Expanded expanded;
    };
    std::vector<std::uint8_t> state(reader.objectCount(), unvisited);
    std::vector<Expanded> expanded(reader.objectCount());
    std::vector<Frame> stack;

    auto enter = [&](std::uint64_t index, bool mustBeString) {
        auto object = reader.object(index);
        if (!object || (mustBeString && !isString(*object)))
            return false;
        const bool container = object->type == array || object->type == dictionary;
        const std::size_t references =
            container ? object->count * (object->type == dictionary ? 2 : 1) : 0;
        const std::uint64_t bytes = container ? 0 : object->size;
        state[index] = inProgress;
        stack.push_back({index, *object, references, 0, {1, bytes}});
        return stack.size() <= maxPropertyListDepth;
    };
    auto withinBudget = [](const Expanded& e) {
        return e.values <= maxPropertyListValues && e.bytes <= maxPropertyListExpandedBytes;
    };

    if (!enter(reader.topObject(), false))
        return false;
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next == frame.references) {
            const Expanded finished = frame.expanded;
            state[frame.index] = done;
            expanded[frame.index] = finished;
            stack.pop_back();
            if (!stack.empty()) {
                stack.back().expanded.values += finished.values;
                stack.back().expanded.bytes += finished.bytes;
                if (!withinBudget(stack.back().expanded))
                    return false;
            }
            continue;
        }
        const bool isKey = frame.object.type == dictionary && frame.next < frame.object.count;
        const std::uint64_t child = reader.reference(frame.object, frame.next++);
        if (child >= reader.objectCount() || state[child] == inProgress)
            return false;
        if (state[child] == unvisited) {
            if (!enter(child, isKey))
                return false;
            continue;
        }
        if (isKey && !isString(*reader.object(child)))
            return false;
        frame.expanded.values += expanded[child].values;
        frame.expanded.bytes += expanded[child].bytes;
        if (!withinBudget(frame.expanded))
            return false;
    }
    return withinBudget(expanded[reader.topObject()]);
}

} // namespace

std::optional<PropertyList> readBinaryPropertyList(std::string_view bytes) {
    Reader reader(bytes);
    if (!reader.readTrailer() || !reachableObjectsWellFormed(reader))
        return std::nullopt;
    PropertyList list;
    const Object top = *reader.object(reader.topObject());
    if (top.type != dictionary)
        return list;
    list.isDictionary = true;
    for (std::size_t i = 0; i < top.count; ++i) {
        const Object key = *reader.object(reader.reference(top, i));
        const Object value = *reader.object(reader.reference(top, top.count + i));
        list.entries.push_back(
            {reader.text(key), isString(value) ? std::optional(reader.text(value)) : std::nullopt});
    }
    return list;
}

} // namespace kavelin::platform
