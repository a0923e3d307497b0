// The XDG autostart login item service on configuration folders of its own. What it writes is
// read back with GLib's key-file parser and shell-word splitting, as desktop sessions read it.

#include <glib.h>
#include <locale.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>

#include "platform/linux/xdg_login_items.h"

namespace kavelin::platform {
namespace {

namespace fs = std::filesystem;

const std::string entry = "[Desktop Entry]\nType=Application\nExec=kavelin\n";

void write(const fs::path& path, const std::string& contents) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << contents;
}

// A key of the [Desktop Entry] group with its string escapes undone; nullopt if absent.
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
    for (const char* c = value.c_str(); *c; ++c) {
        if (*c == '%' && *++c != '%')
            return {"field code in Exec"};
        exec += *c;
    }
    g_auto(GStrv) argv = nullptr;
    if (!g_shell_parse_argv(exec.c_str(), nullptr, &argv, nullptr))
        return {};
    return {argv, argv + g_strv_length(argv)};
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
    fs::path userEntry() const { return configHome() / "autostart/kavelin.desktop"; }
    fs::path systemEntry(const char* dir) const { return root / dir / "autostart/kavelin.desktop"; }
    long autostartFiles() const {
        return std::distance(fs::directory_iterator(configHome() / "autostart"), {});
    }
    std::string failure(const std::string& what, const fs::path& path, const char* reason) {
        return what + " «\u00A0" + path.string() + "\u00A0»\u00A0: " + reason;
    }

    fs::path root;
    std::vector<std::string> opened;
};

// The settings show the autostart folder, created first. The entry gives any program path back
// as one word, registering again replaces it, and no temporary file is left beside it.
TEST_F(XdgLoginItemsTest, SettingsShowTheFolderWhereRegisterWritesTheEntryUnregisterRemoves) {
    service().openSystemSettingsLoginItems();
    EXPECT_EQ(opened, std::vector<std::string>{configHome() / "autostart"});
    EXPECT_TRUE(fs::is_directory(configHome() / "autostart"));
    for (const char* folder :
         {"plain", "with space", "double\"quote", "single'quote", "back\\slash\\\"quote\\",
          "dollar$HOME", "back`tick`", "percent%u", "percent%%", "new\nline", "tab\there",
          "semi;colon&amp", "stars*?[a]", "accent été « »", "hash#(paren)~<>|"}) {
        const std::string program = (root / folder / "kavelin").string();
        ASSERT_EQ(service(program).registerItem(), std::nullopt) << folder;
        EXPECT_EQ(execArguments(userEntry()), std::vector<std::string>{program}) << folder;
        EXPECT_EQ(autostartFiles(), 1) << folder;
    }
    auto items = service();
    EXPECT_EQ(items.status(), loginItemEnabled);
    EXPECT_EQ(entryValue(userEntry(), "Type"), "Application");
    EXPECT_EQ(fs::status(configHome()).permissions() & fs::perms::all, fs::perms::owner_all);

    EXPECT_EQ(items.unregisterItem(), std::nullopt);
    EXPECT_FALSE(fs::exists(userEntry()));
    EXPECT_EQ(items.status(), loginItemNotRegistered);
}

TEST_F(XdgLoginItemsTest, SystemEntryIsSwitchedOffByAHiddenUserEntry) {
    write(systemEntry("system2"), entry);
    auto items = service();
    EXPECT_EQ(items.status(), loginItemEnabled);

    EXPECT_EQ(items.unregisterItem(), std::nullopt);
    EXPECT_EQ(entryValue(userEntry(), "Hidden"), "true");
    EXPECT_EQ(items.status(), loginItemNotRegistered);
    EXPECT_TRUE(fs::exists(systemEntry("system2")));

    EXPECT_EQ(items.registerItem(), std::nullopt);
    EXPECT_EQ(entryValue(userEntry(), "Hidden"), std::nullopt);
    EXPECT_EQ(items.status(), loginItemEnabled);

    // An earlier configuration folder wins over a later one.
    write(systemEntry("system1"), entry + "Hidden=true\n");
    fs::remove(userEntry());
    EXPECT_EQ(items.status(), loginItemNotRegistered);
}

// Only the [Desktop Entry] group counts; what is not a plain small file is not started.
TEST_F(XdgLoginItemsTest, StatusFollowsTheKeysThatSwitchAnEntryOff) {
    const std::pair<std::string, int> cases[] = {{"Hidden = true \n", 0},
                                                 {"Hidden=false\n", 1},
                                                 {"X-GNOME-Autostart-enabled=false\n", 0},
                                                 {"[Desktop Action quit]\nHidden=true\n", 1},
                                                 {std::string(100 * 1024, '#'), 0}};
    for (const auto& [keys, status] : cases) {
        write(userEntry(), entry + keys);
        EXPECT_EQ(service().status(), status) << keys.substr(0, 40);
    }
    // A FIFO in place of the entry must not freeze the opening of the menu that reads it.
    fs::remove(userEntry());
    ASSERT_EQ(::mkfifo(userEntry().c_str(), 0600), 0);
    EXPECT_EQ(service().status(), loginItemNotRegistered);
}

// The system's reason comes in French, as the sentence around it, where a French locale is
// installed (scripts/setup makes one); in the C library's English otherwise.
TEST_F(XdgLoginItemsTest, FailuresComeBackAsReadableSentences) {
    const locale_t french = ::newlocale(LC_MESSAGES_MASK, "fr_FR.UTF-8", locale_t{});
    if (french)
        ::freelocale(french);
    else
        std::cout << "no fr_FR.UTF-8 locale: the English reasons are expected\n";
    const char* notADirectory = french ? "N'est pas un dossier" : "Not a directory";
    const char* isADirectory = french ? "est un dossier" : "Is a directory";

    auto items = service();
    // Root writes through permission bits, so the folder is made a file instead.
    write(configHome() / "autostart", "not a folder");
    EXPECT_EQ(items.registerItem(), failure("Impossible d’écrire", userEntry(), notADirectory));

    fs::remove(configHome() / "autostart");
    write(userEntry() / "occupied", "");
    EXPECT_EQ(items.registerItem(), failure("Impossible d’écrire", userEntry(), isADirectory));
    EXPECT_EQ(autostartFiles(), 1); // the temporary file is removed
    EXPECT_EQ(items.unregisterItem(),
              failure("Impossible de supprimer", userEntry(), isADirectory));
}

// Built without arguments: ~/.config when $XDG_CONFIG_HOME is relative, and this executable.
TEST_F(XdgLoginItemsTest, DefaultsComeFromTheSession) {
    ::setenv("HOME", (root / "home").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    ASSERT_EQ(XdgLoginItems().registerItem(), std::nullopt);
    EXPECT_EQ(execArguments(userEntry()),
              std::vector<std::string>{fs::read_symlink("/proc/self/exe")});
}

} // namespace
} // namespace kavelin::platform
