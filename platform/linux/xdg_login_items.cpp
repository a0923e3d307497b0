// Login items over XDG autostart: the user entry $XDG_CONFIG_HOME/autostart/kavelin.desktop,
// written atomically (temporary file, fsync, rename), and the system-wide entries of
// $XDG_CONFIG_DIRS, which a user entry with Hidden=true switches off. Status 1 (enabled) when the
// entry that decides would be started by the session (autostart_entry.h), 0 (not registered)
// otherwise: XDG has no approval step and no "not found". The folders are read and written on
// bounded probes, so a dead mount under them costs a menu opening no more than the bound. The
// settings are the autostart folder, shown by the desktop's file manager through xdg-open.

#include "platform/linux/xdg_login_items.h"

#include <fcntl.h>
#include <locale.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <system_error>
#include <thread>

#include "platform/linux/posix_io.h"
#include "platform/trace.h"
#include "texts/texts.h"

namespace kavelin::platform {

namespace {

constexpr const char* entryName = "kavelin.desktop";
// Real entries are a few kilobytes, translations included; past this bound an entry reads as
// one that does not start.
constexpr std::size_t entrySizeLimit = 4 * 1024 * 1024;
// The one key of the bounded probes: every look at the folders waits for the same mounts.
constexpr int foldersKey = 0;

// The system's reason in French, as the sentence around it, wherever a French locale is
// installed (the C library's catalogue then gives the text; only the language counts, so any
// French locale serves); the C locale's English text otherwise. The user's own locale plays no
// part: the application speaks French whatever it is.
std::string errorText(int error) {
    locale_t messages = nullptr;
    for (const char* name :
         {"fr_FR.UTF-8", "fr_CA.UTF-8", "fr_BE.UTF-8", "fr_CH.UTF-8", "fr_LU.UTF-8", "C"}) {
        // The message language and the character set the catalogue is converted to.
        if ((messages = newlocale(LC_MESSAGES_MASK | LC_CTYPE_MASK, name, locale_t{})))
            break;
    }
    if (!messages)
        return std::error_code(error, std::generic_category()).message();
    std::string text = strerror_l(error, messages);
    freelocale(messages);
    return text;
}

// "« path »" with the no-break spaces of French typography, then " : reason".
std::string quotedPath(const std::string& path) {
    return "«\u00A0" + path + "\u00A0»";
}
std::string failure(const std::string& what, const std::string& path, int error) {
    return what + " " + quotedPath(path) + "\u00A0: " + errorText(error);
}

// A failure that the service reports, in the trace as well.
std::optional<std::string> traced(std::optional<std::string> error) {
    if (error)
        trace("connexion", *error);
    return error;
}

// The path with repeated and trailing slashes dropped.
std::string withoutExtraSlashes(std::string_view path) {
    std::string clean;
    for (const char c : path)
        if (c != '/' || clean.empty() || clean.back() != '/')
            clean += c;
    if (clean.size() > 1 && clean.back() == '/')
        clean.pop_back();
    return clean;
}

std::string childPath(const std::string& folder, std::string_view name) {
    return (folder == "/" ? "" : folder) + "/" + std::string(name);
}

enum class EntryState { absent, started, notStarted };

EntryState entryState(const std::string& path, const AutostartSession& session) {
    // NOTE: the entry is read only when it is a regular file: a FIFO or a device planted at that
    // path would otherwise freeze every opening of the menu.
    int error = 0;
    const auto contents = readRegularFile(path, entrySizeLimit, &error);
    struct stat link {};
    // A dangling link still takes the name, and so hides the entries behind it.
    if ((error == ENOENT || error == ENOTDIR) && ::lstat(path.c_str(), &link) != 0)
        return EntryState::absent;
    // Present but unreadable: no autostart implementation would start it either.
    if (!contents)
        return EntryState::notStarted;
    return sessionStartsEntry(*contents, session) ? EntryState::started : EntryState::notStarted;
}

// The state of the entry that decides: the first one present along the paths.
EntryState decidingState(const std::vector<std::string>& paths, const AutostartSession& session) {
    for (const auto& path : paths)
        if (const EntryState state = entryState(path, session); state != EntryState::absent)
            return state;
    return EntryState::absent;
}

// Creates the configuration folder, then the autostart folder in it, 0700 as the base-directory
// rules ask. Nothing above the configuration folder is created: a missing parent is a mistyped
// $HOME or $XDG_CONFIG_HOME, not a place to build.
std::optional<std::string> makeFolders(const std::string& configHome, const std::string& folder) {
    for (const std::string& each : {configHome, folder})
        if (::mkdir(each.c_str(), 0700) != 0 && errno != EEXIST)
            return failure(texts::cannotCreateFolder, each, errno);
    return std::nullopt;
}

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Replaces path with contents so that a reader sees the old entry or the new one, never a part.
std::optional<std::string> writeAtomically(const std::string& configHome, const std::string& folder,
                                           const std::string& path, const std::string& contents) {
    if (auto error = makeFolders(configHome, folder))
        return error;
    // Hidden name: autostart readers look only at "*.desktop".
    std::string temporary = folder + "/." + entryName + ".XXXXXX";
    UniqueFd file(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!file)
        return failure(texts::cannotWrite, path, errno);
    int error = 0;
    if (::fchmod(file.get(), 0644) != 0 || !writeAll(file.get(), contents) ||
        ::fsync(file.get()) != 0)
        error = errno;
    if (!file.close() && error == 0)
        error = errno;
    if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        return failure(texts::cannotWrite, path, error);
    }
    // The rename itself reaches the disk with the folder; a failure here loses nothing we report.
    if (UniqueFd directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); directory)
        ::fsync(directory.get());
    return std::nullopt;
}

std::string entryContents(const std::string& executable, bool hidden) {
    std::string contents = "[Desktop Entry]\n"
                           "Type=Application\n"
                           "Name=Kavelin\n"
                           "Comment=" +
                           std::string(texts::autostartComment) +
                           "\n"
                           "Exec=" +
                           desktopExecValue(executable) +
                           "\n"
                           "Icon=kavelin\n"
                           "Terminal=false\n";
    contents += hidden ? "Hidden=true\n" : "X-GNOME-Autostart-enabled=true\n";
    return contents;
}

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home == '/')
        return home;
    if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir)
        return user->pw_dir;
    return "/";
}

} // namespace

std::string desktopExecValue(const std::string& program) {
    constexpr std::string_view reserved = " \t\n\"'\\><~|&;$*?#()`";
    std::string quoted;
    const bool needsQuotes =
        program.empty() || program.find_first_of(reserved) != std::string::npos;
    if (needsQuotes)
        quoted += '"';
    for (const char c : program) {
        if (needsQuotes && (c == '"' || c == '`' || c == '$' || c == '\\'))
            quoted += '\\';
        quoted += c;
        if (c == '%')
            quoted += '%';
    }
    if (needsQuotes)
        quoted += '"';

    // The string escapes of the file format come on top of the Exec quoting.
    std::string value;
    for (const char c : quoted) {
        switch (c) {
        case '\\':
            value += "\\\\";
            break;
        case '\n':
            value += "\\n";
            break;
        case '\t':
            value += "\\t";
            break;
        case '\r':
            value += "\\r";
            break;
        default:
            value += c;
        }
    }
    return value;
}

bool launchDetached(const std::vector<std::string>& argv) {
    // The file manager needs the desktop session's variables, and may outlive us.
    const pid_t child = spawnProcess(argv, {currentEnvironment(), "/", true});
    if (child < 0) {
        trace("connexion", "impossible de lancer " + (argv.empty() ? "?" : argv[0]) + " : " +
                               std::strerror(errno));
        return false;
    }
    // Reaped off the main thread: the file manager may outlive xdg-open or be xdg-open itself.
    std::thread([child] { waitForExit(child); }).detach();
    return true;
}

std::string xdgConfigHome() {
    if (const char* value = std::getenv("XDG_CONFIG_HOME"); value && *value == '/')
        return withoutExtraSlashes(value);
    return childPath(withoutExtraSlashes(homeFolder()), ".config");
}

std::vector<std::string> xdgConfigDirs() {
    std::vector<std::string> folders;
    if (const char* value = std::getenv("XDG_CONFIG_DIRS")) {
        std::string_view rest = value;
        while (!rest.empty()) {
            const auto colon = rest.find(':');
            const std::string_view folder = rest.substr(0, colon);
            if (!folder.empty() && folder.front() == '/')
                folders.push_back(withoutExtraSlashes(folder));
            rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
        }
    }
    if (folders.empty())
        folders.push_back("/etc/xdg");
    return folders;
}

XdgLoginItems::XdgLoginItems()
    : XdgLoginItems(xdgConfigHome(), xdgConfigDirs(), programPath().string()) {}

XdgLoginItems::XdgLoginItems(std::string configHome, std::vector<std::string> configDirs,
                             std::string executable, FolderOpener openFolder, AutostartWaits waits)
    : configHome(withoutExtraSlashes(configHome)), configDirs(std::move(configDirs)),
      executable(std::move(executable)), openFolder(std::move(openFolder)), waits(waits) {
    if (!this->openFolder)
        this->openFolder = [](const std::string& folder) {
            launchDetached({"/usr/bin/xdg-open", folder});
        };
}

std::string XdgLoginItems::autostartFolder() const {
    return childPath(configHome, "autostart");
}

std::string XdgLoginItems::userEntryPath() const {
    return childPath(autostartFolder(), entryName);
}

std::vector<std::string> XdgLoginItems::systemEntryPaths() const {
    std::vector<std::string> paths;
    for (const auto& folder : configDirs)
        paths.push_back(childPath(childPath(withoutExtraSlashes(folder), "autostart"), entryName));
    return paths;
}

int XdgLoginItems::status() {
    // A user entry of the same name replaces the system-wide one, whatever it says.
    std::vector<std::string> paths = systemEntryPaths();
    paths.insert(paths.begin(), userEntryPath());
    const auto state = probes.run<EntryState>(
        foldersKey, BoundedProbes::Clock::now() + waits.read,
        [paths, session = session] { return decidingState(paths, session); });
    return state == EntryState::started ? loginItemEnabled : loginItemNotRegistered;
}

std::optional<std::string>
XdgLoginItems::changeBounded(std::function<std::optional<std::string>()> change) {
    const auto outcome = probes.run<std::optional<std::string>>(
        foldersKey, BoundedProbes::Clock::now() + waits.write, std::move(change));
    if (!outcome)
        return traced(texts::folderNotAnswering(autostartFolder()));
    return traced(*outcome);
}

std::optional<std::string> XdgLoginItems::registerItem() {
    if (executable.empty())
        return traced(texts::programPathUnknown);
    if (auto problem = unstartableProgram(executable))
        return traced(problem);
    return changeBounded([configHome = configHome, folder = autostartFolder(),
                          path = userEntryPath(), contents = entryContents(executable, false)] {
        return writeAtomically(configHome, folder, path, contents);
    });
}

std::optional<std::string> XdgLoginItems::unregisterItem() {
    return changeBounded([configHome = configHome, folder = autostartFolder(),
                          path = userEntryPath(), systemPaths = systemEntryPaths(),
                          hidden = entryContents(executable, true),
                          session = session]() -> std::optional<std::string> {
        if (decidingState(systemPaths, session) == EntryState::started)
            return writeAtomically(configHome, folder, path, hidden);
        if (::unlink(path.c_str()) != 0 && errno != ENOENT)
            return failure(texts::cannotRemove, path, errno);
        return std::nullopt;
    });
}

void XdgLoginItems::openSystemSettingsLoginItems() {
    // Created first so that the file manager opens the folder rather than reporting it missing.
    changeBounded([configHome = configHome, folder = autostartFolder()] {
        return makeFolders(configHome, folder);
    });
    openFolder(autostartFolder());
}

} // namespace kavelin::platform
