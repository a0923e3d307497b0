// The property-list decoder of version files (the checking reader, the text conversion and
// libplist), under libFuzzer. Checked for every input:
//  - nothing aborts, crashes, leaks or reads out of bounds, in the decoder or in libplist;
//  - a binary dictionary that the decoder accepts reads as libplist reads it: every key that
//    libplist can tell apart (it cuts ASCII keys at a NUL) is there, with a string value exactly
//    when libplist has one, and the same text where libplist can represent it (no NUL, no
//    unpaired surrogate).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include <plist/plist.h>

#include "platform/linux/property_list_decoder.h"

namespace {

// Text that libplist 2.2 stores differently: it cuts ASCII strings at a NUL and drops an
// unpaired surrogate where the decoder writes U+FFFD.
bool comparable(const std::string& text) {
    return text.find('\0') == std::string::npos && text.find("\xEF\xBF\xBD") == std::string::npos;
}

void check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto list = kavelin::platform::decodePropertyListData(bytes);
    if (!list || !bytes.starts_with("bplist00"))
        return 0;

    plist_t rawRoot = nullptr;
    plist_from_bin(bytes.data(), static_cast<std::uint32_t>(size), &rawRoot);
    const std::unique_ptr<void, decltype(&plist_free)> root(rawRoot, plist_free);
    check(root != nullptr);
    check(list->isDictionary == (plist_get_node_type(root.get()) == PLIST_DICT));

    auto asLibplistKey = [](const std::string& key) { return key.substr(0, key.find('\0')); };
    std::map<std::string, int> occurrences;
    for (auto& entry : list->entries)
        ++occurrences[asLibplistKey(entry.key)];
    for (auto& entry : list->entries) {
        if (occurrences[asLibplistKey(entry.key)] != 1 || !comparable(entry.key))
            continue;
        plist_t value = plist_dict_get_item(root.get(), entry.key.c_str());
        check(value != nullptr);
        check(entry.stringValue.has_value() == (plist_get_node_type(value) == PLIST_STRING));
        if (entry.stringValue && comparable(*entry.stringValue)) {
            std::uint64_t length = 0;
            const char* text = plist_get_string_ptr(value, &length);
            check(text && std::string_view(text, length) == *entry.stringValue);
        }
    }
    return 0;
}
