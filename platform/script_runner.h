#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>

namespace kavelin::platform {

// A value of a script's error dictionary: an integer, or something else.
using ScriptErrorValue = std::variant<std::int64_t, double, std::string>;
using ScriptErrorDictionary = std::map<std::string, ScriptErrorValue>;

inline constexpr const char* appleScriptErrorNumber = "NSAppleScriptErrorNumber";

// What one execution of a script gave back: a result, an error dictionary, both or neither.
struct ScriptExecution {
    bool hasResult = false;
    std::optional<ScriptErrorDictionary> error;
};

// Runs AppleScript source synchronously.
class ScriptRunner {
public:
    virtual ~ScriptRunner() = default;
    // Runs the source and blocks until it ends; nullopt when no script could be created from it.
    virtual std::optional<ScriptExecution> execute(const std::string& source) = 0;
};

} // namespace kavelin::platform
