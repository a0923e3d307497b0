// The restart requester against a real, private session bus (a dbus-daemon started here), with
// stand-ins for the desktops' session managers on it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <unistd.h>

#include <gio/gio.h>

#include "platform/linux/dbus_restart_requester.h"

namespace kavelin::platform {
namespace {

// A desktop's session manager as its bus shows it: its name, object, interface and methods.
// Beside the method that shows the confirmation sit others the requester must leave alone,
// some of which restart at once.
struct Desktop {
    const char *name, *path, *interface;
    std::vector<std::string> methods;
};
// clang-format off
const Desktop gnome{"org.gnome.SessionManager", "/org/gnome/SessionManager",
                    "org.gnome.SessionManager", {"Reboot", "Shutdown", "RequestReboot"}};
const Desktop mate{"org.gnome.SessionManager", "/org/gnome/SessionManager",
                   "org.gnome.SessionManager", {"Shutdown", "RequestReboot", "Logout"}};
const Desktop xfce{"org.xfce.SessionManager", "/org/xfce/SessionManager",
                   "org.xfce.Session.Manager", {"Restart", "Shutdown", "Logout"}};
const Desktop kde{"org.kde.LogoutPrompt", "/LogoutPrompt", "org.kde.LogoutPrompt",
                  {"promptReboot", "promptShutDown"}};
// clang-format on
const Desktop lxqt{"org.lxqt.session", "/LXQtSession", "org.lxqt.session", {"reboot", "logout"}};

// One session manager on the bus: owns its desktop's name and records each call made to it as
// "Method(arguments)", "unknown Method(arguments)" when it has no such method or object. It
// answers its methods, or never does.
struct SessionManager {
    SessionManager(const std::string& address, const Desktop& desktop, bool answers)
        : desktop(desktop), answers(answers),
          connection(g_dbus_connection_new_for_address_sync(
              address.c_str(),
              GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                   G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
              nullptr, nullptr, nullptr)) {
        g_dbus_connection_add_filter(connection, receive, this, nullptr);
        g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
            connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "RequestName", g_variant_new("(su)", desktop.name, 4u), G_VARIANT_TYPE("(u)"),
            G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
        g_autoptr(GVariant) owner = reply ? g_variant_get_child_value(reply, 0) : nullptr;
        ownsName = owner && g_variant_get_uint32(owner) == 1; // the primary owner
    }
    ~SessionManager() {
        g_dbus_connection_close_sync(connection, nullptr, nullptr);
        g_object_unref(connection);
    }
    static GDBusMessage* receive(GDBusConnection* connection, GDBusMessage* message,
                                 gboolean incoming, gpointer data) {
        auto* self = static_cast<SessionManager*>(data);
        if (!incoming ||
            g_dbus_message_get_message_type(message) != G_DBUS_MESSAGE_TYPE_METHOD_CALL)
            return message;
        const std::string method = g_dbus_message_get_member(message);
        const bool known =
            g_strcmp0(g_dbus_message_get_path(message), self->desktop.path) == 0 &&
            g_strcmp0(g_dbus_message_get_interface(message), self->desktop.interface) == 0 &&
            std::ranges::find(self->desktop.methods, method) != self->desktop.methods.end();
        GVariant* arguments = g_dbus_message_get_body(message);
        g_autofree gchar* printed = arguments ? g_variant_print(arguments, FALSE) : g_strdup("()");
        std::unique_lock lock(self->mutex);
        self->calls.push_back((known ? "" : "unknown ") + method + printed);
        lock.unlock();
        g_autoptr(GDBusMessage) reply =
            !known ? g_dbus_message_new_method_error(
                         message, "org.freedesktop.DBus.Error.UnknownMethod", "no")
            : self->answers ? g_dbus_message_new_method_reply(message)
                            : nullptr;
        if (reply)
            g_dbus_connection_send_message(connection, reply, G_DBUS_SEND_MESSAGE_FLAGS_NONE,
                                           nullptr, nullptr);
        g_object_unref(message);
        return nullptr;
    }
    const Desktop& desktop;
    const bool answers;
    GDBusConnection* connection;
    bool ownsName;
    std::mutex mutex; // calls arrive on GIO's worker thread
    std::vector<std::string> calls;
};

// A private session bus, a dbus-daemon of its own so that no name is left over, made the
// session's for as long as it lives.
struct SessionBus {
    SessionBus() {
        g_test_dbus_up(bus);
        address = g_test_dbus_get_bus_address(bus);
    }
    ~SessionBus() {
        g_test_dbus_down(bus);
        g_object_unref(bus);
    }
    GTestDBus* bus = g_test_dbus_new(G_TEST_DBUS_NONE);
    std::string address;
};

// The desktop present is asked once, for its confirmation dialog, and nothing else is called;
// one that never answers is given up on at the bound.
TEST(DbusRestartRequester, AsksThePresentDesktopForItsConfirmationOnly) {
    if (access("/usr/bin/dbus-daemon", X_OK) != 0)
        GTEST_SKIP() << "dbus-daemon is not installed (Debian package dbus-daemon)";
    const struct {
        const char* story;
        std::vector<const Desktop*> present;
        bool answers, answered;
        std::vector<std::vector<std::string>> calls; // of each desktop present, in order
    } rows[] = {
        {"GNOME or Cinnamon", {&gnome}, true, true, {{"Reboot()"}}},
        {"MATE: its shutdown dialog", {&mate}, true, true, {{"unknown Reboot()", "Shutdown()"}}},
        {"Xfce: the logout dialog", {&xfce}, true, true, {{"Logout(true, true)"}}},
        {"KDE Plasma", {&kde}, true, true, {{"promptReboot()"}}},
        {"GNOME before KDE", {&kde, &gnome}, true, true, {{}, {"Reboot()"}}},
        {"LXQt restarts without asking: not called", {&lxqt}, true, false, {{}}},
        {"no desktop", {}, true, false, {}},
        {"GNOME never answers", {&gnome}, false, false, {{"Reboot()"}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.story);
        SessionBus session;
        std::vector<std::unique_ptr<SessionManager>> managers;
        for (const Desktop* desktop : row.present) {
            managers.push_back(
                std::make_unique<SessionManager>(session.address, *desktop, row.answers));
            ASSERT_TRUE(managers.back()->ownsName) << desktop->name;
        }
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(DbusRestartRequester().requestRestart(), row.answered);
        const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
        std::vector<std::vector<std::string>> calls;
        for (const auto& manager : managers) {
            std::lock_guard lock(manager->mutex);
            calls.push_back(manager->calls);
        }
        EXPECT_EQ(calls, row.calls);
        EXPECT_LT(seconds.count(), restartRequestTimeoutSeconds + 1.0);
        EXPECT_GE(seconds.count(), row.answers ? 0 : restartRequestTimeoutSeconds - 0.1);
    }
    EXPECT_FALSE(DbusRestartRequester("unix:path=/nonexistent/bus").requestRestart());
}

// Every request opens its own connection and main context; none may outlive it.
TEST(DbusRestartRequester, LeavesNoDescriptorBehind) {
    if (access("/usr/bin/dbus-daemon", X_OK) != 0)
        GTEST_SKIP() << "dbus-daemon is not installed (Debian package dbus-daemon)";
    auto descriptors = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    };
    SessionBus session;
    SessionManager plasma(session.address, kde, true);
    ASSERT_TRUE(plasma.ownsName);
    ASSERT_TRUE(DbusRestartRequester().requestRestart()); // GIO's one-time set-up happens here
    const auto before = descriptors();
    int answered = 0;
    for (int i = 0; i < 1000; ++i)
        answered += DbusRestartRequester().requestRestart();
    EXPECT_EQ(answered, 1000);
    // GIO's worker thread lets go of the last connection shortly after the request returns.
    for (int i = 0; i < 100 && descriptors() > before; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_LE(descriptors(), before);
}

} // namespace
} // namespace kavelin::platform
