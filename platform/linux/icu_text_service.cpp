// The text service over ICU's C API. Strings that are all ASCII compare by bytes without ICU.
// Invalid UTF-8 compares by bytes and normalises to itself. Two builds of this file: the program
// links ICU statically (KAVELIN_ICU_LINKED), since loading the shared ICU libraries costs more
// than a whole listing; code that runs beside a toolkit which already maps ICU loads the shared
// library on first need instead. Without ICU at run time, comparisons fall back to bytes.

#include "platform/linux/icu_text_service.h"
#include "platform/native_services.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include <dlfcn.h>
#include <unicode/ucol.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>
#include <unicode/utf8.h>
#include <unicode/uvernum.h>

namespace kavelin::platform {

namespace {

#define KAVELIN_STRINGIFY2(x) #x
#define KAVELIN_STRINGIFY(x) KAVELIN_STRINGIFY2(x)
// ICU renames its entry points by version (ucol_open is a macro for ucol_open_72): the
// expanded name is the exported one.
#define KAVELIN_ICU_NAME(name) KAVELIN_STRINGIFY(name)

// The few ICU entry points this service calls, resolved once from the installed library.
struct IcuLibrary {
    decltype(&ucol_open) open = nullptr;
    decltype(&ucol_close) close = nullptr;
    decltype(&ucol_setStrength) setStrength = nullptr;
    decltype(&ucol_setAttribute) setAttribute = nullptr;
    decltype(&ucol_strcollUTF8) strcollUTF8 = nullptr;
    decltype(&unorm2_getNFCInstance) nfcInstance = nullptr;
    decltype(&unorm2_normalize) normalize = nullptr;
    decltype(&u_strFromUTF8) fromUTF8 = nullptr;
    decltype(&u_strToUTF8) toUTF8 = nullptr;

    bool loaded() const { return open && strcollUTF8 && nfcInstance; }

    static const IcuLibrary& instance() {
        static const IcuLibrary library = load();
        return library;
    }

private:
#ifdef KAVELIN_ICU_LINKED
    static IcuLibrary load() {
        IcuLibrary library;
        library.open = &ucol_open;
        library.close = &ucol_close;
        library.setStrength = &ucol_setStrength;
        library.setAttribute = &ucol_setAttribute;
        library.strcollUTF8 = &ucol_strcollUTF8;
        library.nfcInstance = &unorm2_getNFCInstance;
        library.normalize = &unorm2_normalize;
        library.fromUTF8 = &u_strFromUTF8;
        library.toUTF8 = &u_strToUTF8;
        return library;
    }
#else
    template <typename Function> static void resolve(void* handle, Function& f, const char* name) {
        f = reinterpret_cast<Function>(dlsym(handle, name));
    }

    static IcuLibrary load() {
        IcuLibrary library;
        void* handle = dlopen("libicui18n.so." U_ICU_VERSION_SHORT, RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return library;
        resolve(handle, library.open, KAVELIN_ICU_NAME(ucol_open));
        resolve(handle, library.close, KAVELIN_ICU_NAME(ucol_close));
        resolve(handle, library.setStrength, KAVELIN_ICU_NAME(ucol_setStrength));
        resolve(handle, library.setAttribute, KAVELIN_ICU_NAME(ucol_setAttribute));
        resolve(handle, library.strcollUTF8, KAVELIN_ICU_NAME(ucol_strcollUTF8));
        resolve(handle, library.nfcInstance, KAVELIN_ICU_NAME(unorm2_getNFCInstance));
        resolve(handle, library.normalize, KAVELIN_ICU_NAME(unorm2_normalize));
        resolve(handle, library.fromUTF8, KAVELIN_ICU_NAME(u_strFromUTF8));
        resolve(handle, library.toUTF8, KAVELIN_ICU_NAME(u_strToUTF8));
        if (!library.loaded() || !library.close || !library.setStrength || !library.setAttribute ||
            !library.normalize || !library.fromUTF8 || !library.toUTF8)
            return IcuLibrary{};
        return library;
    }
#endif
};

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool isValidUtf8(std::string_view text) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    auto length = static_cast<int32_t>(text.size());
    for (int32_t i = 0; i < length;) {
        UChar32 c;
        U8_NEXT(bytes, i, length, c);
        if (c < 0)
            return false;
    }
    return true;
}

int byteOrder(std::string_view a, std::string_view b) {
    int order = a.compare(b);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

// The POSIX locale name reduced to an ICU locale ID: "fr_FR.UTF-8@euro" gives "fr_FR".
// NOTE: ICU maps "C" and "POSIX" to en_US_POSIX, whose collation orders ASCII by code point
// (upper case before lower case); the root locale keeps the case-blind order there.
std::string collationLocale(const std::string& posixName) {
    std::string name = posixName.substr(0, posixName.find_first_of(".@"));
    if (name == "C" || name == "POSIX")
        return "";
    return name;
}

} // namespace

struct IcuTextService::Collators {
    UCollator* caseBlind = nullptr;
    UCollator* identical = nullptr;

    ~Collators() {
        const auto& icu = IcuLibrary::instance();
        if (caseBlind)
            icu.close(caseBlind);
        if (identical)
            icu.close(identical);
    }
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
    const auto& icu = IcuLibrary::instance();
    if (isAscii(text) || !isValidUtf8(text) || !icu.loaded())
        return std::string(text);
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* nfc = icu.nfcInstance(&status);
    auto length = static_cast<int32_t>(text.size());
    // Valid UTF-8 never needs more UTF-16 units than bytes; NFC grows text by at most 3 times.
    std::vector<UChar> utf16(static_cast<size_t>(length) + 1);
    int32_t utf16Length = 0;
    icu.fromUTF8(utf16.data(), static_cast<int32_t>(utf16.size()), &utf16Length, text.data(),
                 length, &status);
    std::vector<UChar> normalized(static_cast<size_t>(utf16Length) * 3 + 1);
    int32_t normalizedLength = icu.normalize(nfc, utf16.data(), utf16Length, normalized.data(),
                                             static_cast<int32_t>(normalized.size()), &status);
    std::string result(static_cast<size_t>(normalizedLength) * 3 + 1, '\0');
    int32_t resultLength = 0;
    icu.toUTF8(result.data(), static_cast<int32_t>(result.size()), &resultLength, normalized.data(),
               normalizedLength, &status);
    if (U_FAILURE(status))
        return std::string(text);
    result.resize(static_cast<size_t>(resultLength));
    return result;
}

void IcuTextService::openCollators() {
    collators = std::make_unique<Collators>();
    const auto& icu = IcuLibrary::instance();
    if (!icu.loaded())
        return;
    UErrorCode status = U_ZERO_ERROR;
    std::string id = collationLocale(locale);
    for (const std::string& candidate : {id, std::string()}) {
        status = U_ZERO_ERROR;
        collators->caseBlind = icu.open(candidate.c_str(), &status);
        collators->identical = icu.open(candidate.c_str(), &status);
        if (U_SUCCESS(status))
            break;
    }
    if (U_FAILURE(status) || !collators->caseBlind || !collators->identical) {
        collators = std::make_unique<Collators>();
        return;
    }
    for (UCollator* collator : {collators->caseBlind, collators->identical})
        icu.setAttribute(collator, UCOL_NUMERIC_COLLATION, UCOL_ON, &status);
    // Secondary strength ignores case and width; the identical one gives the forced ordering.
    icu.setStrength(collators->caseBlind, UCOL_SECONDARY);
    icu.setStrength(collators->identical, UCOL_IDENTICAL);
}

int IcuTextService::finderCompare(std::string_view a, std::string_view b) {
    if (!collators)
        openCollators();
    if (!collators->caseBlind)
        return byteOrder(a, b);
    const auto& icu = IcuLibrary::instance();
    auto aLength = static_cast<int32_t>(a.size());
    auto bLength = static_cast<int32_t>(b.size());
    UErrorCode status = U_ZERO_ERROR;
    UCollationResult order =
        icu.strcollUTF8(collators->caseBlind, a.data(), aLength, b.data(), bLength, &status);
    // Forced ordering: names that differ only in case or width still get a fixed order.
    if (order == UCOL_EQUAL)
        order =
            icu.strcollUTF8(collators->identical, a.data(), aLength, b.data(), bLength, &status);
    if (U_FAILURE(status))
        return byteOrder(a, b);
    return static_cast<int>(order);
}

TextService& nativeTextService() {
    static IcuTextService service(IcuTextService::currentCollationLocale());
    return service;
}

} // namespace kavelin::platform
