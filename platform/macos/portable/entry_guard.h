#pragma once

#include <functional>
#include <string_view>

namespace kavelin::platform {

// Runs one call from AppKit into the core (the launch, a menu update, a menu action). No C++
// exception may unwind through AppKit's Objective-C frames, which are not built for it: the
// process would end in an abort. One is caught here and traced, and the call ends there, quietly.
// True when the call ran to its end.
bool runGuarded(std::string_view entryPoint, const std::function<void()>& call) noexcept;

} // namespace kavelin::platform
