#pragma once

#include <string>

namespace kavelin::platform {

// A file URL reduced to what the system relies on: its path. Two URLs are equal when their text is
// equal; no file-system lookup is made, so one directory reached through different text differs.
struct FileURL {
    std::string path;

    friend bool operator==(const FileURL&, const FileURL&) = default;
};

} // namespace kavelin::platform
