// The XDG autostart login item service on configuration folders of its own. What it writes is
// read back with GLib's key-file parser and its shell-word splitting, the pair that desktop
// sessions use to start autostart entries, and once by actually launching the entry with GIO.

#include <fcntl.h>
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/linux/xdg_login_items.h"

namespace kavelin::platform {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

void write(const fs::path& path, const std::string& contents) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << contents;
}

// A key of the [Desktop Entry] group as GLib reads it (string escapes undone); nullopt if absent.
std::optional<std::string> entryValue(const fs::path& path, const char* key) {
    GKeyFile* file = g_key_file_new();
    std::optional<std::string> value;
    if (g_key_file_load_from_file(file, path.c_str(), G_KEY_FILE_NONE, nullptr)) {
        if (gchar* raw = g_key_file_get_string(file, "Desktop Entry", key, nullptr)) {
            value = raw;
            g_free(raw);
        }
    }
    g_key_file_free(file);
    return value;
}

// The argument vector that a desktop session derives from the Exec key: %% gives %, then the
// value is split into words with its double quotes and backslash escapes undone.
std::vector<std::string> execArguments(const fs::path& entry) {
    const auto exec = entryValue(entry, "Exec");
    if (!exec)
        return {};
    std::string expanded;
    for (std::size_t i = 0; i < exec->size(); ++i) {
        expanded += (*exec)[i];
        if ((*exec)[i] == '%' && i + 1 < exec->size() && (*exec)[i + 1] == '%')
            ++i;
    }
    gint argc = 0;
    gchar** argv = nullptr;
    std::vector<std::string> words;
    if (g_shell_parse_argv(expanded.c_str(), &argc, &argv, nullptr)) {
        words.assign(argv, argv + argc);
        g_strfreev(argv);
    }
    return words;
}

class XdgLoginItemsTest : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = fs::temp_directory_path() / "kavelin-xdg-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root = pattern;
    }
    void TearDown() override { fs::remove_all(root); }

    XdgLoginItems service(const std::string& executable = "/usr/bin/kavelin") {
        return XdgLoginItems(configHome(), {root / "system1", root / "system2"}, executable,
                             [this](const std::string& folder) { opened.push_back(folder); });
    }
    fs::path configHome() const { return root / "home" / ".config"; }
    fs::path userEntry() const { return configHome() / "autostart" / "kavelin.desktop"; }
    fs::path systemEntry(int n = 1) const {
        return root / ("system" + std::to_string(n)) / "autostart" / "kavelin.desktop";
    }
    std::vector<std::string> autostartFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(configHome() / "autostart"))
            names.push_back(entry.path().filename());
        return names;
    }

    fs::path root;
    std::vector<std::string> opened;
};

TEST_F(XdgLoginItemsTest, RegisterWritesAnEntryThatStartsTheProgramAndUnregisterRemovesIt) {
    auto items = service();
    EXPECT_EQ(items.status(), loginItemNotRegistered);

    EXPECT_EQ(items.registerItem(), std::nullopt);
    EXPECT_EQ(items.status(), loginItemEnabled);
    EXPECT_EQ(autostartFiles(), std::vector<std::string>{"kavelin.desktop"}); // no temporary left
    EXPECT_EQ(entryValue(userEntry(), "Type"), "Application");
    EXPECT_EQ(entryValue(userEntry(), "Hidden"), std::nullopt);
    EXPECT_EQ(execArguments(userEntry()), std::vector<std::string>{"/usr/bin/kavelin"});
    EXPECT_EQ(fs::status(configHome()).permissions() & fs::perms::all, fs::perms::owner_all);

    EXPECT_EQ(items.registerItem(), std::nullopt); // again: same entry, replaced
    EXPECT_EQ(autostartFiles(), std::vector<std::string>{"kavelin.desktop"});

    EXPECT_EQ(items.unregisterItem(), std::nullopt);
    EXPECT_FALSE(fs::exists(userEntry()));
    EXPECT_EQ(items.status(), loginItemNotRegistered);
    EXPECT_EQ(items.unregisterItem(), std::nullopt); // nothing left to remove is no failure
}

TEST_F(XdgLoginItemsTest, SystemEntryIsSwitchedOffByAHiddenUserEntry) {
    write(systemEntry(2), "[Desktop Entry]\nType=Application\nName=Kavelin\nExec=kavelin\n");
    auto items = service();
    EXPECT_EQ(items.status(), loginItemEnabled);

    EXPECT_EQ(items.unregisterItem(), std::nullopt);
    EXPECT_EQ(entryValue(userEntry(), "Hidden"), "true");
    EXPECT_EQ(items.status(), loginItemNotRegistered);
    EXPECT_TRUE(fs::exists(systemEntry(2)));

    EXPECT_EQ(items.registerItem(), std::nullopt);
    EXPECT_EQ(entryValue(userEntry(), "Hidden"), std::nullopt);
    EXPECT_EQ(items.status(), loginItemEnabled);
}

TEST_F(XdgLoginItemsTest, SwitchedOffSystemEntryNeedsNoHiddenUserEntry) {
    write(systemEntry(1), "[Desktop Entry]\nType=Application\nExec=kavelin\nHidden=true\n");
    // The first configuration folder wins over the later one.
    write(systemEntry(2), "[Desktop Entry]\nType=Application\nExec=kavelin\n");
    auto items = service();
    EXPECT_EQ(items.status(), loginItemNotRegistered);
    EXPECT_EQ(items.registerItem(), std::nullopt);
    EXPECT_EQ(items.unregisterItem(), std::nullopt);
    EXPECT_FALSE(fs::exists(userEntry()));
}

// What the user entry says decides, whatever the system-wide entry says.
struct Entry {
    std::string what;
    std::optional<std::string> user;
    std::optional<std::string> system;
    int status;
    friend void PrintTo(const Entry& entry, std::ostream* out) { *out << entry.what; }
};

class EntryStatus : public XdgLoginItemsTest, public testing::WithParamInterface<Entry> {};

TEST_P(EntryStatus, GivesTheStatusOfTheEntryThatWins) {
    if (GetParam().user)
        write(userEntry(), *GetParam().user);
    if (GetParam().system)
        write(systemEntry(), *GetParam().system);
    EXPECT_EQ(service().status(), GetParam().status);
}

const std::string plain = "[Desktop Entry]\nType=Application\nExec=kavelin\n";

INSTANTIATE_TEST_SUITE_P(
    Entries, EntryStatus,
    testing::Values(
        Entry{"plain", plain, {}, 1}, Entry{"hidden", plain + "Hidden=true\n", {}, 0},
        Entry{"hiddenWithSpaces", plain + "Hidden = true \n", {}, 0},
        Entry{"hiddenFalse", plain + "Hidden=false\n", {}, 1},
        Entry{"gnomeDisabled", plain + "X-GNOME-Autostart-enabled=false\n", {}, 0},
        Entry{"gnomeEnabled", plain + "X-GNOME-Autostart-enabled=true\n", {}, 1},
        Entry{"hiddenInAnotherGroup", plain + "[Desktop Action quit]\nHidden=true\n", {}, 1},
        Entry{"hiddenInComment", plain + "# Hidden=true\n", {}, 1},
        Entry{"userOverSystem", plain, plain + "Hidden=true\n", 1},
        Entry{"userHidesSystem", plain + "Hidden=true\n", plain, 0},
        Entry{"systemOnly", {}, plain, 1}, Entry{"systemHidden", {}, plain + "Hidden=true\n", 0},
        Entry{"oversized", plain + std::string(100 * 1024, '#'), {}, 0}),
    [](const auto& info) { return info.param.what; });

// A FIFO planted at the entry's path is never opened for a blocking read: the menu opening that
// reads the status must not freeze.
TEST_F(XdgLoginItemsTest, FifoInPlaceOfTheEntryCountsAsSwitchedOff) {
    fs::create_directories(userEntry().parent_path());
    ASSERT_EQ(::mkfifo(userEntry().c_str(), 0600), 0);
    EXPECT_EQ(service().status(), loginItemNotRegistered);
}

TEST_F(XdgLoginItemsTest, FailuresComeBackAsReadableSentences) {
    auto items = service();
    // Root writes through permission bits, so the folder is made a file instead.
    write(configHome() / "autostart", "not a folder");
    EXPECT_EQ(items.registerItem(), "Impossible d’écrire «\u00A0" + userEntry().string() +
                                        "\u00A0»\u00A0: Not a directory");

    fs::remove(configHome() / "autostart");
    write(userEntry() / "occupied", "");
    EXPECT_EQ(items.registerItem(), "Impossible d’écrire «\u00A0" + userEntry().string() +
                                        "\u00A0»\u00A0: Is a directory");
    EXPECT_EQ(autostartFiles(), std::vector<std::string>{"kavelin.desktop"}); // temporary removed
    EXPECT_EQ(items.unregisterItem(), "Impossible de supprimer «\u00A0" + userEntry().string() +
                                          "\u00A0»\u00A0: Is a directory");

    fs::remove_all(root / "home");
    write(root / "home", "not a folder");
    EXPECT_EQ(items.registerItem(), "Impossible de créer le dossier «\u00A0" +
                                        (root / "home" / ".config").string() +
                                        "\u00A0»\u00A0: Not a directory");
}

TEST_F(XdgLoginItemsTest, SettingsOpenTheAutostartFolderCreatedFirst) {
    auto items = service();
    items.openSystemSettingsLoginItems();
    EXPECT_EQ(opened, std::vector<std::string>{(configHome() / "autostart").string()});
    EXPECT_TRUE(fs::is_directory(configHome() / "autostart"));
}

// The quoting of the Exec key, checked against the way a session splits it back into words.
class ExecQuoting : public XdgLoginItemsTest, public testing::WithParamInterface<std::string> {};

TEST_P(ExecQuoting, GivesBackTheProgramPathAsOneWord) {
    const std::string program = (root / GetParam() / "kavelin").string();
    auto items = service(program);
    ASSERT_EQ(items.registerItem(), std::nullopt);
    EXPECT_EQ(execArguments(userEntry()), std::vector<std::string>{program});
}

INSTANTIATE_TEST_SUITE_P(Paths, ExecQuoting,
                         testing::Values("plain", "with space", "double\"quote", "single'quote",
                                         "back\\slash", "dollar$HOME", "back`tick`", "percent%u",
                                         "percent%%", "new\nline", "tab\there", "semi;colon&amp",
                                         "stars*?[a]", "accent été « »", "hash#(paren)~<>|"));

// The entry as a desktop starts it: GIO reads the file and runs the program, here a stand-in
// at a path full of reserved characters that reports how it was started.
// NOTE: no "%" in that path: GIO looks the program up before it expands "%%", so it would not
// find it; the quoting of "%" is checked against the splitting above instead.
TEST_F(XdgLoginItemsTest, GioStartsTheRegisteredProgram) {
    const fs::path folder = root / "opt \"Kavelin\" $HOME `x` l'été\\";
    const fs::path program = folder / "kavelin";
    const fs::path report = root / "started";
    fs::create_directories(folder);
    write(program, "#!/bin/sh\nprintf '%s|%s' \"$0\" \"$#\" > '" + report.string() + "'\n");
    fs::permissions(program, fs::perms::owner_all);
    auto items = service(program);
    ASSERT_EQ(items.registerItem(), std::nullopt);

    GDesktopAppInfo* info = g_desktop_app_info_new_from_filename(userEntry().c_str());
    ASSERT_NE(info, nullptr);
    EXPECT_FALSE(g_desktop_app_info_get_is_hidden(info));
    GError* error = nullptr;
    const bool launched = g_app_info_launch(G_APP_INFO(info), nullptr, nullptr, &error);
    g_object_unref(info);
    ASSERT_TRUE(launched) << (error ? error->message : "");

    for (int i = 0; i < 500 && slurp(report).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(slurp(report), program.string() + "|0");
}

TEST_F(XdgLoginItemsTest, LaunchDetachedPassesTheArgumentsUnchanged) {
    const fs::path program = root / "xdg-open";
    const fs::path report = root / "arguments";
    write(program, "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + report.string() + "'\n");
    fs::permissions(program, fs::perms::owner_all);

    EXPECT_TRUE(launchDetached({program, "/home/a b/$x;`y`"}));
    for (int i = 0; i < 500 && slurp(report).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(slurp(report), "/home/a b/$x;`y`\n");
    EXPECT_FALSE(launchDetached({(root / "missing").string()}));
}

// The session's own locations, as the service finds them when built without arguments.
TEST_F(XdgLoginItemsTest, DefaultsComeFromTheSession) {
    const std::string home = (root / "home").string();
    ::setenv("HOME", home.c_str(), 1);
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("XDG_CONFIG_DIRS");
    EXPECT_EQ(xdgConfigHome(), home + "/.config");
    EXPECT_EQ(xdgConfigDirs(), std::vector<std::string>{"/etc/xdg"});
    ::setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    ::setenv("XDG_CONFIG_DIRS", "/first/:relative::/second", 1);
    EXPECT_EQ(xdgConfigHome(), home + "/.config");
    EXPECT_EQ(xdgConfigDirs(), (std::vector<std::string>{"/first", "/second"}));

    const std::string config = (root / "config").string();
    ::setenv("XDG_CONFIG_HOME", (config + "/").c_str(), 1);
    EXPECT_EQ(xdgConfigHome(), config);
    XdgLoginItems items;
    ASSERT_EQ(items.registerItem(), std::nullopt);
    EXPECT_EQ(execArguments(root / "config" / "autostart" / "kavelin.desktop"),
              std::vector<std::string>{fs::read_symlink("/proc/self/exe")});
}

} // namespace
} // namespace kavelin::platform
