#pragma once

#include "platform/script_runner.h"

namespace kavelin::platform {

// A number of a script's error dictionary as a plain value, from the NSNumber's Objective-C type
// code and its three readings: every integer type that fits stays an integer, so that an error
// number can be told from a fraction; the rest (floating point, Booleans, unsigned values beyond
// the signed range) becomes a double.
ScriptErrorValue scriptErrorValue(char objCType, long long asSigned, unsigned long long asUnsigned,
                                  double asDouble);

} // namespace kavelin::platform
