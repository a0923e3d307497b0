// The text service over ICU. Strings that are all ASCII compare by bytes without touching ICU,
// which keeps the common case free of any data loading. Invalid UTF-8 is compared by bytes and
// normalises to itself.

#include "platform/linux/icu_text_service.h"

#include <algorithm>
#include <cstdlib>

#include <unicode/bytestream.h>
#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/utf8.h>

namespace kavelin::platform {

namespace {

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool isValidUtf8(std::string_view text) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    int32_t length = static_cast<int32_t>(text.size());
    for (int32_t i = 0; i < length;) {
        UChar32 c;
        U8_NEXT(bytes, i, length, c);
        if (c < 0)
            return false;
    }
    return true;
}

// The POSIX locale name reduced to what ICU understands: "fr_FR.UTF-8@euro" gives "fr_FR".
// NOTE: ICU maps "C" and "POSIX" to en_US_POSIX, whose collation orders ASCII by code point
// (upper case before lower case); the root locale keeps the case-blind order there.
icu::Locale collationLocale(const std::string& posixName) {
    std::string name = posixName.substr(0, posixName.find_first_of(".@"));
    if (name.empty() || name == "C" || name == "POSIX")
        return icu::Locale::getRoot();
    return icu::Locale::createCanonical(name.c_str());
}

} // namespace

struct IcuTextService::Collators {
    std::unique_ptr<icu::Collator> caseBlind;
    std::unique_ptr<icu::Collator> identical;
};

IcuTextService::IcuTextService(std::string locale) : locale(std::move(locale)) {}

IcuTextService::~IcuTextService() = default;

std::string IcuTextService::currentCollationLocale() {
    for (const char* variable : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value)
            return value;
    }
    return "C";
}

bool IcuTextService::canonicallyEquivalent(std::string_view a, std::string_view b) {
    if (a == b)
        return true;
    if (isAscii(a) && isAscii(b))
        return false;
    return canonicalForm(a) == canonicalForm(b);
}

std::string IcuTextService::canonicalForm(std::string_view text) {
    if (isAscii(text) || !isValidUtf8(text))
        return std::string(text);
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status))
        return std::string(text);
    std::string normalized;
    icu::StringByteSink<std::string> sink(&normalized);
    nfc->normalizeUTF8(0, icu::StringPiece(text.data(), static_cast<int32_t>(text.size())), sink,
                       nullptr, status);
    return U_SUCCESS(status) ? normalized : std::string(text);
}

void IcuTextService::openCollators() {
    collators = std::make_unique<Collators>();
    auto& caseBlind = collators->caseBlind;
    UErrorCode status = U_ZERO_ERROR;
    caseBlind.reset(icu::Collator::createInstance(collationLocale(locale), status));
    if (U_FAILURE(status) || !caseBlind) {
        status = U_ZERO_ERROR;
        caseBlind.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
    }
    if (!caseBlind)
        return;
    caseBlind->setStrength(icu::Collator::SECONDARY);
    caseBlind->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
    collators->identical.reset(caseBlind->clone());
    if (collators->identical)
        collators->identical->setStrength(icu::Collator::IDENTICAL);
}

int IcuTextService::finderCompare(std::string_view a, std::string_view b) {
    if (!collators)
        openCollators();
    const auto& [caseBlind, identical] = *collators;
    if (!caseBlind || !identical)
        return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
    icu::StringPiece left(a.data(), static_cast<int32_t>(a.size()));
    icu::StringPiece right(b.data(), static_cast<int32_t>(b.size()));
    UErrorCode status = U_ZERO_ERROR;
    UCollationResult order = caseBlind->compareUTF8(left, right, status);
    // Forced ordering: names that differ only in case or width still get a fixed order.
    if (order == UCOL_EQUAL)
        order = identical->compareUTF8(left, right, status);
    if (U_FAILURE(status))
        return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
    return static_cast<int>(order);
}

TextService& nativeTextService() {
    static IcuTextService service(IcuTextService::currentCollationLocale());
    return service;
}

} // namespace kavelin::platform
