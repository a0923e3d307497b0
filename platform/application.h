#pragma once

namespace kavelin::platform {

// Receives the application's launch notification.
class ApplicationDelegate {
public:
    virtual ~ApplicationDelegate() = default;
    virtual void applicationDidFinishLaunching() = 0;
};

// The shared application object.
class Application {
public:
    virtual ~Application() = default;
    // No Dock icon or taskbar entry, no window; closing an alert never quits. Cannot fail.
    virtual void setActivationPolicyAccessory() = 0;
    // The application does not own its delegate. Cannot fail.
    virtual void setDelegate(ApplicationDelegate* delegate) = 0;
    // Runs the event loop until the application terminates; its exit status.
    virtual int run() = 0;
    // Ends the event loop (and so the process) in the platform's usual way.
    virtual void terminate() = 0;
    // Brings the application in front of others, ignoring them. Best effort, no result.
    virtual void activateIgnoringOtherApps() = 0;
};

} // namespace kavelin::platform
