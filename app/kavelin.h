#pragma once

#include <memory>

#include "app/volume_menu_item.h"
#include "platform/platform.h"

namespace kavelin {

// The application delegate: owns the status item and its menu, rebuilds the menu at each opening
// and is the target of every command in it. The commands hand over to the flows of startup/ and
// settings/, with the services and the busy flag.
class Kavelin final : public platform::ApplicationDelegate, public platform::MenuDelegate {
public:
    explicit Kavelin(platform::Platform& platform);

    void applicationDidFinishLaunching() override;
    void menuNeedsUpdate(platform::Menu& menu) override;

    // True while a change of startup disk is under way.
    bool working() const { return isWorking; }

private:
    void toggleLaunchAtLogin();
    void selectVolume(const VolumeMenuItem& sender);
    void openStartupSettings();
    void quit();

    platform::Platform& platform;
    std::unique_ptr<platform::StatusItem> statusItem;
    std::shared_ptr<platform::Menu> menu;
    bool isWorking;
};

// Creates the application object's delegate, makes the application an accessory and runs the
// event loop; returns when the loop does.
int runApplicationStart(platform::Platform& platform);

} // namespace kavelin
