// Decoding time of the most expensive property lists that fit in the version-file bound, and of
// the hostile ones the decoder refuses. The bound is chosen so that every one of these stays
// far below a millisecond or two.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <functional>
#include <string>

#include "platform/linux/linux_volume_source.h"
#include "platform/linux/property_list_decoder.h"

namespace kavelin::platform {
namespace {

const std::string xmlHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">";
const std::string xmlTail = "</plist>\n";

std::string repeatToFill(const std::string& head, const std::string& unit, const std::string& tail,
                         std::size_t size = maxVersionFileSize) {
    std::string text = head;
    while (text.size() + unit.size() + tail.size() <= size)
        text += unit;
    return text + tail;
}

void appendBigEndian(std::string& data, std::uint64_t value, int bytes) {
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8)
        data += static_cast<char>((value >> shift) & 0xFF);
}

// A binary property list of encoded objects, references and offsets two bytes wide.
std::string binary(const std::vector<std::string>& objects) {
    std::string data = "bplist00";
    std::vector<std::uint64_t> offsets;
    for (auto& object : objects) {
        offsets.push_back(data.size());
        data += object;
    }
    std::uint64_t table = data.size();
    for (auto offset : offsets)
        appendBigEndian(data, offset, 2);
    data += std::string(6, '\0') + "\x02\x02";
    appendBigEndian(data, objects.size(), 8);
    appendBigEndian(data, 0, 8);
    appendBigEndian(data, table, 8);
    return data;
}

std::string arrayOf(const std::vector<std::uint64_t>& refs) {
    std::string object;
    if (refs.size() < 15) {
        object += static_cast<char>(0xA0 | refs.size());
    } else {
        object += "\xAF\x11";
        appendBigEndian(object, refs.size(), 2);
    }
    for (auto ref : refs)
        appendBigEndian(object, ref, 2);
    return object;
}

// Object i refers to object i + 1, depth objects deep.
std::string binaryNested(std::size_t depth) {
    std::vector<std::string> objects;
    for (std::size_t i = 0; i < depth; ++i)
        objects.push_back(i + 1 < depth ? arrayOf({i + 1}) : arrayOf({}));
    return binary(objects);
}

// One array of `fan` references to an array of `fan` references ... : fan^levels values.
std::string binaryMultiplying(std::size_t levels, std::size_t fan) {
    std::vector<std::string> objects;
    for (std::size_t i = 0; i < levels; ++i)
        objects.push_back(arrayOf(std::vector<std::uint64_t>(fan, i + 1)));
    objects.push_back("\x09");
    return binary(objects);
}

// One array of as many distinct one-character strings as fit.
std::string binaryWide() {
    std::vector<std::string> objects = {""};
    std::vector<std::uint64_t> refs;
    for (std::size_t i = 1; i < 2600; ++i) {
        objects.push_back(std::string("\x51") + static_cast<char>('a' + i % 26));
        refs.push_back(i);
    }
    objects[0] = arrayOf(refs);
    return binary(objects);
}

// One dictionary of as many distinct two-character keys as fit, every value the same string.
std::string binaryWideDictionary() {
    std::vector<std::string> objects = {"", "\x51v"};
    std::string dictionary = "\xDF\x11";
    std::vector<std::uint64_t> keys;
    for (std::size_t i = 0; i < 1500; ++i) {
        keys.push_back(objects.size());
        objects.push_back(std::string("\x52") + static_cast<char>('!' + i % 90) +
                          static_cast<char>('!' + i / 90));
    }
    appendBigEndian(dictionary, keys.size(), 2);
    for (auto key : keys)
        appendBigEndian(dictionary, key, 2);
    for (std::size_t i = 0; i < keys.size(); ++i)
        appendBigEndian(dictionary, 1, 2);
    objects[0] = dictionary;
    return binary(objects);
}

// One array of `copies` references to one ASCII string of `length` bytes.
std::string binarySharedString(std::size_t copies, std::size_t length) {
    std::string string = "\x5F\x11";
    appendBigEndian(string, length, 2);
    return binary(
        {arrayOf(std::vector<std::uint64_t>(copies, 1)), string + std::string(length, 'x')});
}

// A document in UTF-16 with a byte-order mark, as many keys as fit: every byte is converted.
std::string xmlUtf16ManyKeys() {
    std::string utf8 = repeatToFill(xmlHead + "<dict>", "<key>k</key><string>v</string>",
                                    "</dict>" + xmlTail, maxVersionFileSize / 2 - 1);
    std::string utf16 = "\xFF\xFE";
    for (char c : utf8)
        utf16 += std::string{c, '\0'};
    return utf16;
}

std::string xmlNested(std::size_t depth) {
    std::string text = xmlHead;
    for (std::size_t i = 0; i < depth; ++i)
        text += "<array>";
    for (std::size_t i = 0; i < depth; ++i)
        text += "</array>";
    return text + xmlTail;
}

void decode(benchmark::State& state, const std::string& data, bool accepted) {
    bool decoded = false;
    for (auto _ : state)
        decoded = decodePropertyListData(data).has_value();
    state.counters["bytes"] = static_cast<double>(data.size());
    if (decoded != accepted)
        state.SkipWithError(accepted ? "refused" : "accepted");
}

const std::string realVersion =
    xmlHead +
    "<dict><key>ProductBuildVersion</key><string>23B81</string><key>ProductName</key>"
    "<string>macOS</string><key>ProductVersion</key><string>14.1.1</string></dict>" +
    xmlTail;

BENCHMARK_CAPTURE(decode, real_version_file, realVersion, true);
// Within the bound: libplist decodes these, and the entity-heavy text is its slowest case
// (every entity moves the rest of the string).
BENCHMARK_CAPTURE(decode, xml_entities_at_bound,
                  repeatToFill(xmlHead + "<string>", "&amp;", "</string>" + xmlTail), true);
BENCHMARK_CAPTURE(decode, xml_char_refs_at_bound,
                  repeatToFill(xmlHead + "<string>", "&#x41;", "</string>" + xmlTail), true);
BENCHMARK_CAPTURE(decode, xml_many_keys_at_bound,
                  repeatToFill(xmlHead + "<dict>", "<key>k</key><string>v</string>",
                               "</dict>" + xmlTail),
                  true);
BENCHMARK_CAPTURE(decode, xml_empty_arrays_at_bound,
                  repeatToFill(xmlHead + "<array>", "<array/>", "</array>" + xmlTail), true);
BENCHMARK_CAPTURE(decode, xml_nested_at_depth_bound, xmlNested(maxPropertyListDepth - 1), true);
BENCHMARK_CAPTURE(decode, binary_nested_at_depth_bound, binaryNested(maxPropertyListDepth), true);
BENCHMARK_CAPTURE(decode, binary_wide_array, binaryWide(), true);
BENCHMARK_CAPTURE(decode, binary_wide_dictionary, binaryWideDictionary(), true);
BENCHMARK_CAPTURE(decode, binary_shared_at_value_budget, binaryMultiplying(4, 7), true);
BENCHMARK_CAPTURE(decode, binary_shared_string_at_byte_budget,
                  binarySharedString(maxPropertyListExpandedBytes / 8000, 8000), true);
BENCHMARK_CAPTURE(decode, xml_utf16_many_keys_at_bound, xmlUtf16ManyKeys(), true);
// Refused before libplist sees them.
BENCHMARK_CAPTURE(decode, xml_nested_100000, xmlNested(100000), false);
BENCHMARK_CAPTURE(decode, binary_nested_30000, binaryNested(30000), false);
BENCHMARK_CAPTURE(decode, binary_multiplying_16_pow_8, binaryMultiplying(8, 16), false);
BENCHMARK_CAPTURE(decode, binary_shared_string_8_mib, binarySharedString(1000, 8192), false);
BENCHMARK_CAPTURE(decode, binary_cycle, binary({arrayOf({1}), arrayOf({0})}), false);

} // namespace
} // namespace kavelin::platform
