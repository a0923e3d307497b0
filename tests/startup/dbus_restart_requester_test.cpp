// The restart requester against a real, private session bus: a dbus-daemon started here, and
// session managers served by this test's main context while the request runs on a thread.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <unistd.h>

#include <gio/gio.h>

#include "platform/linux/dbus_restart_requester.h"

namespace kavelin::platform {
namespace {

// One session manager on the bus: owns its name and answers its one method, or never does.
class SessionManager {
public:
    SessionManager(const std::string& address, bool isGnome, bool answers) : answers(answers) {
        const std::string name = isGnome ? "org.gnome.SessionManager" : "org.kde.LogoutPrompt";
        const std::string xml = "<node><interface name='" + name + "'><method name='" +
                                (isGnome ? "Reboot" : "promptReboot") + "'/></interface></node>";
        node = g_dbus_node_info_new_for_xml(xml.c_str(), nullptr);
        connection = g_dbus_connection_new_for_address_sync(
            address.c_str(),
            GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                 G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr);
        if (!connection)
            return;
        static const GDBusInterfaceVTable table{handle, nullptr, nullptr, {}};
        g_dbus_connection_register_object(connection,
                                          isGnome ? "/org/gnome/SessionManager" : "/LogoutPrompt",
                                          node->interfaces[0], &table, this, nullptr, nullptr);
        GVariant* reply = g_dbus_connection_call_sync(
            connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "RequestName", g_variant_new("(su)", name.c_str(), 4u), G_VARIANT_TYPE("(u)"),
            G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
        // On a bus of our own nobody else holds the name: any reply means ours.
        ownsName = reply != nullptr;
        if (reply)
            g_variant_unref(reply);
    }

    ~SessionManager() {
        for (GDBusMethodInvocation* invocation : held)
            g_object_unref(invocation);
        g_clear_object(&connection);
        g_dbus_node_info_unref(node);
    }

    bool ownsName = false;
    int calls = 0;

private:
    static void handle(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                       GVariant*, GDBusMethodInvocation* invocation, gpointer data) {
        auto* self = static_cast<SessionManager*>(data);
        ++self->calls;
        if (self->answers)
            g_dbus_method_invocation_return_value(invocation, nullptr);
        else
            self->held.push_back(invocation);
    }

    bool answers;
    GDBusNodeInfo* node;
    GDBusConnection* connection;
    std::vector<GDBusMethodInvocation*> held;
};

class DbusRestartRequesterTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (access("/usr/bin/dbus-daemon", X_OK) != 0)
            GTEST_SKIP() << "dbus-daemon is not installed (Debian package dbus-daemon)";
        bus = g_test_dbus_new(G_TEST_DBUS_NONE);
        g_test_dbus_up(bus); // and points DBUS_SESSION_BUS_ADDRESS at it
        address = g_test_dbus_get_bus_address(bus);
    }
    void TearDown() override {
        if (bus) {
            g_test_dbus_down(bus);
            g_object_unref(bus);
        }
    }

    // The answer of the session's requester, and how long it took in seconds.
    std::pair<bool, double> request() {
        const auto start = std::chrono::steady_clock::now();
        auto answer =
            std::async(std::launch::async, [] { return DbusRestartRequester().requestRestart(); });
        while (answer.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready)
            g_main_context_iteration(nullptr, FALSE);
        const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
        return {answer.get(), seconds.count()};
    }

    GTestDBus* bus = nullptr;
    std::string address;
};

TEST_F(DbusRestartRequesterTest, AsksKdeOnlyWhenGnomeIsAbsent) {
    SessionManager kde(address, false, true);
    ASSERT_TRUE(kde.ownsName);
    EXPECT_TRUE(request().first);
    EXPECT_EQ(kde.calls, 1);

    SessionManager gnome(address, true, true);
    ASSERT_TRUE(gnome.ownsName);
    EXPECT_TRUE(request().first);
    EXPECT_EQ(gnome.calls, 1);
    EXPECT_EQ(kde.calls, 1);
}

TEST_F(DbusRestartRequesterTest, GivesUpAfterFiveSecondsWithoutAnAnswer) {
    SessionManager silent(address, true, false);
    ASSERT_TRUE(silent.ownsName);
    const auto [answered, seconds] = request();
    EXPECT_FALSE(answered);
    EXPECT_EQ(silent.calls, 1);
    EXPECT_GE(seconds, restartRequestTimeoutSeconds - 0.1);
    EXPECT_LT(seconds, restartRequestTimeoutSeconds + 1.0);
}

TEST(DbusRestartRequester, NoBusIsNoAnswer) {
    EXPECT_FALSE(DbusRestartRequester("unix:path=/nonexistent/kavelin/bus").requestRestart());
}

} // namespace
} // namespace kavelin::platform
