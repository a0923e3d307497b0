// Asks the desktop session for its restart confirmation over the session D-Bus, with GIO.
// Does not support: desktops other than GNOME and KDE Plasma, or a bus reached other than by
// address (no X11 autolaunch).
//
// Everything runs on a private main context with one deadline for the whole request: connect,
// authenticate, Hello, the owner check and the call itself share restartRequestTimeoutSeconds.
// NOTE: the connection is opened without G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION and
// Hello is sent by hand, because GIO sends its own Hello with a 25 s time-out that no
// cancellable reaches.
#include "platform/linux/dbus_restart_requester.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <utility>

#include <gio/gio.h>

namespace kavelin::platform {

namespace {

using Clock = std::chrono::steady_clock;

// After the deadline has cancelled an operation, how long to wait for it to wind down before
// leaving it behind.
constexpr auto windDown = std::chrono::milliseconds(200);

struct GObjectUnref {
    void operator()(gpointer object) const {
        if (object)
            g_object_unref(object);
    }
};
template <typename T> using GOwned = std::unique_ptr<T, GObjectUnref>;

// Where one asynchronous operation lands. Shared with its callback, so that an operation left
// behind at the deadline completes into memory that is still there.
struct Completion {
    GAsyncResult* result = nullptr;
    ~Completion() {
        if (result)
            g_object_unref(result);
    }
};

void completed(GObject*, GAsyncResult* result, gpointer data) {
    auto* completion = static_cast<std::shared_ptr<Completion>*>(data);
    (*completion)->result = G_ASYNC_RESULT(g_object_ref(result));
    delete completion;
}

guint millisecondsUntil(Clock::time_point when) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(when - Clock::now()).count();
    return left > 0 ? static_cast<guint>(left) : 0;
}

// One request: a private main context, made the thread's default while the request runs so
// that no callback lands in the application's own loop, and a cancellable that fires at the
// deadline.
class Request {
public:
    explicit Request(Clock::time_point deadline)
        : deadline(deadline), context(g_main_context_new()), cancellable(g_cancellable_new()) {
        g_main_context_push_thread_default(context);
        cancelTimer = attachTimer(
            deadline,
            [](gpointer data) {
                g_cancellable_cancel(static_cast<GCancellable*>(data));
                return G_SOURCE_REMOVE;
            },
            cancellable.get());
        giveUpTimer = attachTimer(
            deadline + windDown,
            [](gpointer data) {
                *static_cast<bool*>(data) = true;
                return G_SOURCE_REMOVE;
            },
            &givenUp);
    }

    ~Request() {
        for (GSource* timer : {cancelTimer, giveUpTimer}) {
            g_source_destroy(timer);
            g_source_unref(timer);
        }
        g_main_context_pop_thread_default(context);
        g_main_context_unref(context);
    }

    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;

    // A private connection to the bus at the address, authenticated and greeted.
    GOwned<GDBusConnection> connect(const std::string& address) {
        auto opened = run([&](GAsyncReadyCallback callback, gpointer data) {
            g_dbus_connection_new_for_address(address.c_str(),
                                              G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT,
                                              nullptr, cancellable.get(), callback, data);
        });
        if (!opened)
            return nullptr;
        GOwned<GDBusConnection> connection(
            g_dbus_connection_new_for_address_finish(opened->result, nullptr));
        if (!connection)
            return nullptr;
        if (!call(connection.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
                  "org.freedesktop.DBus", "Hello", nullptr)) {
            close(connection.get());
            return nullptr;
        }
        return connection;
    }

    // The reply to one method call, or nullptr on an error reply, a time-out or the deadline.
    GOwned<GDBusMessage> call(GDBusConnection* connection, const char* name, const char* path,
                              const char* interface, const char* method, GVariant* arguments) {
        GOwned<GDBusMessage> message(g_dbus_message_new_method_call(name, path, interface, method));
        if (arguments)
            g_dbus_message_set_body(message.get(), arguments);
        const guint left = millisecondsUntil(deadline);
        if (left == 0)
            return nullptr;
        auto replied = run([&](GAsyncReadyCallback callback, gpointer data) {
            g_dbus_connection_send_message_with_reply(
                connection, message.get(), G_DBUS_SEND_MESSAGE_FLAGS_NONE, static_cast<gint>(left),
                nullptr, cancellable.get(), callback, data);
        });
        if (!replied)
            return nullptr;
        GOwned<GDBusMessage> reply(
            g_dbus_connection_send_message_with_reply_finish(connection, replied->result, nullptr));
        if (!reply ||
            g_dbus_message_get_message_type(reply.get()) != G_DBUS_MESSAGE_TYPE_METHOD_RETURN)
            return nullptr;
        return reply;
    }

    static void close(GDBusConnection* connection) {
        g_dbus_connection_close(connection, nullptr, nullptr, nullptr);
    }

private:
    GSource* attachTimer(Clock::time_point when, GSourceFunc function, gpointer data) {
        GSource* timer = g_timeout_source_new(millisecondsUntil(when));
        g_source_set_callback(timer, function, data, nullptr);
        g_source_attach(timer, context);
        return timer;
    }

    // Starts an operation and iterates the private context until it completes; nullptr when
    // it was left behind.
    template <typename Start> std::shared_ptr<Completion> run(Start start) {
        if (givenUp || g_cancellable_is_cancelled(cancellable.get()))
            return nullptr;
        auto completion = std::make_shared<Completion>();
        start(completed, new std::shared_ptr<Completion>(completion));
        while (!completion->result && !givenUp)
            g_main_context_iteration(context, TRUE);
        return completion->result ? completion : nullptr;
    }

    Clock::time_point deadline;
    GMainContext* context;
    GOwned<GCancellable> cancellable;
    GSource* cancelTimer = nullptr;
    GSource* giveUpTimer = nullptr;
    bool givenUp = false;
};

std::optional<std::string> sessionBusAddress() {
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address)
        return address;
    // Sessions started by systemd announce their bus only by its place.
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        const auto socket = std::filesystem::path(runtime) / "bus";
        std::error_code error;
        if (std::filesystem::is_socket(socket, error)) {
            char* path = g_dbus_address_escape_value(socket.c_str());
            std::string address = std::string("unix:path=") + path;
            g_free(path);
            return address;
        }
    }
    return std::nullopt;
}

} // namespace

DbusRestartRequester::DbusRestartRequester(std::string busAddress)
    : busAddress(std::move(busAddress)) {}

bool DbusRestartRequester::requestRestart() {
    const auto address = busAddress ? busAddress : sessionBusAddress();
    if (!address)
        return false;
    const auto deadline =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(
                           std::chrono::duration<double>(restartRequestTimeoutSeconds));
    Request request(deadline);
    auto connection = request.connect(*address);
    if (!connection)
        return false;

    // Only one desktop is asked: the owner check costs a round trip to the bus, whereas asking
    // GNOME first and KDE after a GNOME time-out could take twice the bound.
    bool gnome = false;
    if (auto owner = request.call(connection.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                  "org.freedesktop.DBus", "NameHasOwner",
                                  g_variant_new("(s)", "org.gnome.SessionManager"))) {
        GVariant* body = g_dbus_message_get_body(owner.get());
        if (body && g_variant_is_of_type(body, G_VARIANT_TYPE("(b)")))
            g_variant_get(body, "(b)", &gnome);
    }
    const bool answered =
        gnome ? request.call(connection.get(), "org.gnome.SessionManager",
                             "/org/gnome/SessionManager", "org.gnome.SessionManager", "Reboot",
                             nullptr) != nullptr
              : request.call(connection.get(), "org.kde.LogoutPrompt", "/LogoutPrompt",
                             "org.kde.LogoutPrompt", "promptReboot", nullptr) != nullptr;
    Request::close(connection.get());
    return answered;
}

} // namespace kavelin::platform
