#pragma once

namespace kavelin::platform {

inline constexpr double restartRequestTimeoutSeconds = 5.0;

class RestartRequester {
public:
    virtual ~RestartRequester() = default;
    // Asks the session to show its restart confirmation; true only when an answer came back
    // within restartRequestTimeoutSeconds.
    virtual bool requestRestart() = 0;
};

} // namespace kavelin::platform
