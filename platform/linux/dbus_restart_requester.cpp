// Asks the desktop session for its restart confirmation over the session D-Bus, with GIO:
// GNOME, Cinnamon and MATE (org.gnome.SessionManager), Xfce (org.xfce.SessionManager), KDE
// Plasma (org.kde.LogoutPrompt). Does not support: LXQt, whose session restarts without asking
// (org.lxqt.session reboot), other desktops, or a bus reached other than by address (no X11
// autolaunch).
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
#include <set>
#include <string_view>
#include <utility>

#include <gio/gio.h>

#include "platform/trace.h"

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

bool isReturn(const GOwned<GDBusMessage>& reply) {
    return reply &&
           g_dbus_message_get_message_type(reply.get()) == G_DBUS_MESSAGE_TYPE_METHOD_RETURN;
}

bool isUnknownMethod(const GOwned<GDBusMessage>& reply) {
    if (!reply || g_dbus_message_get_message_type(reply.get()) != G_DBUS_MESSAGE_TYPE_ERROR)
        return false;
    const char* name = g_dbus_message_get_error_name(reply.get());
    return name && std::string_view(name) == "org.freedesktop.DBus.Error.UnknownMethod";
}

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
        if (!isReturn(call(connection.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
                           "org.freedesktop.DBus", "Hello", nullptr))) {
            close(connection.get());
            return nullptr;
        }
        return connection;
    }

    // The reply to one method call, an error reply included; nullptr on a time-out or the
    // deadline.
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
        return GOwned<GDBusMessage>(
            g_dbus_connection_send_message_with_reply_finish(connection, replied->result, nullptr));
    }

    // NOTE: the connection holds the main context it was made in until its close has been
    // delivered there; a close left undelivered keeps the context, and its wake-up descriptor,
    // for the rest of the process. So the close is waited for, past the deadline if need be.
    void close(GDBusConnection* connection) {
        auto closed = run(
            [&](GAsyncReadyCallback callback, gpointer data) {
                g_dbus_connection_close(connection, nullptr, callback, data);
            },
            true);
        if (closed)
            g_dbus_connection_close_finish(connection, closed->result, nullptr);
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
    template <typename Start>
    std::shared_ptr<Completion> run(Start start, bool evenAfterDeadline = false) {
        if (givenUp || (!evenAfterDeadline && g_cancellable_is_cancelled(cancellable.get())))
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

// The names that have an owner on the bus now.
std::set<std::string, std::less<>> ownedNames(Request& request, GDBusConnection* connection) {
    std::set<std::string, std::less<>> names;
    auto reply = request.call(connection, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                              "org.freedesktop.DBus", "ListNames", nullptr);
    GVariant* body = isReturn(reply) ? g_dbus_message_get_body(reply.get()) : nullptr;
    if (!body || !g_variant_is_of_type(body, G_VARIANT_TYPE("(as)")))
        return names;
    GVariantIter* iterator = nullptr;
    const char* name = nullptr;
    g_variant_get(body, "(as)", &iterator);
    while (g_variant_iter_next(iterator, "&s", &name))
        names.emplace(name);
    g_variant_iter_free(iterator);
    return names;
}

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
    if (!address) {
        trace("redémarrage",
              "aucun bus de session (DBUS_SESSION_BUS_ADDRESS, XDG_RUNTIME_DIR/bus)");
        return false;
    }
    const auto deadline =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(
                           std::chrono::duration<double>(restartRequestTimeoutSeconds));
    Request request(deadline);
    auto connection = request.connect(*address);
    if (!connection) {
        trace("redémarrage", "pas de connexion au bus " + *address + " dans le délai");
        return false;
    }

    // Only the desktop whose session manager is present is asked, and only for a dialog in
    // which the user confirms the restart: never a method that restarts straight away.
    // NOTE: one ListNames round trip finds it; asking each desktop in turn could spend the
    // whole bound on the first that does not answer.
    const auto names = ownedNames(request, connection.get());
    bool answered;
    if (names.contains("org.gnome.SessionManager")) {
        // GNOME and Cinnamon show their restart dialog for Reboot. MATE answers under the same
        // name without Reboot; its Shutdown dialog is the one that offers the restart.
        auto reply =
            request.call(connection.get(), "org.gnome.SessionManager", "/org/gnome/SessionManager",
                         "org.gnome.SessionManager", "Reboot", nullptr);
        if (isUnknownMethod(reply))
            reply = request.call(connection.get(), "org.gnome.SessionManager",
                                 "/org/gnome/SessionManager", "org.gnome.SessionManager",
                                 "Shutdown", nullptr);
        answered = isReturn(reply);
    } else if (names.contains("org.xfce.SessionManager")) {
        // Xfce restarts without a word on Restart; Logout with its dialog lets the user choose
        // the restart (show the dialog, allow saving the session).
        answered = isReturn(request.call(connection.get(), "org.xfce.SessionManager",
                                         "/org/xfce/SessionManager", "org.xfce.Session.Manager",
                                         "Logout", g_variant_new("(bb)", TRUE, TRUE)));
    } else {
        // KDE Plasma's prompt is started by the bus on demand, so it is asked even unseen.
        answered = isReturn(request.call(connection.get(), "org.kde.LogoutPrompt", "/LogoutPrompt",
                                         "org.kde.LogoutPrompt", "promptReboot", nullptr));
    }
    request.close(connection.get());
    if (!answered)
        trace("redémarrage", "la demande n’a pas reçu de réponse du gestionnaire de session");
    return answered;
}

} // namespace kavelin::platform
