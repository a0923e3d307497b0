// The restart requester against a real, private session bus: a dbus-daemon started here, and
// session managers served by this test's main context while the request runs on a thread.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <iostream>
#include <memory>
#include <thread>
#include <unistd.h>

#include <gio/gio.h>

#include "platform/linux/dbus_restart_requester.h"

namespace kavelin::platform {
namespace {

// A desktop's session manager as its session bus shows it: the name it owns, its object, and
// the methods of its interface, each "Name" or "Name(signature)" for its arguments.
struct Desktop {
    const char *name, *path, *interface;
    std::vector<std::string> methods;
};
// Beside the method that shows the confirmation sit others the requester must leave alone,
// some of which restart at once.
const Desktop gnome{"org.gnome.SessionManager",
                    "/org/gnome/SessionManager",
                    "org.gnome.SessionManager",
                    {"Reboot", "Shutdown", "RequestReboot"}};
const Desktop mate{"org.gnome.SessionManager",
                   "/org/gnome/SessionManager",
                   "org.gnome.SessionManager",
                   {"Shutdown", "RequestReboot", "Logout(u)"}};
const Desktop xfce{"org.xfce.SessionManager",
                   "/org/xfce/SessionManager",
                   "org.xfce.Session.Manager",
                   {"Restart(b)", "Shutdown(b)", "Logout(bb)"}};
const Desktop kde{"org.kde.LogoutPrompt",
                  "/LogoutPrompt",
                  "org.kde.LogoutPrompt",
                  {"promptReboot", "promptShutDown"}};
const Desktop lxqt{"org.lxqt.session", "/LXQtSession", "org.lxqt.session", {"reboot", "logout"}};

// One session manager on the bus: owns its desktop's name and records each call as
// "Method(arguments)"; answers it, or never does.
class SessionManager {
public:
    SessionManager(const std::string& address, const Desktop& desktop, bool answers = true)
        : answers(answers) {
        std::string xml = std::string("<node><interface name='") + desktop.interface + "'>";
        for (const auto& method : desktop.methods) {
            const auto open = method.find('(');
            xml += "<method name='" + method.substr(0, open) + "'>";
            for (std::size_t at = open + 1; open != std::string::npos && method[at] != ')'; ++at)
                xml += std::string("<arg direction='in' type='") + method[at] + "'/>";
            xml += "</method>";
        }
        node = g_dbus_node_info_new_for_xml((xml + "</interface></node>").c_str(), nullptr);
        connection = g_dbus_connection_new_for_address_sync(
            address.c_str(),
            GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                 G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr);
        if (!node || !connection)
            return;
        static const GDBusInterfaceVTable table{handle, nullptr, nullptr, {}};
        g_dbus_connection_register_object(connection, desktop.path, node->interfaces[0], &table,
                                          this, nullptr, nullptr);
        GVariant* reply = g_dbus_connection_call_sync(
            connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "RequestName", g_variant_new("(su)", desktop.name, 4u), G_VARIANT_TYPE("(u)"),
            G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
        guint32 result = 0;
        if (reply) {
            g_variant_get(reply, "(u)", &result);
            g_variant_unref(reply);
        }
        ownsName = result == 1; // the primary owner
    }

    ~SessionManager() {
        for (GDBusMethodInvocation* invocation : held)
            g_object_unref(invocation);
        g_clear_object(&connection);
        if (node)
            g_dbus_node_info_unref(node);
    }

    bool ownsName = false;
    std::vector<std::string> calls;

private:
    static void handle(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                       const gchar* method, GVariant* arguments, GDBusMethodInvocation* invocation,
                       gpointer data) {
        auto* self = static_cast<SessionManager*>(data);
        gchar* printed = g_variant_print(arguments, FALSE);
        self->calls.push_back(method + std::string(printed));
        g_free(printed);
        if (self->answers)
            g_dbus_method_invocation_return_value(invocation, nullptr);
        else
            self->held.push_back(invocation);
    }

    bool answers;
    GDBusNodeInfo* node = nullptr;
    GDBusConnection* connection = nullptr;
    std::vector<GDBusMethodInvocation*> held;
};

long openDescriptors() {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
}

// The descriptors open once GIO's worker thread has finished with the last connection, which it
// releases shortly after the request returns: at most a second's wait for the count to come
// back down to what it was.
long descriptorsOnceSettled(long before) {
    long now = openDescriptors();
    for (int i = 0; i < 100 && now > before; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        now = openDescriptors();
    }
    return now;
}

class DbusRestartRequesterTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (access("/usr/bin/dbus-daemon", X_OK) != 0)
            GTEST_SKIP() << "dbus-daemon is not installed (Debian package dbus-daemon)";
        startBus();
    }
    void TearDown() override { stopBus(); }

    void startBus() {
        bus = g_test_dbus_new(G_TEST_DBUS_NONE);
        g_test_dbus_up(bus); // and points DBUS_SESSION_BUS_ADDRESS at it
        address = g_test_dbus_get_bus_address(bus);
    }
    void stopBus() {
        if (bus) {
            g_test_dbus_down(bus);
            g_clear_object(&bus);
        }
    }

    // The answer of the session's requester, and how long it took in seconds.
    std::pair<bool, double> request() {
        const auto start = std::chrono::steady_clock::now();
        auto answer =
            std::async(std::launch::async, [] { return DbusRestartRequester().requestRestart(); });
        while (answer.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
            g_main_context_iteration(nullptr, FALSE);
        const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
        return {answer.get(), seconds.count()};
    }

    GTestDBus* bus = nullptr;
    std::string address;
};

// The desktop present is asked once, for its confirmation dialog, and nothing else is called.
TEST_F(DbusRestartRequesterTest, AsksThePresentDesktopForItsConfirmationOnly) {
    const struct {
        const char* story;
        std::vector<const Desktop*> present;
        bool answered;
        std::vector<std::vector<std::string>> calls; // of each desktop present, in order
    } rows[] = {
        {"GNOME or Cinnamon", {&gnome}, true, {{"Reboot()"}}},
        {"MATE: no Reboot, its shutdown dialog", {&mate}, true, {{"Shutdown()"}}},
        {"Xfce: the logout dialog", {&xfce}, true, {{"Logout(true, true)"}}},
        {"KDE Plasma", {&kde}, true, {{"promptReboot()"}}},
        {"GNOME before KDE", {&kde, &gnome}, true, {{}, {"Reboot()"}}},
        {"LXQt restarts without asking: not called", {&lxqt}, false, {{}}},
        {"no desktop", {}, false, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.story);
        stopBus(); // a bus of its own: no name left over from the row before
        startBus();
        std::vector<std::unique_ptr<SessionManager>> managers;
        for (const Desktop* desktop : row.present) {
            managers.push_back(std::make_unique<SessionManager>(address, *desktop));
            ASSERT_TRUE(managers.back()->ownsName) << desktop->name;
        }
        EXPECT_EQ(request().first, row.answered);
        std::vector<std::vector<std::string>> calls;
        for (const auto& manager : managers)
            calls.push_back(manager->calls);
        EXPECT_EQ(calls, row.calls);
    }
}

TEST_F(DbusRestartRequesterTest, GivesUpAfterFiveSecondsWithoutAnAnswer) {
    SessionManager silent(address, gnome, false);
    ASSERT_TRUE(silent.ownsName);
    const auto [answered, seconds] = request();
    EXPECT_FALSE(answered);
    EXPECT_EQ(silent.calls, std::vector<std::string>{"Reboot()"});
    EXPECT_GE(seconds, restartRequestTimeoutSeconds - 0.1);
    EXPECT_LT(seconds, restartRequestTimeoutSeconds + 1.0);
}

// Every request opens its own connection and main context; none may outlive it.
TEST_F(DbusRestartRequesterTest, LeavesNoDescriptorBehind) {
    SessionManager plasma(address, kde);
    ASSERT_TRUE(plasma.ownsName);
    ASSERT_TRUE(request().first); // GIO's own one-time set-up happens here
    const auto before = openDescriptors();
    constexpr int requests = 1000;
    int answered = 0;
    for (int i = 0; i < requests; ++i)
        answered += request().first;
    const auto after = descriptorsOnceSettled(before);
    std::cout << requests << " requests: " << before << " -> " << after << " descriptors\n";
    EXPECT_EQ(answered, requests);
    EXPECT_LE(after, before);
}

TEST(DbusRestartRequester, NoBusIsNoAnswer) {
    EXPECT_FALSE(DbusRestartRequester("unix:path=/nonexistent/kavelin/bus").requestRestart());
}

} // namespace
} // namespace kavelin::platform
