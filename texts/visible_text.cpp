#include "texts/visible_text.h"

#include <cstdint>
#include <cstdio>

namespace kavelin {

namespace {

constexpr std::string_view replacementCharacter = "\uFFFD";

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

bool needsStandIn(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

void appendStandIn(std::string& out, char32_t c) {
    if (c < 0x20) {
        appendUtf8(out, 0x2400 + c);
    } else if (c == 0x7F) {
        appendUtf8(out, 0x2421);
    } else {
        char escape[16];
        std::snprintf(escape, sizeof escape, "<U+%04X>", static_cast<unsigned>(c));
        out += escape;
    }
}

// The well-formed byte sequences of UTF-8: the range of the second byte depends on the first
// (no overlong forms, no surrogates, nothing above U+10FFFF); later bytes are 80–BF.
struct Lead {
    int length;
    std::uint8_t secondLow, secondHigh;
};

Lead leadOf(std::uint8_t byte) {
    if (byte >= 0xC2 && byte <= 0xDF)
        return {2, 0x80, 0xBF};
    if (byte == 0xE0)
        return {3, 0xA0, 0xBF};
    if (byte == 0xED)
        return {3, 0x80, 0x9F};
    if (byte >= 0xE1 && byte <= 0xEF)
        return {3, 0x80, 0xBF};
    if (byte == 0xF0)
        return {4, 0x90, 0xBF};
    if (byte >= 0xF1 && byte <= 0xF3)
        return {4, 0x80, 0xBF};
    if (byte == 0xF4)
        return {4, 0x80, 0x8F};
    return {0, 0, 0};
}

} // namespace

std::string visibleText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        const auto byte = static_cast<std::uint8_t>(text[at]);
        if (byte < 0x80) {
            if (needsStandIn(byte))
                appendStandIn(out, byte);
            else
                out.push_back(static_cast<char>(byte));
            ++at;
            continue;
        }
        const Lead lead = leadOf(byte);
        // One U+FFFD for each maximal subpart: a valid start cut short counts once, and the
        // byte that cut it is read again as the start of what follows.
        std::size_t length = 1;
        char32_t c = byte & (0x7F >> lead.length);
        for (; static_cast<int>(length) < lead.length && at + length < text.size(); ++length) {
            const auto next = static_cast<std::uint8_t>(text[at + length]);
            const bool fits = length == 1 ? next >= lead.secondLow && next <= lead.secondHigh
                                          : next >= 0x80 && next <= 0xBF;
            if (!fits)
                break;
            c = (c << 6) | (next & 0x3F);
        }
        if (lead.length == 0 || static_cast<int>(length) < lead.length)
            out += replacementCharacter;
        else if (needsStandIn(c))
            appendStandIn(out, c);
        else
            out.append(text.substr(at, length));
        at += length;
    }
    return out;
}

} // namespace kavelin
