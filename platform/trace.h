#pragma once

// An opt-in diagnostic trace of the failures that the services otherwise answer with a silent
// value (no mount table, a mount that never answered, a refused file, a program that did not
// start). Written only when the environment variable KAVELIN_TRACE is 1: the listing's output
// and its empty error stream stay as they are otherwise.

#include <string_view>

namespace kavelin::platform {

// Whether KAVELIN_TRACE=1, as read once at the first call.
bool traceEnabled();

// When enabled, one line on the standard error: "kavelin: area: message".
void trace(std::string_view area, std::string_view message);

} // namespace kavelin::platform
