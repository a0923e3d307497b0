#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/autostart_entry.h"
#include "platform/linux/bounded_probes.h"
#include "platform/login_items.h"

namespace kavelin::platform {

// How long the login item service waits for its folders: the status read at each menu opening,
// and a change of the entry.
struct AutostartWaits {
    std::chrono::milliseconds read{250};
    std::chrono::milliseconds write{2000};
};

// The login item service over an XDG autostart entry, "kavelin.desktop" in the user's autostart
// folder. A system-wide entry of the same name is honoured and, when it would start the
// application, switched off by a user entry with Hidden=true. The folders may lie on a mount
// that never answers: every look at them waits no longer than a bound.
class XdgLoginItems final : public LoginItemService {
public:
    // Receives the autostart folder to show; the default launches the desktop's file manager.
    using FolderOpener = std::function<void(const std::string& folder)>;

    // The session's locations: $XDG_CONFIG_HOME (or ~/.config), $XDG_CONFIG_DIRS (or /etc/xdg)
    // and the running executable.
    XdgLoginItems();
    XdgLoginItems(std::string configHome, std::vector<std::string> configDirs,
                  std::string executable, FolderOpener openFolder = {}, AutostartWaits waits = {});

    int status() override;
    std::optional<std::string> registerItem() override;
    std::optional<std::string> unregisterItem() override;
    void openSystemSettingsLoginItems() override;

    // The user's autostart folder and entry.
    std::string autostartFolder() const;
    std::string userEntryPath() const;

private:
    // The system-wide entries along the configuration folders, the first one deciding.
    std::vector<std::string> systemEntryPaths() const;
    // Runs a change of the entry within the write bound; an error sentence when it failed or
    // its folder did not answer in time.
    std::optional<std::string> changeBounded(std::function<std::optional<std::string>()> change);

    std::string configHome;
    std::vector<std::string> configDirs;
    std::string executable;
    FolderOpener openFolder;
    AutostartWaits waits;
    AutostartSession session = currentAutostartSession();
    BoundedProbes probes{"connexion", "dossier de démarrage automatique"};
};

// The Exec value that starts exactly this program: the path quoted by the desktop-entry rules
// (double quotes around a path with reserved characters, \" \` \$ \\ inside them, %% for %), then
// escaped as a desktop-entry string (\\, \n, \t, \r).
std::string desktopExecValue(const std::string& program);

// Starts argv[0] (an absolute path) with those arguments and our environment, as spawnProcess
// does, in a session of its own, without waiting for it; its exit is collected in the
// background. False when it could not be started.
bool launchDetached(const std::vector<std::string>& argv);

// $XDG_CONFIG_HOME when absolute, else $HOME/.config; repeated and trailing slashes dropped.
std::string xdgConfigHome();
// The absolute folders of $XDG_CONFIG_DIRS, else /etc/xdg.
std::vector<std::string> xdgConfigDirs();

} // namespace kavelin::platform
