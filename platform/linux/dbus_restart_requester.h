// The restart confirmation of the desktop session, asked for over the session D-Bus (GIO).
// Supported: the session managers of GNOME and Cinnamon (`Reboot`), MATE (`Shutdown`, whose
// dialog offers the restart), Xfce (`Logout` with its dialog) and KDE Plasma's logout prompt
// (`promptReboot`). Never a method that restarts without the user's confirmation. Not
// supported: LXQt (its session has no confirming method), other desktops, and sessions without
// a session bus; all answer false.
#pragma once

#include <optional>
#include <string>

#include "platform/restart_requester.h"

namespace kavelin::platform {

class DbusRestartRequester : public RestartRequester {
public:
    // The bus at DBUS_SESSION_BUS_ADDRESS at the time of each request.
    DbusRestartRequester() = default;
    // The bus at the given D-Bus address.
    explicit DbusRestartRequester(std::string busAddress);

    // True only when the session manager replied; false on an error reply, no bus, no session
    // manager, or no reply within restartRequestTimeoutSeconds in total.
    bool requestRestart() override;

private:
    std::optional<std::string> busAddress;
};

} // namespace kavelin::platform
