#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/login_items.h"

namespace kavelin::platform {

// The login item service over an XDG autostart entry, "kavelin.desktop" in the user's autostart
// folder. A system-wide entry of the same name is honoured and, when it would start the
// application, switched off by a user entry with Hidden=true.
class XdgLoginItems final : public LoginItemService {
public:
    // Receives the autostart folder to show; the default launches the desktop's file manager.
    using FolderOpener = std::function<void(const std::string& folder)>;

    // The session's locations: $XDG_CONFIG_HOME (or ~/.config), $XDG_CONFIG_DIRS (or /etc/xdg)
    // and the running executable.
    XdgLoginItems();
    XdgLoginItems(std::string configHome, std::vector<std::string> configDirs,
                  std::string executable, FolderOpener openFolder = {});

    int status() override;
    std::optional<std::string> registerItem() override;
    std::optional<std::string> unregisterItem() override;
    void openSystemSettingsLoginItems() override;

    // The user's autostart folder and entry.
    std::string autostartFolder() const;
    std::string userEntryPath() const;

private:
    // The first system-wide entry along the configuration folders; nullopt when there is none.
    std::optional<std::string> systemEntryPath() const;

    std::string configHome;
    std::vector<std::string> configDirs;
    std::string executable;
    FolderOpener openFolder;
};

// The Exec value that starts exactly this program: the path quoted by the desktop-entry rules
// (double quotes around a path with reserved characters, \" \` \$ \\ inside them, %% for %), then
// escaped as a desktop-entry string (\\, \n, \t, \r).
std::string desktopExecValue(const std::string& program);

// Starts argv[0] (an absolute path) with those arguments and our environment, as spawnProcess
// does, in a session of its own, without waiting for it; its exit is collected in the
// background. False when it could not be started.
bool launchDetached(const std::vector<std::string>& argv);

// $XDG_CONFIG_HOME when absolute, else $HOME/.config.
std::string xdgConfigHome();
// The absolute folders of $XDG_CONFIG_DIRS, else /etc/xdg.
std::vector<std::string> xdgConfigDirs();

} // namespace kavelin::platform
