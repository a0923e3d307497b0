#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/file_url.h"
#include "platform/text_service.h"
#include "platform/volume_source.h"

namespace kavelin {

// One volume the Mac can start from. An immutable value.
class StartupVolume {
public:
    StartupVolume(platform::FileURL url, std::string name, std::string version,
                  std::optional<std::string> uuid, bool isCurrent);

    const platform::FileURL& url() const { return url_; }
    const std::string& name() const { return name_; }
    const std::string& version() const { return version_; }
    const std::optional<std::string>& uuid() const { return uuid_; }
    bool isCurrent() const { return isCurrent_; }

    // "name  —  macOS version", then " (en cours)" for the running system.
    std::string menuTitle() const;

    // Field by field; strings compare by canonical equivalence, without case folding. The caller
    // brings the text service that decides equivalence: there is no comparison without one.
    bool equals(const StartupVolume& other, platform::TextService& text) const;

    // Every startup volume mounted now: the running system first, then the others by name.
    static std::vector<StartupVolume> mounted(platform::VolumeSource& source,
                                              platform::TextService& text);

private:
    platform::FileURL url_;
    std::string name_;
    std::string version_;
    std::optional<std::string> uuid_;
    bool isCurrent_;
};

} // namespace kavelin
