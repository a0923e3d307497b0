// The autostart entries, read back as sessions read them: with GLib, and with systemd's
// xdg-autostart generator and unit verifier where systemd is installed.

#include <gio/gdesktopappinfo.h>
#include <glib.h>
#include <locale.h>
#include <sys/stat.h>

#include <chrono>

#include <gtest/gtest.h>

#include "platform/linux/xdg_login_items.h"
#include "test_support.h"

namespace kavelin::platform {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

const char* const generator = "/usr/lib/systemd/user-generators/systemd-xdg-autostart-generator";

// A key of the [Desktop Entry] group, string escapes undone.
std::optional<std::string> entryValue(const fs::path& path, const char* key) {
    g_autoptr(GKeyFile) file = g_key_file_new();
    g_autofree gchar* raw = g_key_file_load_from_file(file, path.c_str(), G_KEY_FILE_NONE, nullptr)
                                ? g_key_file_get_string(file, "Desktop Entry", key, nullptr)
                                : nullptr;
    return raw ? std::optional<std::string>(raw) : std::nullopt;
}

// The words a session runs from Exec: %% gives %, a lone % is a field code, then shell quoting.
std::vector<std::string> execArguments(const fs::path& entry) {
    const std::string value = entryValue(entry, "Exec").value_or("");
    std::string exec;
    for (const char* c = value.c_str(); *c; exec += *c++)
        if (*c == '%' && *++c != '%')
            return {"field code in Exec"};
    g_auto(GStrv) argv = nullptr;
    if (!g_shell_parse_argv(exec.c_str(), nullptr, &argv, nullptr))
        return {};
    return {argv, argv + g_strv_length(argv)};
}

// Whether GNOME's session starts the entry: GLib loads it (TryExec and the Exec program found),
// it is not hidden, its GNOME switch is not off and it shows in the current desktop.
bool glibStarts(const fs::path& entry) {
    g_autoptr(GDesktopAppInfo) info = g_desktop_app_info_new_from_filename(entry.c_str());
    if (!info || !g_app_info_get_commandline(G_APP_INFO(info)) ||
        g_desktop_app_info_get_is_hidden(info))
        return false;
    if (g_desktop_app_info_has_key(info, "X-GNOME-Autostart-enabled") &&
        !g_desktop_app_info_get_boolean(info, "X-GNOME-Autostart-enabled"))
        return false;
    return g_desktop_app_info_get_show_in(info, nullptr);
}

// Whether systemd's generator makes a service of the user's entry that systemd accepts; nullopt
// where systemd is not installed.
std::optional<bool> systemdStarts(const fs::path& configHome, const fs::path& systemDir) {
    if (access(generator, X_OK) != 0)
        return std::nullopt;
    test::TemporaryDirectory units;
    ::setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
    ::setenv("XDG_CONFIG_DIRS", systemDir.c_str(), 1);
    test::run({generator, units.path, units.path, units.path});
    const std::string unit = units / "app-kavelin@autostart.service";
    if (!fs::exists(unit))
        return false;
    // The unit alone, without the session's targets and slice, which a bare verifier lacks.
    std::string contents, line;
    for (std::istringstream lines(test::readWholeFile(unit)); std::getline(lines, line);)
        if (!line.starts_with("PartOf=") && !line.starts_with("After=") &&
            !line.starts_with("Slice="))
            contents += line + "\n";
    test::writeFile(units / "kavelin.service", contents);
    return test::run({"systemd-analyze", "verify", "--man=no", units / "kavelin.service"}).status ==
           0;
}

void makeProgram(const fs::path& path) {
    test::writeFile(path, "#!/bin/sh\n");
    fs::permissions(path, fs::perms(0755));
}

class XdgLoginItemsTest : public testing::Test {
protected:
    void SetUp() override {
        ::setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);
        fs::create_directories(root / "home");
        makeProgram(program);
    }
    // Generous bounds: only the test of a folder that never answers waits for them.
    XdgLoginItems service(const std::string& executable,
                          AutostartWaits waits = {milliseconds(20000), milliseconds(20000)}) {
        return XdgLoginItems(
            configHome, {root / "system1", root / "system2"}, executable,
            [this](const std::string& folder) { opened.push_back(folder); }, waits);
    }
    XdgLoginItems service() { return service(program); }
    fs::path systemEntry(const char* in) const { return root / in + "/autostart/kavelin.desktop"; }
    long autostartFiles() const { return std::distance(fs::directory_iterator(autostart), {}); }

    test::TemporaryDirectory root;
    const fs::path configHome = root / "home/.config", autostart = configHome / "autostart",
                   userEntry = autostart / "kavelin.desktop", program = root / "bin/kavelin";
    std::vector<std::string> opened;
};

// The settings show the autostart folder, created first. Any program path that both readers can
// start comes back as the one word of Exec, and the entry starts; registering again replaces it
// and leaves no temporary file. Paths they cannot start are refused, with a sentence, unwritten.
TEST_F(XdgLoginItemsTest, RegistersWhatSessionsStartAndRefusesTheRest) {
    service().openSystemSettingsLoginItems();
    EXPECT_EQ(opened, std::vector<std::string>{autostart});
    EXPECT_TRUE(fs::is_directory(autostart));
    for (const char* folder : {"plain", "with space", "semi;colon&amp", "stars*?[a]",
                               "accent été « »", "hash#(paren)~<>|!"}) {
        SCOPED_TRACE(folder);
        const std::string path = root / (std::string(folder) + "/kavelin");
        makeProgram(path);
        ASSERT_EQ(service(path).registerItem(), std::nullopt);
        EXPECT_EQ(execArguments(userEntry), std::vector<std::string>{path});
        EXPECT_EQ(autostartFiles(), 1);
        EXPECT_EQ(service(path).status(), loginItemEnabled);
        EXPECT_TRUE(glibStarts(userEntry));
        EXPECT_NE(systemdStarts(configHome, root / "system1"), false);
    }
    fs::remove(userEntry);
    std::vector<std::pair<std::string, const char*>> refused = {
        {root / "bad\xff/kavelin", "UTF-8"},
        {program.string() + " (deleted)", "remplacé ou supprimé"},
        {"relative/kavelin", "n’est pas absolu"},
        {root / "missing/kavelin", "n’est pas un fichier exécutable"}};
    // A tab: GLib takes it, systemd does not.
    for (const char* c : {"\"", "'", "\\", "$HOME", "`t`", "%u", "%%", "\n", "\r", "\t"})
        refused.emplace_back(root / ("bad" + std::string(c) + "/kavelin"), "contient un caractère");
    for (const auto& [path, reason] : refused) {
        SCOPED_TRACE(path);
        const auto error = service(path).registerItem();
        ASSERT_TRUE(error.has_value());
        EXPECT_NE(error->find(reason), std::string::npos) << *error;
        EXPECT_FALSE(fs::exists(userEntry));
    }

    auto items = service();
    ASSERT_EQ(items.registerItem(), std::nullopt);
    EXPECT_EQ(fs::status(configHome).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_EQ(items.unregisterItem(), std::nullopt);
    EXPECT_FALSE(fs::exists(userEntry));
    EXPECT_EQ(items.status(), loginItemNotRegistered);
    // Built without arguments: ~/.config when $XDG_CONFIG_HOME is relative, and this executable.
    ::setenv("HOME", (root / "home").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    ASSERT_EQ(XdgLoginItems().registerItem(), std::nullopt);
    EXPECT_EQ(execArguments(userEntry),
              std::vector<std::string>{fs::read_symlink("/proc/self/exe")});
}

// The Exec value itself quotes any path so that GLib gives it back as one word, characters that
// registering refuses included.
TEST_F(XdgLoginItemsTest, ExecValueQuotesAnyPathForGlib) {
    for (const char* path :
         {"/p/back\\slash\\\"quote\\", "/p/percent%u", "/p/percent%%", "/p/dollar$HOME",
          "/p/back`tick`", "/p/new\nline", "/p/single'quote", "/p/plain"}) {
        test::writeFile(userEntry, "[Desktop Entry]\nExec=" + desktopExecValue(path) + "\n");
        EXPECT_EQ(execArguments(userEntry), std::vector<std::string>{path}) << path;
    }
}

// The check mark says what the session does with the entry, as GLib and systemd read it: a
// broken, empty or foreign file does not start, and neither does one that either reader skips.
TEST_F(XdgLoginItemsTest, StatusIsOnExactlyWhenBothSessionReadersStartTheEntry) {
    const std::string head = "[Desktop Entry]\nType=Application\n",
                      exec = "Exec=" + program.string() + "\n";
    auto with = [&](const std::string& more) { return head + exec + more; };
    std::string translations;
    for (int i = 0; i < 4000; ++i)
        translations += "Comment[x" + std::to_string(i) + "]=Choisir le disque de démarrage\n";
    const std::tuple<const char*, std::string, bool> entries[] = {
        {"a plain entry", head + exec, true},
        {"windows line ends", "[Desktop Entry]\r\nType=Application\r\n" + exec, true},
        {"a large entry, translations and all", head + translations + exec, true},
        {"other groups and comments", "# mine\n" + with("[Desktop Action x]\nExec=y\n"), true},
        {"the GNOME switch on", with("X-GNOME-Autostart-enabled=true\n"), true},
        {"shown in this desktop", with("OnlyShowIn=KDE;GNOME;\n"), true},
        {"Hidden false", with("Hidden=false\n"), true},
        {"empty", "", false},
        {"random bytes", "\x89PNG\r\n\x1a\n\xff\xfe garbage", false},
        {"not UTF-8 in a name", with("Name=Caf\xe9\n"), false},
        {"not UTF-8 in Exec", head + "Exec=" + program.string() + " \xff\n", false},
        {"a line GLib cannot read", with("not a key\n"), false},
        {"another group first", "[Other]\n" + head + exec, false},
        {"no Type", "[Desktop Entry]\n" + exec, false},
        {"not an application", "[Desktop Entry]\nType=Link\n" + exec, false},
        {"no Exec", head, false},
        {"a missing program", head + "Exec=/nonexistent/kavelin\n", false},
        {"a missing TryExec", with("TryExec=/nonexistent/kavelin\n"), false},
        {"an open quote", head + "Exec=\"" + program.string() + "\n", false},
        {"an escape neither knows", head + "Exec=" + program.string() + " \\q\n", false},
        {"Hidden", with("Hidden=true\n"), false},
        {"Hidden, as systemd reads it", with("Hidden=yes\n"), false},
        {"a Boolean systemd cannot read", with("X-systemd-skip=maybe\n"), false},
        {"the GNOME switch off", with("X-GNOME-Autostart-enabled=false\n"), false},
        {"a start-up phase", with("X-GNOME-Autostart-Phase=Initialization\n"), false},
        {"only in another desktop", with("OnlyShowIn=KDE;\n"), false},
        {"not in this desktop", with("NotShowIn=GNOME;\n"), false},
        {"the last Exec wins in GLib, the first in systemd",
         head + "Exec=/nonexistent/kavelin\n" + exec, false},
        {"a line continued for systemd", head + "Name=x\\\n" + exec, false},
    };
    for (const auto& [story, contents, starts] : entries) {
        SCOPED_TRACE(story);
        test::writeFile(userEntry, contents);
        EXPECT_EQ(service().status(), starts ? loginItemEnabled : loginItemNotRegistered);
        // The readers themselves agree with the table.
        const auto systemd = systemdStarts(configHome, root / "system1");
        EXPECT_EQ(glibStarts(userEntry) && systemd.value_or(true), starts);
    }
}

// A hidden user entry switches a system entry off; an earlier configuration folder wins over a
// later one. A FIFO, which would freeze the menu opening, is not started.
TEST_F(XdgLoginItemsTest, StatusFollowsTheEntriesThatSwitchThemOff) {
    const std::string entry = "[Desktop Entry]\nType=Application\nExec=" + program.string() + "\n";
    test::writeFile(systemEntry("system2"), entry);
    auto items = service();
    EXPECT_EQ(items.status(), loginItemEnabled);
    EXPECT_EQ(items.unregisterItem(), std::nullopt);
    EXPECT_EQ(entryValue(userEntry, "Hidden"), "true");
    EXPECT_EQ(items.status(), loginItemNotRegistered);
    EXPECT_TRUE(fs::exists(systemEntry("system2")));
    EXPECT_EQ(items.registerItem(), std::nullopt);
    EXPECT_EQ(entryValue(userEntry, "Hidden"), std::nullopt);
    EXPECT_EQ(items.status(), loginItemEnabled);
    test::writeFile(systemEntry("system1"), entry + "Hidden=true\n");
    fs::remove(userEntry);
    EXPECT_EQ(items.status(), loginItemNotRegistered);
    ASSERT_EQ(::mkfifo(userEntry.c_str(), 0600), 0);
    EXPECT_EQ(service().status(), loginItemNotRegistered);
    fs::remove(userEntry);
    fs::create_symlink(root / "nowhere", userEntry); // still takes the name
    test::writeFile(systemEntry("system1"), entry);
    EXPECT_EQ(service().status(), loginItemNotRegistered);
}

// The system's reason comes in French where the locale is installed (scripts/setup makes one).
// Nothing is created above the configuration folder: a mistyped $HOME stays an error.
TEST_F(XdgLoginItemsTest, FailuresComeBackAsReadableSentences) {
    const locale_t french = ::newlocale(LC_MESSAGES_MASK, "fr_FR.UTF-8", locale_t{});
    auto failure = [&](const std::string& what, const std::string& path, const char* english,
                       const char* inFrench) {
        return what + " «\u00A0" + path + "\u00A0»\u00A0: " + (french ? inFrench : english);
    };
    auto items = service();
    test::writeFile(autostart, "not a folder"); // root writes through permission bits
    EXPECT_EQ(items.registerItem(),
              failure("Impossible d’écrire", userEntry, "Not a directory", "N'est pas un dossier"));
    fs::remove(autostart);
    test::writeFile(userEntry / "occupied", "");
    EXPECT_EQ(items.unregisterItem(),
              failure("Impossible de supprimer", userEntry, "Is a directory", "est un dossier"));
    EXPECT_TRUE(items.registerItem().has_value());
    EXPECT_EQ(autostartFiles(), 1); // the temporary file is removed

    const fs::path mistyped = root / "hmoe/user";
    ::setenv("HOME", mistyped.c_str(), 1);
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(XdgLoginItems().registerItem(),
              failure("Impossible de créer le dossier", mistyped / ".config",
                      "No such file or directory", "Aucun fichier ou dossier de ce type"));
    EXPECT_FALSE(fs::exists(root / "hmoe"));
    for (const char* home : {"/", "//", "/home//user/"}) {
        ::setenv("HOME", home, 1);
        EXPECT_EQ(xdgConfigHome(),
                  std::string(home) == "/home//user/" ? "/home/user/.config" : "/.config");
    }
    ::setenv("XDG_CONFIG_DIRS", "/etc//xdg/::relative:/", 1);
    EXPECT_EQ(xdgConfigDirs(), (std::vector<std::string>{"/etc/xdg", "/"}));
    if (french)
        ::freelocale(french);
}

// A configuration folder on a FUSE mount whose server never reads: each menu opening gets its
// answer within the bound, a change fails with a sentence, and no thread piles up.
TEST_F(XdgLoginItemsTest, AFolderThatNeverAnswersCostsNoMoreThanTheBound) {
    if (const auto why = test::whyNoPrivateMounts(); !why.empty())
        GTEST_SKIP() << why;
    const int server = test::mountUnansweredFuse(configHome, "fuse.sshfs");
    if (server < 0)
        GTEST_SKIP() << "cannot mount a FUSE file system (/dev/fuse)";
    auto items = service(program, {milliseconds(100), milliseconds(100)});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(items.status(), loginItemNotRegistered);
    const auto afterFirst = test::threadCount();
    for (int opening = 0; opening < 5; ++opening)
        EXPECT_EQ(items.status(), loginItemNotRegistered);
    EXPECT_EQ(items.registerItem(), "Le dossier «\u00A0" + autostart.string() +
                                        "\u00A0» ne répond pas\u00A0: son disque est injoignable.");
    // Only the time tells a bound from a hang; the bound is 100 ms a call.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(test::threadCount(), afterFirst) << "threads pile up on a folder that never answers";
    umount2(configHome.c_str(), MNT_DETACH);
    close(server);
}

} // namespace
} // namespace kavelin::platform
