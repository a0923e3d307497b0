// The restart requester against a real, private session bus: a dbus-daemon started here, and
// session managers played by a GIO service on a thread of this test.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <future>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <gio/gio.h>

#include "platform/linux/dbus_restart_requester.h"
#include "test_support.h"

extern char** environ;

namespace kavelin::platform {
namespace {

using Clock = std::chrono::steady_clock;
using kavelin::testing::TemporaryFolder;

std::optional<std::string> findDbusDaemon() {
    for (const char* candidate : {"/usr/bin/dbus-daemon", "/bin/dbus-daemon"}) {
        if (access(candidate, X_OK) == 0)
            return candidate;
    }
    return std::nullopt;
}

// A session bus of our own, listening in a temporary folder, stopped with the test.
class PrivateBus {
public:
    PrivateBus(const std::string& daemon, const TemporaryFolder& folder) {
        const auto config = folder / "session.conf";
        std::ofstream(config)
            << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\""
               " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig><type>session</type><listen>unix:path="
            << (folder / "bus").string()
            << "</listen><policy context=\"default\"><allow user=\"*\"/>"
               "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/>"
               "<allow own=\"*\"/></policy></busconfig>\n";
        int out[2];
        if (pipe(out) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        const auto log = (folder / "bus.log").string();
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, log.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        std::string configArgument = "--config-file=" + config.string();
        std::vector<std::string> arguments{daemon, configArgument, "--print-address", "--nofork"};
        std::vector<char*> argv;
        for (auto& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid, daemon.c_str(), &actions, nullptr, argv.data(), environ) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        // The daemon prints its address once it listens.
        char c;
        while (pid > 0 && read(out[0], &c, 1) == 1 && c != '\n')
            address += c;
        close(out[0]);
    }
    ~PrivateBus() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
    std::string address;

private:
    pid_t pid = -1;
};

enum class Behaviour { answer, refuse, stall };

// One session manager on the bus: owns its name and serves its one method in its own way.
class SessionManager {
public:
    SessionManager(const std::string& address, std::string busName, std::string objectPath,
                   std::string interface, std::string method, Behaviour behaviour)
        : busName(std::move(busName)), objectPath(std::move(objectPath)),
          interface(std::move(interface)), method(std::move(method)), behaviour(behaviour),
          context(g_main_context_new()), loop(g_main_loop_new(context, FALSE)) {
        std::promise<bool> owned;
        auto ready = owned.get_future();
        thread = std::thread(
            [this, address, owned = std::move(owned)]() mutable { serve(address, owned); });
        ownsName = ready.get();
    }

    ~SessionManager() {
        g_main_loop_quit(loop);
        thread.join();
        g_main_loop_unref(loop);
        g_main_context_unref(context);
    }

    bool ownsName = false;
    std::atomic<int> calls = 0;

private:
    void serve(const std::string& address, std::promise<bool>& owned) {
        g_main_context_push_thread_default(context);
        GDBusConnection* connection = g_dbus_connection_new_for_address_sync(
            address.c_str(),
            GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                 G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr);
        if (!connection) {
            owned.set_value(false);
            g_main_context_pop_thread_default(context);
            return;
        }
        const std::string xml = "<node><interface name='" + interface + "'><method name='" +
                                method + "'/></interface></node>";
        GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(xml.c_str(), nullptr);
        static const GDBusInterfaceVTable table{handle, nullptr, nullptr, {}};
        g_dbus_connection_register_object(connection, objectPath.c_str(), node->interfaces[0],
                                          &table, this, nullptr, nullptr);
        GVariant* reply = g_dbus_connection_call_sync(
            connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "RequestName", g_variant_new("(su)", busName.c_str(), 4u), G_VARIANT_TYPE("(u)"),
            G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
        guint32 answer = 0;
        if (reply) {
            g_variant_get(reply, "(u)", &answer);
            g_variant_unref(reply);
        }
        owned.set_value(answer == 1);
        g_main_loop_run(loop);
        for (GDBusMethodInvocation* invocation : held)
            g_dbus_method_invocation_return_dbus_error(invocation, "org.example.Gone", "gone");
        g_dbus_connection_close_sync(connection, nullptr, nullptr);
        g_object_unref(connection);
        g_dbus_node_info_unref(node);
        g_main_context_pop_thread_default(context);
    }

    static void handle(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                       GVariant*, GDBusMethodInvocation* invocation, gpointer data) {
        auto* self = static_cast<SessionManager*>(data);
        ++self->calls;
        switch (self->behaviour) {
        case Behaviour::answer:
            g_dbus_method_invocation_return_value(invocation, nullptr);
            break;
        case Behaviour::refuse:
            g_dbus_method_invocation_return_dbus_error(
                invocation, "org.gnome.SessionManager.NotInRunning", "not now");
            break;
        case Behaviour::stall:
            self->held.push_back(invocation);
            break;
        }
    }

    std::string busName, objectPath, interface, method;
    Behaviour behaviour;
    GMainContext* context;
    GMainLoop* loop;
    std::vector<GDBusMethodInvocation*> held;
    std::thread thread;
};

std::unique_ptr<SessionManager> gnome(const std::string& address, Behaviour behaviour) {
    return std::make_unique<SessionManager>(address, "org.gnome.SessionManager",
                                            "/org/gnome/SessionManager", "org.gnome.SessionManager",
                                            "Reboot", behaviour);
}

std::unique_ptr<SessionManager> kde(const std::string& address, Behaviour behaviour) {
    return std::make_unique<SessionManager>(address, "org.kde.LogoutPrompt", "/LogoutPrompt",
                                            "org.kde.LogoutPrompt", "promptReboot", behaviour);
}

class DbusRestartRequesterTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto daemon = findDbusDaemon();
        if (!daemon)
            GTEST_SKIP() << "dbus-daemon is not installed (Debian package dbus-daemon)";
        bus = std::make_unique<PrivateBus>(*daemon, folder);
        ASSERT_FALSE(bus->address.empty()) << "dbus-daemon did not start";
    }

    // The answer and how long it took, in seconds.
    std::pair<bool, double> timedRequest() {
        DbusRestartRequester requester(bus->address);
        const auto start = Clock::now();
        const bool answered = requester.requestRestart();
        return {answered, std::chrono::duration<double>(Clock::now() - start).count()};
    }

    TemporaryFolder folder;
    std::unique_ptr<PrivateBus> bus;
};

TEST_F(DbusRestartRequesterTest, AsksGnomeFirstOnTheBusOfTheSession) {
    auto gnomeManager = gnome(bus->address, Behaviour::answer);
    auto kdePrompt = kde(bus->address, Behaviour::answer);
    ASSERT_TRUE(gnomeManager->ownsName && kdePrompt->ownsName);

    setenv("DBUS_SESSION_BUS_ADDRESS", bus->address.c_str(), 1);
    DbusRestartRequester requester;
    EXPECT_TRUE(requester.requestRestart());
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    EXPECT_EQ(gnomeManager->calls, 1);
    EXPECT_EQ(kdePrompt->calls, 0);
}

TEST_F(DbusRestartRequesterTest, AsksKdeWhenGnomeIsAbsent) {
    auto kdePrompt = kde(bus->address, Behaviour::answer);
    ASSERT_TRUE(kdePrompt->ownsName);
    EXPECT_TRUE(timedRequest().first);
    EXPECT_EQ(kdePrompt->calls, 1);
}

TEST_F(DbusRestartRequesterTest, AnErrorReplyOrNoSessionManagerIsNoAnswer) {
    EXPECT_FALSE(timedRequest().first) << "nobody on the bus";
    auto gnomeManager = gnome(bus->address, Behaviour::refuse);
    auto kdePrompt = kde(bus->address, Behaviour::answer);
    EXPECT_FALSE(timedRequest().first) << "GNOME refused";
    EXPECT_EQ(gnomeManager->calls, 1);
    EXPECT_EQ(kdePrompt->calls, 0) << "a refusal is not a reason to ask another desktop";
}

// A session manager that never answers costs the five seconds and not more, whichever it is.
TEST_F(DbusRestartRequesterTest, GivesUpAfterFiveSecondsWithoutAnAnswer) {
    for (bool isGnome : {true, false}) {
        SCOPED_TRACE(isGnome ? "GNOME" : "KDE");
        auto silent =
            isGnome ? gnome(bus->address, Behaviour::stall) : kde(bus->address, Behaviour::stall);
        ASSERT_TRUE(silent->ownsName);
        const auto [answered, seconds] = timedRequest();
        EXPECT_FALSE(answered);
        EXPECT_EQ(silent->calls, 1);
        EXPECT_GE(seconds, restartRequestTimeoutSeconds - 0.1);
        EXPECT_LT(seconds, restartRequestTimeoutSeconds + 1.0);
    }
}

TEST(DbusRestartRequester, NoBusIsNoAnswerAndAMuteBusCostsOnlyTheBound) {
    TemporaryFolder folder;
    EXPECT_FALSE(
        DbusRestartRequester("unix:path=" + (folder / "absent").string()).requestRestart());
    EXPECT_FALSE(DbusRestartRequester("not an address").requestRestart());

    // A socket that takes connections and never says a word: the handshake itself must give up.
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un where{};
    where.sun_family = AF_UNIX;
    const std::string path = (folder / "mute").string();
    path.copy(where.sun_path, sizeof where.sun_path - 1);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&where), sizeof where), 0);
    ASSERT_EQ(listen(listener, 4), 0);

    DbusRestartRequester requester("unix:path=" + path);
    const auto start = Clock::now();
    EXPECT_FALSE(requester.requestRestart());
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_GE(seconds, restartRequestTimeoutSeconds - 0.1);
    EXPECT_LT(seconds, restartRequestTimeoutSeconds + 1.0);
    close(listener);
}

} // namespace
} // namespace kavelin::platform
