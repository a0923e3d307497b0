#pragma once

// Whether a session would start an XDG autostart entry. Two readers decide on a desktop: GLib's
// key-file parser, which GNOME's session reads entries with, and systemd's xdg-autostart
// generator, which turns them into user services elsewhere (KDE Plasma, and GNOME under systemd).
// They disagree on broken files (GLib refuses a whole file for one bad line, systemd skips the
// line; GLib keeps the last of two equal keys, systemd the first), so an entry counts as started
// only when both would start it.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavelin::platform {

// What the readers look up outside the entry.
struct AutostartSession {
    // The desktops named by $XDG_CURRENT_DESKTOP, in order.
    std::vector<std::string> currentDesktops;
    // Whether a command word names an executable file: an absolute path, or a name on $PATH.
    std::function<bool(const std::string& command)> isExecutable;
};

// The session as this process sees it: $XDG_CURRENT_DESKTOP, and executables found on $PATH.
AutostartSession currentAutostartSession();

// Whether GLib's reader would start the entry with these contents.
bool glibStartsEntry(std::string_view contents, const AutostartSession& session);
// Whether systemd's generator would make a service of it, and the service would run.
bool systemdStartsEntry(std::string_view contents, const AutostartSession& session);
// Whether both readers start it.
bool sessionStartsEntry(std::string_view contents, const AutostartSession& session);

// Why an entry cannot start the program at this path under both readers, as a sentence for the
// user; nullopt when it can. systemd refuses quotes, backslashes and control characters in the
// program's name; a percent sign reads as a field code; the kernel names a program that was
// replaced or removed since it started "… (deleted)".
std::optional<std::string> unstartableProgram(const std::string& path);

} // namespace kavelin::platform
