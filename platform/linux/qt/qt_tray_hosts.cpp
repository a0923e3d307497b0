// Whether a tray host of either kind is there, and word when one comes: an XEmbed tray owns a
// selection of the X server and announces itself to every client with a MANAGER message on the
// root window; a StatusNotifierItem host registers with the watcher on the session bus. Not
// supported: an XEmbed tray on an X screen other than the first (RandR merges screens nowadays).
#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

#include <cstdlib>
#include <string_view>

#include "qt_tray_hosts.h"

namespace kavelin::platform {

namespace {

xcb_connection_t* x11Connection() {
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t atomNamed(xcb_connection_t* connection, std::string_view name) {
    auto* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, false, name.size(), name.data()), nullptr);
    xcb_atom_t atom = reply ? reply->atom : XCB_NONE;
    std::free(reply);
    return atom;
}

constexpr std::string_view xembedTraySelection = "_NET_SYSTEM_TRAY_S0";
const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");

} // namespace

bool xembedTrayPresent() {
    xcb_connection_t* connection = x11Connection();
    if (!connection)
        return false;
    xcb_atom_t selection = atomNamed(connection, xembedTraySelection);
    auto* owner = xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, selection), nullptr);
    const bool present = owner && owner->owner != XCB_NONE;
    std::free(owner);
    return present;
}

bool statusNotifierHostPresent() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    // Asked only when already running: a call would start an activatable watcher.
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(watcherService))
        return false;
    QDBusMessage get = QDBusMessage::createMethodCall(
        watcherService, QStringLiteral("/StatusNotifierWatcher"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << watcherService << QStringLiteral("IsStatusNotifierHostRegistered");
    QDBusMessage reply = bus.call(get, QDBus::Block, 500);
    return reply.type() == QDBusMessage::ReplyMessage &&
           reply.arguments().value(0).value<QDBusVariant>().variant().toBool();
}

TrayHostWatch::TrayHostWatch(std::function<void()> onXembedTray,
                             std::function<void()> onStatusNotifierHost)
    : onXembedTray(std::move(onXembedTray)) {
    if (xcb_connection_t* connection = x11Connection()) {
        manager = atomNamed(connection, "MANAGER");
        selection = atomNamed(connection, xembedTraySelection);
        qApp->installNativeEventFilter(this);
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    hostSignal.setSingleShot(true);
    hostSignal.setInterval(0);
    QObject::connect(&hostSignal, &QTimer::timeout, &hostSignal, onStatusNotifierHost);
    watcher = std::make_unique<QDBusServiceWatcher>(watcherService, bus,
                                                    QDBusServiceWatcher::WatchForRegistration);
    QObject::connect(watcher.get(), &QDBusServiceWatcher::serviceRegistered, &hostSignal,
                     [this] { hostSignal.start(); });
    bus.connect(QString(), QStringLiteral("/StatusNotifierWatcher"), watcherService,
                QStringLiteral("StatusNotifierHostRegistered"), &hostSignal, SLOT(start()));
}

TrayHostWatch::~TrayHostWatch() {
    qApp->removeNativeEventFilter(this);
}

bool TrayHostWatch::nativeEventFilter(const QByteArray& type, void* message, qintptr*) {
    if (type != "xcb_generic_event_t")
        return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
        return false;
    auto* client = reinterpret_cast<xcb_client_message_event_t*>(event);
    if (client->type == manager && client->data.data32[1] == selection)
        QTimer::singleShot(0, qApp, onXembedTray);
    return false;
}

} // namespace kavelin::platform
