// Tray hosts of both kinds: XEmbed trays on the X server, StatusNotifierItem hosts on the
// session bus.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QTimer>

#include <functional>
#include <memory>
#include <xcb/xcb.h>

class QDBusServiceWatcher;

namespace kavelin::platform {

// False where there is no X server or no session bus.
bool xembedTrayPresent();
bool statusNotifierHostPresent();

// Calls back, from the event loop and after Qt has seen the same events, when an XEmbed tray
// starts or a StatusNotifierItem watcher or host registers; also when one of them restarts.
class TrayHostWatch final : public QAbstractNativeEventFilter {
public:
    TrayHostWatch(std::function<void()> onXembedTray, std::function<void()> onStatusNotifierHost);
    ~TrayHostWatch() override;
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr* result) override;

private:
    std::function<void()> onXembedTray;
    xcb_atom_t manager = XCB_NONE, selection = XCB_NONE;
    QTimer hostSignal;
    std::unique_ptr<QDBusServiceWatcher> watcher;
};

} // namespace kavelin::platform
