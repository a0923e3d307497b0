#pragma once

#include <string>

namespace kavelin::platform {

class Workspace {
public:
    virtual ~Workspace() = default;
    // Opens a URL (a scheme URL or a file:// URL) with its handler; false when none opened it.
    virtual bool openURL(const std::string& url) = 0;
};

} // namespace kavelin::platform
