#pragma once

// Unicode comparisons over ICU: canonical equivalence through NFC, and the Finder-like order
// through a collator of the current collation locale (secondary strength, numeric, ties broken
// at identical strength). Does not support locale changes after the first comparison.

#include <memory>
#include <string>

#include "platform/text_service.h"

namespace kavelin::platform {

class IcuTextService final : public TextService {
public:
    // locale: a POSIX locale name such as "fr_FR.UTF-8"; "C" and "POSIX" mean the root locale.
    explicit IcuTextService(std::string locale);
    ~IcuTextService() override;

    bool canonicallyEquivalent(std::string_view a, std::string_view b) override;
    std::string canonicalForm(std::string_view text) override;
    int finderCompare(std::string_view a, std::string_view b) override;

    // The collation locale the process runs under: LC_ALL, else LC_COLLATE, else LANG.
    static std::string currentCollationLocale();

private:
    void openCollators();

    struct Collators;
    std::string locale;
    std::unique_ptr<Collators> collators; // opened on first use: most listings never sort
};

} // namespace kavelin::platform
