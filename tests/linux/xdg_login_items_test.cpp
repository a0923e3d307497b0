// The autostart entries, read back with GLib's key-file parser and shell-word splitting, as
// desktop sessions read them.

#include <glib.h>
#include <locale.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "platform/linux/xdg_login_items.h"
#include "test_support.h"

namespace kavelin::platform {
namespace {

namespace fs = std::filesystem;

const std::string entry = "[Desktop Entry]\nType=Application\nExec=kavelin\n";

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
    for (const char* c = value.c_str(); *c; exec += *c++)
        if (*c == '%' && *++c != '%')
            return {"field code in Exec"};
    g_auto(GStrv) argv = nullptr;
    if (!g_shell_parse_argv(exec.c_str(), nullptr, &argv, nullptr))
        return {};
    return {argv, argv + g_strv_length(argv)};
}

class XdgLoginItemsTest : public testing::Test {
protected:
    XdgLoginItems service(const std::string& executable = "/usr/bin/kavelin") {
        return XdgLoginItems(configHome, {root / "system1", root / "system2"}, executable,
                             [this](const std::string& folder) { opened.push_back(folder); });
    }
    fs::path systemEntry(const char* in) const { return root / in + "/autostart/kavelin.desktop"; }
    long autostartFiles() const { return std::distance(fs::directory_iterator(autostart), {}); }

    test::TemporaryDirectory root;
    const fs::path configHome = root / "home/.config", autostart = configHome / "autostart",
                   userEntry = autostart / "kavelin.desktop";
    std::vector<std::string> opened;
};

// The settings show the autostart folder, created first. The entry gives any program path back
// as one word, registering again replaces it, and no temporary file is left beside it.
TEST_F(XdgLoginItemsTest, SettingsShowTheFolderWhereRegisterWritesTheEntryUnregisterRemoves) {
    service().openSystemSettingsLoginItems();
    EXPECT_EQ(opened, std::vector<std::string>{autostart});
    EXPECT_TRUE(fs::is_directory(autostart));
    for (const char* folder :
         {"plain", "with space", "double\"quote", "single'quote", "back\\slash\\\"quote\\",
          "dollar$HOME", "back`tick`", "percent%u", "percent%%", "new\nline", "tab\there",
          "semi;colon&amp", "stars*?[a]", "accent été « »", "hash#(paren)~<>|"}) {
        const std::string program = root / (std::string(folder) + "/kavelin");
        ASSERT_EQ(service(program).registerItem(), std::nullopt) << folder;
        EXPECT_EQ(execArguments(userEntry), std::vector<std::string>{program}) << folder;
        EXPECT_EQ(autostartFiles(), 1) << folder;
    }
    auto items = service();
    EXPECT_EQ(items.status(), loginItemEnabled);
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

// A hidden user entry switches a system entry off; an earlier configuration folder wins over a
// later one. A FIFO, which would freeze the menu opening, is not started.
TEST_F(XdgLoginItemsTest, StatusFollowsTheEntriesThatSwitchThemOff) {
    test::writeFile(systemEntry("system2"), entry);
    auto items = service();
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
}

// The system's reason comes in French where the locale is installed (scripts/setup makes one).
TEST_F(XdgLoginItemsTest, FailuresComeBackAsReadableSentences) {
    const locale_t french = ::newlocale(LC_MESSAGES_MASK, "fr_FR.UTF-8", locale_t{});
    auto failure = [&](const std::string& what, const char* english, const char* inFrench) {
        return what + " «\u00A0" + userEntry.string() +
               "\u00A0»\u00A0: " + (french ? inFrench : english);
    };
    auto items = service();
    test::writeFile(autostart, "not a folder"); // root writes through permission bits
    EXPECT_EQ(items.registerItem(),
              failure("Impossible d’écrire", "Not a directory", "N'est pas un dossier"));
    fs::remove(autostart);
    test::writeFile(userEntry / "occupied", "");
    EXPECT_EQ(items.unregisterItem(),
              failure("Impossible de supprimer", "Is a directory", "est un dossier"));
    EXPECT_TRUE(items.registerItem().has_value());
    EXPECT_EQ(autostartFiles(), 1); // the temporary file is removed
    if (french)
        ::freelocale(french);
}

} // namespace
} // namespace kavelin::platform
