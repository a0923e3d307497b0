#include "volumes/startup_volume.h"

#include <utility>

#include "texts/texts.h"

namespace kavelin {

namespace {

constexpr std::string_view titleSeparator = texts::volumeTitleSeparator;
constexpr std::string_view currentSuffix = texts::runningSystemSuffix;

} // namespace

StartupVolume::StartupVolume(platform::FileURL url, std::string name, std::string version,
                             std::optional<std::string> uuid, bool isCurrent)
    : url_(std::move(url)), name_(std::move(name)), version_(std::move(version)),
      uuid_(std::move(uuid)), isCurrent_(isCurrent) {}

std::string StartupVolume::menuTitle() const {
    std::string title;
    title.reserve(name_.size() + titleSeparator.size() + version_.size() + currentSuffix.size());
    title.append(name_).append(titleSeparator).append(version_);
    if (isCurrent_)
        title.append(currentSuffix);
    return title;
}

bool StartupVolume::equals(const StartupVolume& other, platform::TextService& text) const {
    if (url_ != other.url_)
        return false;
    if (!text.canonicallyEquivalent(name_, other.name_))
        return false;
    if (!text.canonicallyEquivalent(version_, other.version_))
        return false;
    if (uuid_.has_value() != other.uuid_.has_value())
        return false;
    if (uuid_ && !text.canonicallyEquivalent(*uuid_, *other.uuid_))
        return false;
    return isCurrent_ == other.isCurrent_;
}

} // namespace kavelin
